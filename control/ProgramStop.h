#pragma once
// Finding a running program by its image path or by a window title, and stopping it: its top-level
// windows are asked to close, and the process is terminated when it has not ended within the time-out.
#include "control/PendingStops.h"

#include <windows.h>

#include <string>

namespace control {

// The longest time-out of a stop, one day.
inline constexpr int kMaxStopTimeOutSeconds = 86400;

// The stop time-out of the settings file ("Stop", "TimeOut"), read afresh, clamped to 0..86400 seconds,
// in milliseconds. Absent, empty or not numeric gives 0.
DWORD ReadStopTimeOut();
// The force-quit flag of the settings file ("Stop", "ForceQuit"), read afresh: set when the text is empty,
// absent or "TRUE" in any letter case; cleared by any other text.
bool ReadForceQuit();
// The flag's meaning for one text, as ReadForceQuit applies it.
bool IsForceQuitText(const std::wstring& text);

// Stops the program that a Stop task names: by image path when the text names an existing file, otherwise
// by window title. The wait for the process to end is left to stops; this returns at once.
void StopProgram(const std::wstring& program, PendingStops& stops);
// Stops the first running process (in the order the platform lists them) whose long-form image path equals
// the path, ignoring the case of A to Z only. The program's own process is never chosen. Nothing is shown
// when none matches.
void StopProgramByPath(const std::wstring& path, PendingStops& stops);
// Stops the process that owns the first top-level window titled exactly so, windows of the program itself
// skipped. Shows "Can not find program: " with the title when there is none, or when the title is empty.
void StopProgramByWindowTitle(const std::wstring& title, PendingStops& stops);
// Reads the stop options and runs the close, wait and terminate sequence for the process.
void StopProcess(DWORD processId, PendingStops& stops);
// Posts WM_CLOSE to every top-level window of the process, then hands the process to stops, which terminate
// it after the time-out (when forceQuit is set) unless it ends first. Shows "Could not OpenProcess" and
// posts nothing when the process cannot be opened to wait for and terminate it.
void CloseAndTerminateProcess(DWORD processId, DWORD milliseconds, bool forceQuit, PendingStops& stops);
// EnumWindows callback: posts WM_CLOSE to the window when the process (lParam) owns it. Always continues.
BOOL CALLBACK PostCloseToProcessWindows(HWND hwnd, LPARAM processId);

}  // namespace control
