#include "core/TaskTime.h"

#include "framework/Handle.h"

#include <oleauto.h>

#include <iterator>

namespace core {

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
        return DateTimeValue::Invalid();
    }
    return {date, DateTimeStatus::Valid};
}

}  // namespace core
