#pragma once
// Finding a running program by its image path or by a window title, and stopping it: its top-level
// windows are asked to close (a console program without windows is sent Ctrl+C), and the process is terminated
// when it has not ended within the time-out. A stop of the whole tree does the same to every process that the
// program started, and theirs.
//
// Each process is opened the moment it is found, and that handle is what the close requests, the wait and
// the termination act on. While it is held, the process id cannot pass to another process, so a program
// that ends meanwhile is never confused with one that starts after it.
#include "control/PendingStops.h"
#include "control/RunResult.h"
#include "control/StopOptions.h"
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace control {

// What a stop takes: the process it finds, or that process with every process it started, and theirs.
enum class StopScope { Process, Tree };

// Stops the program that a Stop task names: by image path when the text names an existing file, otherwise
// by window title. The stop options are read first, so that nothing that can show a box runs between
// finding the process and opening it; when the settings file could not be read, the user is told once the
// stop is under way. The wait for the process to end is left to stops; this returns at once.
//
// The report hears how the stop ended, once. A stop that finds nothing, cannot open its process or meets the
// desktop shell is over at once: the report is called before this returns, on the calling thread, before any
// box. Otherwise stops calls it when the process has ended or the time-out has passed, on the thread that owns
// stops (before this returns when the time-out is 0); a stop still waiting when stops is destroyed reports
// nothing.
void StopProgram(const std::wstring& program,
                 PendingStops& stops,
                 RunReport report = {},
                 StopScope scope = StopScope::Process);
// Stops the first running process (in the order the platform lists them) whose long-form image path equals
// the path, ignoring the case of A to Z only, and that can be opened to be stopped. The program's own
// process is never chosen. Nothing is shown when none matches; "Could not OpenProcess" when processes match
// but none of them can be opened to be stopped. The report as for StopProgram.
void StopProgramByPath(const std::wstring& path,
                       const StopOptions& options,
                       PendingStops& stops,
                       RunReport report = {},
                       StopScope scope = StopScope::Process);
// Stops the process that owns the first top-level window titled exactly so, windows of the program itself
// skipped. Shows "Can not find program: " with the title when there is none, or when the title is empty,
// and "Could not OpenProcess" when that process cannot be opened to be stopped. The report as for StopProgram.
void StopProgramByWindowTitle(const std::wstring& title,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report = {},
                              StopScope scope = StopScope::Process);
// The close, wait and terminate sequence for a process found by the program text and held by the handle
// (SYNCHRONIZE | PROCESS_TERMINATE, and PROCESS_QUERY_LIMITED_INFORMATION for a tree): WM_CLOSE goes to every
// top-level window of the process, or, when it has none but a console, Ctrl+C goes to that console
// (RequestConsoleClose); stops terminate it after the time-out (when the options say so) unless it ends first.
// For the whole tree, its processes are held from now on and each is asked to close the same way; a console
// is sent its request once, and only when every process on it belongs to the tree. The desktop shell is the
// exception: only its windows titled as the program text are asked to close, and it is never terminated,
// since it also owns the taskbar and the desktop; nor is its tree taken. The program's own process is never a
// target: that is reported as not found.
void CloseAndTerminateProcess(DWORD processId,
                              fw::UniqueHandle process,
                              const std::wstring& program,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report = {},
                              StopScope scope = StopScope::Process);
// Asks the held process to close: WM_CLOSE to its top-level windows, or Ctrl+C to its console when it has no
// window to close (an input method's window aside). targets: the processes of the stop, which alone may share
// that console. The ids of the processes on the console when Ctrl+C was sent; empty otherwise.
std::vector<DWORD> AskProcessToClose(DWORD processId, HANDLE process, const std::vector<DWORD>& targets);
// The program a stop of the text would act on, when it runs: the first process with that image path (the file name
// is its name) or the owner of the first window with that title (the title is its name), never the program itself,
// held with SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION. Shows nothing.
std::optional<core::RunningProgram> FindRunningProgram(const std::wstring& program);

// EnumWindows callback: posts WM_CLOSE to the window when the process (lParam) owns it. Always continues.
BOOL CALLBACK PostCloseToProcessWindows(HWND hwnd, LPARAM processId);

// The id of the process that owns the desktop shell's window (GetShellWindow), or 0 when there is none.
DWORD GetShellProcessId();

// What tests may put into a stop. Empty members leave the program's own behaviour.
struct StopHooks {
    // Opens a process for stopping instead of OpenProcess (kStopAccess).
    std::function<HANDLE(DWORD processId)> openForStop;
    // Called once the process is found and opened, before anything is asked to close.
    std::function<void(DWORD processId, HANDLE process)> found;
};
// Installs the hooks; returns the previous ones.
StopHooks SetStopHooks(StopHooks hooks);

}  // namespace control
