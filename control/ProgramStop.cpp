#include "control/ProgramStop.h"

#include "control/ProcessPath.h"
#include "control/WindowTitle.h"
#include "core/AsciiCase.h"
#include "core/Profile.h"
#include "framework/MessageBox.h"

#include <shlwapi.h>

#include <utility>

namespace control {
namespace {

StopHooks& Hooks() {
    static StopHooks hooks;
    return hooks;
}

// error: why the process could not be opened, when it could not.
fw::UniqueHandle OpenForStop(DWORD processId, DWORD& error) {
    ::SetLastError(ERROR_SUCCESS);
    fw::UniqueHandle process(Hooks().openForStop ? Hooks().openForStop(processId)
                                                 : ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
    error = ::GetLastError();
    // Refused without a reason given: access was what was refused.
    if (!process && error == ERROR_SUCCESS) {
        error = ERROR_ACCESS_DENIED;
    }
    return process;
}

DWORD WindowProcessId(HWND hwnd) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    return processId;
}

// The report comes first: a box may wait for the user, the list need not.
void TellCannotOpen(const RunReport& report, DWORD error) {
    TellRunResult(report, CouldNotOpenOutcome(error));
    fw::AfxMessageBox(L"Could not OpenProcess", MB_OK);
}

struct TitleSearch {
    const std::wstring* title;
    DWORD ownProcessId;
    HWND found;
};

BOOL CALLBACK FindTitledWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<TitleSearch*>(lParam);
    const DWORD processId = WindowProcessId(hwnd);
    // The program's own windows are never a stop's target.
    if (processId == 0 || processId == search->ownProcessId || ReadWindowTitle(hwnd) != *search->title) {
        return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

struct ShellWindows {
    DWORD processId;
    const std::wstring* title;
};

BOOL CALLBACK PostCloseToTitledShellWindows(HWND hwnd, LPARAM lParam) {
    const auto* shell = reinterpret_cast<const ShellWindows*>(lParam);
    if (WindowProcessId(hwnd) == shell->processId && ReadWindowTitle(hwnd) == *shell->title) {
        fw::IgnoreResult(::PostMessageW(hwnd, WM_CLOSE, 0, 0));
    }
    return TRUE;
}

}  // namespace

void StopProgram(const std::wstring& program, PendingStops& stops, RunReport report) {
    const StopOptionsRead read = ReadStopOptions();
    if (!program.empty() && ::PathFileExistsW(program.c_str())) {
        StopProgramByPath(program, read.options, stops, std::move(report));
    } else {
        StopProgramByWindowTitle(program, read.options, stops, std::move(report));
    }
    // Told only now: a box shown earlier would hold the stop until someone answers it.
    if (!read.fromFile) {
        core::ReportProfileReadFailure(core::GetProfilePath(), read.result);
    }
}

void StopProgramByPath(const std::wstring& path, const StopOptions& options, PendingStops& stops, RunReport report) {
    const DWORD ownId = ::GetCurrentProcessId();
    const std::wstring wanted = core::AsciiLower(path);
    bool refused = false;
    DWORD error = ERROR_SUCCESS;
    for (DWORD id : ListProcessIds()) {
        if (id == ownId) {
            continue;
        }
        const fw::UniqueHandle query = OpenProcessForQuery(id);
        if (!query || core::AsciiLower(GetProcessImagePath(query.Get())) != wanted) {
            continue;
        }
        // The query handle keeps the id from passing to another process while the process is opened again
        // with the rights of a stop.
        fw::UniqueHandle process = OpenForStop(id, error);
        if (!process) {
            refused = true;  // another user's or a protected instance: perhaps a later one is the user's own
            continue;
        }
        CloseAndTerminateProcess(id, std::move(process), path, options, stops, std::move(report));
        return;
    }
    if (refused) {
        TellCannotOpen(report, error);
    } else {
        TellRunResult(report, NotFoundOutcome());
    }
}

void StopProgramByWindowTitle(const std::wstring& title,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report) {
    TitleSearch search{&title, ::GetCurrentProcessId(), nullptr};
    // An empty text names no program; it would otherwise pick any window without a title.
    if (!title.empty()) {
        fw::IgnoreResult(::EnumWindows(&FindTitledWindow, reinterpret_cast<LPARAM>(&search)));
    }
    const DWORD processId = search.found ? WindowProcessId(search.found) : 0;
    DWORD error = ERROR_SUCCESS;
    fw::UniqueHandle process = processId != 0 ? OpenForStop(processId, error) : fw::UniqueHandle();
    if (processId != 0 && !process) {
        TellCannotOpen(report, error);
        return;
    }
    // A window lives no longer than its process: while the window is still there and still the process's,
    // the handle is that of the window's process, not of a later one that was given the same id.
    if (processId == 0 || WindowProcessId(search.found) != processId) {
        TellRunResult(report, NotFoundOutcome());
        fw::AfxMessageBox(L"Can not find program: " + title, MB_OK);
        return;
    }
    CloseAndTerminateProcess(processId, std::move(process), title, options, stops, std::move(report));
}

void CloseAndTerminateProcess(DWORD processId,
                              fw::UniqueHandle process,
                              const std::wstring& program,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report) {
    if (!process) {
        TellRunResult(report, CouldNotOpenOutcome(ERROR_INVALID_HANDLE));
        return;
    }
    // The program never stops itself, whoever asks.
    if (processId == ::GetCurrentProcessId()) {
        TellRunResult(report, NotFoundOutcome());
        return;
    }
    if (Hooks().found) {
        Hooks().found(processId, process.Get());
    }
    // The windows are looked up by the id while the handle is held: the id still names this process.
    if (processId == GetShellProcessId()) {
        // A close request to the desktop window offers to shut the machine down, and terminating the shell
        // takes the taskbar and the desktop with it: only the windows the task names are asked to close.
        ShellWindows shell{processId, &program};
        fw::IgnoreResult(::EnumWindows(&PostCloseToTitledShellWindows, reinterpret_cast<LPARAM>(&shell)));
        TellRunResult(report, AskedShellToCloseOutcome());
        return;
    }
    fw::IgnoreResult(::EnumWindows(&PostCloseToProcessWindows, static_cast<LPARAM>(processId)));
    stops.Add(std::move(process), processId, options.timeOutMilliseconds, options.forceQuit, std::move(report));
}

namespace {

// Opened to be watched while a warning is up.
fw::UniqueHandle OpenToWatch(DWORD processId) {
    return fw::UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
}

std::optional<core::RunningProgram> FindRunningByPath(const std::wstring& path) {
    const std::wstring wanted = core::AsciiLower(path);
    for (DWORD id : ListProcessIds()) {
        if (id == ::GetCurrentProcessId()) {
            continue;
        }
        const fw::UniqueHandle query = OpenProcessForQuery(id);
        if (query && core::AsciiLower(GetProcessImagePath(query.Get())) == wanted) {
            // Opened while the query handle keeps the id from passing to another process.
            if (fw::UniqueHandle process = OpenToWatch(id)) {
                return core::RunningProgram{::PathFindFileNameW(path.c_str()), std::move(process)};
            }
        }
    }
    return std::nullopt;
}

std::optional<core::RunningProgram> FindRunningByTitle(const std::wstring& title) {
    TitleSearch search{&title, ::GetCurrentProcessId(), nullptr};
    if (title.empty()) {
        return std::nullopt;
    }
    fw::IgnoreResult(::EnumWindows(&FindTitledWindow, reinterpret_cast<LPARAM>(&search)));
    const DWORD processId = search.found ? WindowProcessId(search.found) : 0;
    fw::UniqueHandle process = processId != 0 ? OpenToWatch(processId) : fw::UniqueHandle();
    // The window still there and still the process's: the handle is that of the window's process.
    if (!process || WindowProcessId(search.found) != processId) {
        return std::nullopt;
    }
    return core::RunningProgram{title, std::move(process)};
}

}  // namespace

std::optional<core::RunningProgram> FindRunningProgram(const std::wstring& program) {
    if (!program.empty() && ::PathFileExistsW(program.c_str())) {
        return FindRunningByPath(program);
    }
    return FindRunningByTitle(program);
}

BOOL CALLBACK PostCloseToProcessWindows(HWND hwnd, LPARAM processId) {
    if (WindowProcessId(hwnd) == static_cast<DWORD>(processId)) {
        fw::IgnoreResult(::PostMessageW(hwnd, WM_CLOSE, 0, 0));
    }
    return TRUE;
}

DWORD GetShellProcessId() {
    HWND shell = ::GetShellWindow();
    return shell ? WindowProcessId(shell) : 0;
}

StopHooks SetStopHooks(StopHooks hooks) {
    return std::exchange(Hooks(), std::move(hooks));
}

}  // namespace control
