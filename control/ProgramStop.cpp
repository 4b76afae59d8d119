#include "control/ProgramStop.h"

#include "control/ConsoleClose.h"
#include "control/ProcessPath.h"
#include "control/WindowTitle.h"
#include "core/AsciiCase.h"
#include "core/Profile.h"
#include "framework/MessageBox.h"

#include <shlwapi.h>

#include <algorithm>
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
                                                 : ::OpenProcess(kStopAccess, FALSE, processId));
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

// Input methods give a process top-level windows of their own, which close with the process and not on request.
bool IsInputMethodWindow(HWND hwnd) {
    wchar_t className[32]{};
    const int length = ::GetClassNameW(hwnd, className, 32);
    const std::wstring name(className, static_cast<size_t>(std::max(length, 0)));
    return name == L"IME" || name == L"MSCTFIME UI";
}

struct WindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindWindowToClose(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    if (WindowProcessId(hwnd) == search->processId && !IsInputMethodWindow(hwnd)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// Message-only windows are not top-level windows: EnumWindows leaves them out already.
bool HasWindowToClose(DWORD processId) {
    WindowSearch search{processId, false};
    fw::IgnoreResult(::EnumWindows(&FindWindowToClose, reinterpret_cast<LPARAM>(&search)));
    return search.found;
}

// Holds the tree of the process and asks each of its processes to close; a console is asked once.
void CloseTree(DWORD processId,
               fw::UniqueHandle process,
               const StopOptions& options,
               PendingStops& stops,
               RunReport report) {
    std::vector<HeldProcess> tree;
    tree.push_back(HoldRoot(processId, std::move(process)));
    AddDescendants(tree);
    std::vector<DWORD> targets;
    for (const HeldProcess& held : tree) {
        targets.push_back(held.processId);
    }
    std::vector<DWORD> asked;
    for (const HeldProcess& held : tree) {
        if (std::find(asked.begin(), asked.end(), held.processId) == asked.end()) {
            const std::vector<DWORD> onConsole = AskProcessToClose(held.processId, held.handle.Get(), targets);
            asked.insert(asked.end(), onConsole.begin(), onConsole.end());
        }
    }
    stops.AddTree(std::move(tree), options.timeOutMilliseconds, options.forceQuit, std::move(report));
}

// A process found for a stop or a warning, opened by the caller's way.
struct FoundProcess {
    DWORD id = 0;
    fw::UniqueHandle process;
    // A process matched, but could not be opened so.
    bool refused = false;
};
using OpenProcessFor = std::function<fw::UniqueHandle(DWORD processId)>;

// The first running process (in the order the platform lists them, the program's own aside) whose long-form image
// path equals the path, ignoring the case of A to Z only, that open can open.
FoundProcess OpenFirstAtPath(const std::wstring& path, const OpenProcessFor& open) {
    const std::wstring wanted = core::AsciiLower(path);
    FoundProcess found;
    for (DWORD id : ListProcessIds()) {
        if (id == ::GetCurrentProcessId()) {
            continue;
        }
        const fw::UniqueHandle query = OpenProcessForQuery(id);
        if (!query || core::AsciiLower(GetProcessImagePath(query.Get())) != wanted) {
            continue;
        }
        // The query handle keeps the id from passing to another process while the process is opened again.
        if (fw::UniqueHandle process = open(id)) {
            found.id = id;
            found.process = std::move(process);
            return found;
        }
        found.refused = true;  // another user's or a protected instance: perhaps a later one is the user's own
    }
    return found;
}

// The process that owns the first top-level window titled exactly so (the program's own windows skipped), opened
// by open. No id when there is no such window (or the title is empty: it names no program, and would otherwise pick
// any window without a title), or when the window went meanwhile.
FoundProcess OpenTitledWindowProcess(const std::wstring& title, const OpenProcessFor& open) {
    TitleSearch search{&title, ::GetCurrentProcessId(), nullptr};
    if (!title.empty()) {
        fw::IgnoreResult(::EnumWindows(&FindTitledWindow, reinterpret_cast<LPARAM>(&search)));
    }
    FoundProcess found;
    const DWORD processId = search.found ? WindowProcessId(search.found) : 0;
    if (processId == 0) {
        return found;
    }
    found.process = open(processId);
    found.refused = !found.process;
    // A window lives no longer than its process: while the window is still there and still the process's, the
    // handle is that of the window's process, not of a later one that was given the same id.
    if (found.process && WindowProcessId(search.found) == processId) {
        found.id = processId;
    }
    return found;
}

}  // namespace

void StopProgram(const std::wstring& program, PendingStops& stops, RunReport report, StopScope scope) {
    const StopOptionsRead read = ReadStopOptions();
    if (!program.empty() && ::PathFileExistsW(program.c_str())) {
        StopProgramByPath(program, read.options, stops, std::move(report), scope);
    } else {
        StopProgramByWindowTitle(program, read.options, stops, std::move(report), scope);
    }
    // Told only now: a box shown earlier would hold the stop until someone answers it.
    if (!read.fromFile) {
        core::ReportProfileReadFailure(core::GetProfilePath(), read.result);
    }
}

void StopProgramByPath(const std::wstring& path,
                       const StopOptions& options,
                       PendingStops& stops,
                       RunReport report,
                       StopScope scope) {
    DWORD error = ERROR_SUCCESS;
    FoundProcess found = OpenFirstAtPath(path, [&error](DWORD id) { return OpenForStop(id, error); });
    if (found.process) {
        CloseAndTerminateProcess(found.id, std::move(found.process), path, options, stops, std::move(report), scope);
        return;
    }
    if (found.refused) {
        TellCannotOpen(report, error);
    } else {
        TellRunResult(report, NotFoundOutcome());
    }
}

void StopProgramByWindowTitle(const std::wstring& title,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report,
                              StopScope scope) {
    DWORD error = ERROR_SUCCESS;
    FoundProcess found = OpenTitledWindowProcess(title, [&error](DWORD id) { return OpenForStop(id, error); });
    if (found.refused) {
        TellCannotOpen(report, error);
        return;
    }
    if (found.id == 0) {
        TellRunResult(report, NotFoundOutcome());
        fw::AfxMessageBox(L"Can not find program: " + title, MB_OK);
        return;
    }
    CloseAndTerminateProcess(found.id, std::move(found.process), title, options, stops, std::move(report), scope);
}

void CloseAndTerminateProcess(DWORD processId,
                              fw::UniqueHandle process,
                              const std::wstring& program,
                              const StopOptions& options,
                              PendingStops& stops,
                              RunReport report,
                              StopScope scope) {
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
    if (scope == StopScope::Tree) {
        CloseTree(processId, std::move(process), options, stops, std::move(report));
        return;
    }
    fw::IgnoreResult(AskProcessToClose(processId, process.Get(), {processId}));
    stops.Add(std::move(process), processId, options.timeOutMilliseconds, options.forceQuit, std::move(report));
}

std::vector<DWORD> AskProcessToClose(DWORD processId, HANDLE process, const std::vector<DWORD>& targets) {
    if (HasWindowToClose(processId)) {
        fw::IgnoreResult(::EnumWindows(&PostCloseToProcessWindows, static_cast<LPARAM>(processId)));
        return {};
    }
    return RequestConsoleClose(process, processId, targets);
}

namespace {

// Opened to be watched while a warning is up.
fw::UniqueHandle OpenToWatch(DWORD processId) {
    return fw::UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
}

std::optional<core::RunningProgram> Running(FoundProcess found, std::wstring name) {
    if (found.id == 0) {
        return std::nullopt;
    }
    return core::RunningProgram{std::move(name), std::move(found.process)};
}

}  // namespace

std::optional<core::RunningProgram> FindRunningProgram(const std::wstring& program) {
    if (!program.empty() && ::PathFileExistsW(program.c_str())) {
        return Running(OpenFirstAtPath(program, &OpenToWatch), ::PathFindFileNameW(program.c_str()));
    }
    return Running(OpenTitledWindowProcess(program, &OpenToWatch), program);
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
