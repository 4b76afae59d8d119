#pragma once
// The texts of a task's optional keys in the profile: its id, the days it runs on, its yes/no choices, the time
// it last ran, its repeat and its date. They are the same on every system, whatever its locale.
#include "core/Task.h"

#include <windows.h>

#include <optional>
#include <string>

namespace core {

// The days of a Days text: English three-letter names (any letter case, blanks around them allowed) joined
// by commas. Empty or blank means every day. Empty when the text holds anything that is not a day's name:
// such a task never runs, and the list marks it, rather than running on days nobody chose.
std::optional<DayMask> ParseDays(const std::wstring& text);
// The Days text of the days, Monday first ("Mon,Tue,Wed,Thu,Fri"); empty for every day (and for none).
std::wstring FormatDays(DayMask days);
// What the list shows: "Every day", "Mon–Fri", or the names.
std::wstring DaysDisplayText(DayMask days);
// The bit of the day of the week of a local date, in whole seconds on the file-time scale.
DayMask DayOfWeekBit(long long localSeconds);

// Enabled is off only for "FALSE"; RunIfMissed and Wake are on only for "TRUE" (letter case of A to Z
// ignored, blanks around ignored). Anything else keeps what a task without the key does.
bool ParseEnabled(const std::wstring& text);
bool ParseYes(const std::wstring& text);

// A moment in UTC as "2026-12-09T02:00:00Z", and back; empty for a text that is not exactly that form.
std::wstring FormatUtc(UtcSeconds moment);
std::optional<UtcSeconds> ParseUtc(const std::wstring& text);

// An Id: a whole number from 1, digits only; empty for anything else.
std::optional<TaskId> ParseTaskId(const std::wstring& text);

// A repeat's minutes: a whole number from 1 to kMaxEveryMinutes, digits only; empty for anything else.
inline constexpr int kMaxEveryMinutes = 24 * 60;
std::optional<int> ParseEvery(const std::wstring& text);
// A Stop task's warning: seconds from 0 (none) to kMaxWarnSeconds, digits only; an empty text is 0. Empty for
// anything else: such a task is not warned of.
inline constexpr int kMaxWarnSeconds = 3600;
std::optional<int> ParseWarn(const std::wstring& text);
// How often one run may be postponed: 0 to kMaxPostpones, digits only; an empty text is kDefaultMaxPostpones.
// Empty for anything else.
inline constexpr int kDefaultMaxPostpones = 3;
inline constexpr int kMaxPostpones = 99;
std::optional<int> ParseMaxPostpones(const std::wstring& text);
// A time of day written "HH:MM:SS" on the 24-hour clock, the same in every locale, as its second of the day; and
// back.
std::optional<int> ParseTime24(const std::wstring& text);
std::wstring FormatTime24(int secondOfDay);
// A date written "YYYY-MM-DD", as the local second its day begins with (file-time scale); and back. Empty for a
// text of another form or a day the calendar does not have.
std::optional<long long> ParseDate(const std::wstring& text);
std::wstring FormatDate(long long localSeconds);

// Calendar fields and whole seconds on the file-time scale (no time zone applied), both ways.
std::optional<long long> ToSeconds(const SYSTEMTIME& time);
std::optional<SYSTEMTIME> FromSeconds(long long seconds);

}  // namespace core
