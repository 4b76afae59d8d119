#pragma once
// History.txt beside Profile.txt: one line for everything that happened to a task (a start, a stop, a run made up
// or missed), kept for the user to look back on and for other programs to read. UTF-8 with a byte-order mark; each
// line holds six fields separated by tabs: the local time with its offset from UTC ("2026-03-01 07:30:00+01:00"),
// the task's Id, its program, its action, the event and a detail (may be empty).
#include "core/Scheduler.h"
#include "core/Task.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace core {

namespace history {

// The events, in English whatever the language of the system: other programs read them.
inline constexpr wchar_t kStarted[] = L"started";
// Detail: the shell's error text.
inline constexpr wchar_t kStartFailed[] = L"start failed";
// A run missed while Marlowick was not watching, started late. Detail: the missed due time.
inline constexpr wchar_t kMadeUp[] = L"made up";
// A due time passed while Marlowick was not watching, for a task that does not run when missed.
inline constexpr wchar_t kMissed[] = L"missed";
inline constexpr wchar_t kNotFound[] = L"not found";
// The program closed when asked.
inline constexpr wchar_t kClosed[] = L"closed";
// Detail: the seconds waited before the program was terminated.
inline constexpr wchar_t kTerminated[] = L"terminated";
// The program was asked to close and did not, and Force Quit is off.
inline constexpr wchar_t kStillRunning[] = L"still running";
// Detail: why (the process could not be opened or ended).
inline constexpr wchar_t kCouldNotStop[] = L"could not stop";
inline constexpr wchar_t kPostponed[] = L"postponed";
inline constexpr wchar_t kSkipped[] = L"skipped";

// The file is renamed to the old one (replacing it) once it would grow past this size.
inline constexpr ULONGLONG kRotateBytes = 1024 * 1024;
inline constexpr wchar_t kFileName[] = L"History.txt";
inline constexpr wchar_t kOldFileName[] = L"History.1.txt";

// One line of the file.
struct Line {
    // "YYYY-MM-DD HH:MM:SS+HH:MM"; Append takes the time of the append when this is empty.
    std::wstring time;
    TaskId id = 0;
    std::wstring program;
    std::wstring action;
    std::wstring event;
    std::wstring detail;

    bool operator==(const Line&) const = default;
};

// The local time of the reading, with its offset from UTC.
std::wstring TimeText(const ClockReading& now);

// The line as it is written, in UTF-8 and ending in CR LF: a tab or a line break inside a field becomes a blank,
// so that every line keeps its six fields.
std::string Format(const Line& line);
// The line that the text (without its line end) holds; false for a text that is not a whole line of six fields.
bool Parse(const std::wstring& text, Line& line);

// Appends the line to History.txt in the folder, in one write that is flushed before this returns. Safe from
// several threads and processes at once: a machine-wide lock orders the appends and the renaming of a full file,
// and a line cut short by a crash is ended before the next one. False when the line could not be written; nothing
// is shown.
bool Append(const std::wstring& folder, const Line& line);
// The same in the configuration folder, with the time of now.
bool Append(const Line& line);

// The lines of History.1.txt, then of History.txt, oldest first. Lines that are not whole (a crash cut the last
// one) or not of six fields are passed over.
std::vector<Line> Read(const std::wstring& folder);

// Where an append has got to, for tests that end the process there.
enum class AppendStep {
    // The lock is held.
    Locked,
    // The file is open, and nothing written yet.
    Opened,
    // The line is written, not yet flushed.
    Written,
};
using AppendHook = std::function<void(AppendStep step)>;
// Installs the hook; returns the previous one.
AppendHook SetAppendHook(AppendHook hook);

}  // namespace history

}  // namespace core
