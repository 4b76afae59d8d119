#include "core/TaskOptions.h"

#include "core/AsciiCase.h"

#include <cwchar>

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
    // YYYY-MM-DDTHH:MM:SSZ, digits where the form has them.
    static constexpr wchar_t kForm[] = L"0000-00-00T00:00:00Z";
    if (trimmed.size() != std::size(kForm) - 1) {
        return std::nullopt;
    }
    for (size_t i = 0; i < trimmed.size(); ++i) {
        const bool digit = trimmed[i] >= L'0' && trimmed[i] <= L'9';
        if (kForm[i] == L'0' ? !digit : AsciiUpper(trimmed[i]) != kForm[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](size_t at, size_t length) {
        return static_cast<WORD>(std::wcstoul(trimmed.substr(at, length).c_str(), nullptr, 10));
    };
    SYSTEMTIME time{};
    time.wYear = number(0, 4);
    time.wMonth = number(5, 2);
    time.wDay = number(8, 2);
    time.wHour = number(11, 2);
    time.wMinute = number(14, 2);
    time.wSecond = number(17, 2);
    if (time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59) {
        return std::nullopt;
    }
    return ToSeconds(time);
}

}  // namespace core
