#include "core/TaskTime.h"

#include "core/AsciiCase.h"
#include "core/Task.h"
#include "framework/Handle.h"

#include <oleauto.h>

#include <iterator>

namespace core {
namespace {

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Reads minDigits to maxDigits decimal digits at pos.
bool ReadNumber(const std::wstring& text, size_t& pos, size_t minDigits, size_t maxDigits, int& value) {
    size_t digits = 0;
    value = 0;
    while (pos < text.size() && digits < maxDigits && IsDigit(text[pos])) {
        value = value * 10 + (text[pos] - L'0');
        ++pos;
        ++digits;
    }
    return digits >= minDigits;
}

void SkipBlanks(const std::wstring& text, size_t& pos) {
    while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t')) {
        ++pos;
    }
}

}  // namespace

DateTimeValue DateTimeValue::FromSystemTime(const SYSTEMTIME& time) {
    double date = 0.0;
    if (!::SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&time), &date)) {
        return Invalid();
    }
    return {date, DateTimeStatus::Valid};
}

DateTimeValue DateTimeValue::Now() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    now.wMilliseconds = 0;
    return FromSystemTime(now);
}

bool DateTimeValue::ToSystemTime(SYSTEMTIME& time) const {
    return IsValid() && ::VariantTimeToSystemTime(date, &time) != FALSE;
}

std::wstring FormatTaskTime(const DateTimeValue& value) {
    static constexpr wchar_t kInvalid[] = L"Invalid DateTime";
    if (value.status == DateTimeStatus::Null) {
        return {};
    }
    if (!value.IsValid()) {
        return kInvalid;
    }
    fw::UniqueBstr text;
    if (FAILED(::VarBstrFromDate(value.date, LOCALE_USER_DEFAULT, VAR_TIMEVALUEONLY, text.Put()))) {
        return kInvalid;
    }
    if (text && ::SysStringLen(text.Get()) > 0) {
        return std::wstring(text.Get(), ::SysStringLen(text.Get()));
    }
    // Some platforms give the empty text for a time of 00:00:00; the locale's own time format gives the
    // same text that the conversion gives for every other second.
    SYSTEMTIME st{};
    if (!value.ToSystemTime(st)) {
        return kInvalid;
    }
    wchar_t buffer[128]{};
    if (::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, static_cast<int>(std::size(buffer))) == 0) {
        return kInvalid;
    }
    return buffer;
}

DateTimeValue ParseTaskTime(const std::wstring& text) {
    double date = 0.0;
    // The platform reads the text only up to its terminator, so an embedded NUL must not cut it short.
    if (text.find(L'\0') != std::wstring::npos) {
        return DateTimeValue::Invalid();
    }
    if (FAILED(::VarDateFromStr(const_cast<OLECHAR*>(text.c_str()), LOCALE_USER_DEFAULT, VAR_TIMEVALUEONLY, &date))) {
        return ParseTimeOfDayText(text);
    }
    return {date, DateTimeStatus::Valid};
}

DateTimeValue ParseTimeOfDayText(const std::wstring& text) {
    size_t pos = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    SkipBlanks(text, pos);
    if (!ReadNumber(text, pos, 1, 2, hour) || pos >= text.size() || text[pos++] != L':' ||
        !ReadNumber(text, pos, 2, 2, minute) || pos >= text.size() || text[pos++] != L':' ||
        !ReadNumber(text, pos, 2, 2, second) || minute > 59 || second > 59) {
        return DateTimeValue::Invalid();
    }
    SkipBlanks(text, pos);
    if (pos + 2 <= text.size() && AsciiUpper(text[pos + 1]) == L'M' &&
        (AsciiUpper(text[pos]) == L'A' || AsciiUpper(text[pos]) == L'P')) {
        const bool afternoon = AsciiUpper(text[pos]) == L'P';
        if (hour < 1 || hour > 12) {
            return DateTimeValue::Invalid();
        }
        hour = hour % 12 + (afternoon ? 12 : 0);
        pos += 2;
        SkipBlanks(text, pos);
    } else if (hour > 23) {
        return DateTimeValue::Invalid();
    }
    if (pos != text.size()) {
        return DateTimeValue::Invalid();
    }
    return {static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay, DateTimeStatus::Valid};
}

int SecondOfDay(const DateTimeValue& value) {
    SYSTEMTIME time{};
    if (!value.ToSystemTime(time)) {
        return -1;
    }
    return time.wHour * 3600 + time.wMinute * 60 + time.wSecond;
}

DateTimeValue TimeOfDayValue(int secondOfDay) {
    // A time of day alone, as a read time text is.
    return {static_cast<double>(secondOfDay) / kSecondsPerDay, DateTimeStatus::Valid};
}

}  // namespace core
