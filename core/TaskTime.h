#pragma once
// The time text of a task: the time of day in the user's locale format, and the date-time value behind it.
#include <windows.h>

#include <string>

namespace core {

enum class DateTimeStatus { Valid, Invalid, Null };

// An automation date (days since 30 December 1899, the fraction being the time of day) with a status.
// The status carries validity: midnight is the valid value 0.
struct DateTimeValue {
    double date = 0.0;
    DateTimeStatus status = DateTimeStatus::Valid;

    bool IsValid() const { return status == DateTimeStatus::Valid; }
    static DateTimeValue Invalid() { return {0.0, DateTimeStatus::Invalid}; }
    static DateTimeValue Null() { return {0.0, DateTimeStatus::Null}; }
    // From calendar fields; invalid when the platform cannot convert them.
    static DateTimeValue FromSystemTime(const SYSTEMTIME& time);
    // The current local date and time, seconds included.
    static DateTimeValue Now();
    // The calendar fields; false for a value that is not valid or cannot be converted.
    bool ToSystemTime(SYSTEMTIME& time) const;
};

// The time of day alone, in the user's default locale format. Null gives the empty text; an invalid value,
// or one the platform cannot convert, gives "Invalid DateTime".
std::wstring FormatTaskTime(const DateTimeValue& value);

// Reads a time text back under the user's default locale: valid, or invalid when it does not parse.
DateTimeValue ParseTaskTime(const std::wstring& text);

}  // namespace core
