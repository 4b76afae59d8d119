#include "core/TaskOptions.h"

#include "core/AsciiCase.h"

#include <cwchar>
#include <string_view>

namespace core {
namespace {

// Sunday first, as the bits count.
constexpr const wchar_t* kDayNames[7] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
// The order the profile and the list name them in: the working week first.
constexpr int kDisplayOrder[7] = {1, 2, 3, 4, 5, 6, 0};

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

std::wstring NamesOf(DayMask days) {
    std::wstring text;
    for (const int day : kDisplayOrder) {
        if (days & (1u << day)) {
            if (!text.empty()) {
                text += L',';
            }
            text += kDayNames[day];
        }
    }
    return text;
}

// The text has the form's shape: a digit where the form has '0', the form's own character elsewhere (letter case of
// A to Z ignored).
bool FitsForm(const std::wstring& text, std::wstring_view form) {
    if (text.size() != form.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= L'0' && text[i] <= L'9';
        if (form[i] == L'0' ? !digit : AsciiUpper(text[i]) != form[i]) {
            return false;
        }
    }
    return true;
}

// The number written by the digits at that place of a text that fits its form.
WORD NumberAt(const std::wstring& text, size_t at, size_t length) {
    return static_cast<WORD>(std::wcstoul(text.substr(at, length).c_str(), nullptr, 10));
}

}  // namespace

std::optional<DayMask> ParseDays(const std::wstring& text) {
    if (Trimmed(text).empty()) {
        return kEveryDay;
    }
    DayMask days = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(L',', start);
        const std::wstring name = AsciiLower(Trimmed(text.substr(start, comma - start)));
        if (!name.empty()) {
            int day = 0;
            while (day < 7 && name != AsciiLower(kDayNames[day])) {
                ++day;
            }
            if (day == 7) {
                return std::nullopt;
            }
            days |= 1u << day;
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    // Only commas and blanks: no day was named.
    return days ? std::optional<DayMask>(days) : std::nullopt;
}

std::wstring FormatDays(DayMask days) {
    days &= kEveryDay;
    return days == kEveryDay ? std::wstring() : NamesOf(days);
}

std::wstring DaysDisplayText(DayMask days) {
    days &= kEveryDay;
    if (days == kEveryDay) {
        return L"Every day";
    }
    if (days == kWorkDays) {
        return L"Mon\u2013Fri";
    }
    return NamesOf(days);
}

DayMask DayOfWeekBit(long long localSeconds) {
    // 1 January 1601, day 0 of the scale, was a Monday.
    const long long day = localSeconds / kSecondsPerDay;
    return 1u << static_cast<unsigned>((day + 1) % 7);
}

bool ParseEnabled(const std::wstring& text) {
    return AsciiUpper(Trimmed(text)) != L"FALSE";
}

bool ParseYes(const std::wstring& text) {
    return AsciiUpper(Trimmed(text)) == L"TRUE";
}

std::optional<long long> ToSeconds(const SYSTEMTIME& time) {
    SYSTEMTIME fields = time;
    fields.wMilliseconds = 0;
    FILETIME file{};
    if (!::SystemTimeToFileTime(&fields, &file)) {
        return std::nullopt;
    }
    const ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
    return static_cast<long long>(ticks.QuadPart / kFileTimeTicksPerSecond);
}

std::optional<SYSTEMTIME> FromSeconds(long long seconds) {
    if (seconds < 0) {
        return std::nullopt;
    }
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = static_cast<unsigned long long>(seconds) * kFileTimeTicksPerSecond;
    const FILETIME file{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time{};
    if (!::FileTimeToSystemTime(&file, &time)) {
        return std::nullopt;
    }
    return time;
}

std::wstring FormatUtc(UtcSeconds moment) {
    const std::optional<SYSTEMTIME> time = FromSeconds(moment);
    if (!time) {
        return {};
    }
    wchar_t text[32]{};
    std::swprintf(text, std::size(text), L"%04u-%02u-%02uT%02u:%02u:%02uZ", time->wYear, time->wMonth, time->wDay,
                  time->wHour, time->wMinute, time->wSecond);
    return text;
}

std::optional<UtcSeconds> ParseUtc(const std::wstring& text) {
    const std::wstring trimmed = Trimmed(text);
    if (!FitsForm(trimmed, L"0000-00-00T00:00:00Z")) {
        return std::nullopt;
    }
    const std::optional<long long> date = ParseDate(trimmed.substr(0, 10));
    const std::optional<int> time = ParseTime24(trimmed.substr(11, 8));
    if (!date || !time) {
        return std::nullopt;
    }
    return *date + *time;
}

std::optional<TaskId> ParseTaskId(const std::wstring& text) {
    const std::wstring trimmed = Trimmed(text);
    // At most 18 digits: every such number fits.
    if (trimmed.empty() || trimmed.size() > 18 || trimmed.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const TaskId id = std::wcstoull(trimmed.c_str(), nullptr, 10);
    return id == 0 ? std::nullopt : std::optional<TaskId>(id);
}

namespace {

// A whole number of digits alone from low to high; empty for anything else.
std::optional<int> WholeNumberIn(const std::wstring& text, int low, int high) {
    const std::wstring trimmed = Trimmed(text);
    if (trimmed.empty() || trimmed.size() > 4 || trimmed.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const int number = std::stoi(trimmed);
    return number >= low && number <= high ? std::optional<int>(number) : std::nullopt;
}

}  // namespace

std::optional<int> ParseEvery(const std::wstring& text) {
    return WholeNumberIn(text, 1, kMaxEveryMinutes);
}

std::optional<int> ParseWarn(const std::wstring& text) {
    return Trimmed(text).empty() ? std::optional<int>(0) : WholeNumberIn(text, 0, kMaxWarnSeconds);
}

std::optional<int> ParseMaxPostpones(const std::wstring& text) {
    return Trimmed(text).empty() ? std::optional<int>(kDefaultMaxPostpones) : WholeNumberIn(text, 0, kMaxPostpones);
}

std::optional<int> ParseTime24(const std::wstring& text) {
    const std::wstring trimmed = Trimmed(text);
    if (!FitsForm(trimmed, L"00:00:00")) {
        return std::nullopt;
    }
    const int hour = NumberAt(trimmed, 0, 2);
    const int minute = NumberAt(trimmed, 3, 2);
    const int second = NumberAt(trimmed, 6, 2);
    if (hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return (hour * 60 + minute) * 60 + second;
}

std::wstring FormatTime24(int secondOfDay) {
    wchar_t text[16] = {};
    std::swprintf(text, std::size(text), L"%02d:%02d:%02d", secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return text;
}

std::optional<long long> ParseDate(const std::wstring& text) {
    const std::wstring trimmed = Trimmed(text);
    if (!FitsForm(trimmed, L"0000-00-00")) {
        return std::nullopt;
    }
    SYSTEMTIME date{};
    date.wYear = NumberAt(trimmed, 0, 4);
    date.wMonth = NumberAt(trimmed, 5, 2);
    date.wDay = NumberAt(trimmed, 8, 2);
    const std::optional<long long> seconds = ToSeconds(date);
    // The platform accepts a day beyond its month's end on some systems: the date must read back as written.
    const std::optional<SYSTEMTIME> back = seconds ? FromSeconds(*seconds) : std::nullopt;
    if (!back || back->wYear != date.wYear || back->wMonth != date.wMonth || back->wDay != date.wDay) {
        return std::nullopt;
    }
    return seconds;
}

std::wstring FormatDate(long long localSeconds) {
    const std::optional<SYSTEMTIME> date = FromSeconds(localSeconds);
    if (!date) {
        return {};
    }
    wchar_t text[16] = {};
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u", date->wYear, date->wMonth, date->wDay);
    return text;
}

}  // namespace core
