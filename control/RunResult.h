#pragma once
// What became of one run of a task, in the words the task list's "Last run" column shows and as the history's
// event, and the callback through which a start or a stop tells it.
#include "core/TaskRunner.h"

#include <windows.h>

#include <string>

namespace control {

// Which thread hears a run's report is said where a report is taken (StartProgramInBackground, StopProgram,
// PendingStops::Add).
using core::RunOutcome;
using core::RunReport;
using core::TellRunResult;

// The shell accepted the start.
inline constexpr wchar_t kRunStarted[] = L"started";
// A stop found no running process with that path, or no window with that title.
inline constexpr wchar_t kRunNotFound[] = L"not found";
// A stop found its process, but the process refused to be opened with the rights of a stop.
inline constexpr wchar_t kRunCouldNotOpen[] = L"could not open the process";
// The process ended within its grace period.
inline constexpr wchar_t kRunClosedByItself[] = L"closed by itself";
// The grace period passed, and Force Quit is off: the process was only asked to close.
inline constexpr wchar_t kRunStillRunning[] = L"still running (force quit off)";
// The stop named the desktop shell, which is only ever asked to close its named windows.
inline constexpr wchar_t kRunAskedShellToClose[] = L"asked to close (desktop shell)";
// The grace period passed, Force Quit is on, and the process could not be terminated.
inline constexpr wchar_t kRunCouldNotEnd[] = L"could not end the process";

// The system's text for the error, on one line and without its final full stop, or "error N" where the system
// has no text for it.
std::wstring SystemErrorText(DWORD error);
// "start failed: " and the system's text for the error.
std::wstring StartFailedResult(DWORD error);
// "terminated after N s", N the grace period in whole seconds.
std::wstring TerminatedResult(DWORD timeOutMilliseconds);

// The outcomes, each with its column text, event and detail.
RunOutcome StartedOutcome();
// The detail is the system's text for the error.
RunOutcome StartFailedOutcome(DWORD error);
RunOutcome NotFoundOutcome();
// The process was found but could not be opened to be stopped: "could not stop", with the error.
RunOutcome CouldNotOpenOutcome(DWORD error);
RunOutcome ClosedByItselfOutcome();
RunOutcome StillRunningOutcome();
// The detail is the seconds waited.
RunOutcome TerminatedOutcome(DWORD timeOutMilliseconds);
// The process outlived its grace period and could not be terminated: "could not stop", with the error.
RunOutcome CouldNotEndOutcome(DWORD error);
// The desktop shell's windows of that title were asked to close: a "closed" whose detail says that only they were.
RunOutcome AskedShellToCloseOutcome();

}  // namespace control
