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
    bool IsNull() const { return status == DateTimeStatus::Null; }
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

// Reads a time text back under the user's default locale. A text that locale cannot read may come from
// another machine or another locale: it is read as the 24-hour "H:mm:ss" or the English "h:mm:ss AM/PM"
// form. Invalid when none of them reads it.
DateTimeValue ParseTaskTime(const std::wstring& text);

// The 24-hour "H:mm:ss" and the English "h:mm:ss AM/PM" forms alone (blanks around them allowed, AM and PM
// in either letter case); invalid for anything else.
DateTimeValue ParseTimeOfDayText(const std::wstring& text);

// The second of the day (0 to 86399) of a time value; -1 for a value that is not valid.
int SecondOfDay(const DateTimeValue& value);
// That second of the day, as ParseTaskTime reads a time.
DateTimeValue TimeOfDayValue(int secondOfDay);

}  // namespace core
