#include "control/PendingStops.h"

#include "framework/Wnd.h"

#include <algorithm>
#include <exception>

namespace control {
namespace {

constexpr wchar_t kWindowClass[] = L"MarlowickPendingStops";
constexpr UINT kProcessEnded = WM_APP + 1;
constexpr UINT kTimeOutPassed = WM_APP + 2;
// How long a process whose termination failed is given to show that it is ending anyway.
constexpr DWORD kEndingWaitMs = 100;

// Cancels a pool wait and waits for a callback that is already running (it only posts a message).
BOOL UnregisterWaitBlocking(HANDLE wait) {
    return ::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
}
using UniqueWait = fw::UniqueAny<fw::HandleTraits<HANDLE, UnregisterWaitBlocking>>;

void RegisterWindowClass(WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    // Fails harmlessly when the class exists already.
    fw::IgnoreResult(::RegisterClassExW(&wc));
}

}  // namespace

struct PendingStops::Stop {
    HWND window = nullptr;
    UINT_PTR id = 0;
    DWORD timeOut = 0;
    bool forceQuit = true;
    // A stop of a whole tree looks for the processes that the held ones start meanwhile.
    bool wholeTree = false;
    ULONGLONG deadline = 0;
    RunReport report;
    // The process the stop names first, then the rest of its tree.
    std::vector<HeldProcess> processes;
    // After the process handles: the watch is cancelled before the handle it watches is closed.
    UniqueWait wait;
};

namespace {

bool IsRunning(const HeldProcess& held) {
    return ::WaitForSingleObject(held.handle.Get(), 0) == WAIT_TIMEOUT;
}

HANDLE FirstRunning(const std::vector<HeldProcess>& processes) {
    const auto found = std::find_if(processes.begin(), processes.end(), IsRunning);
    return found != processes.end() ? found->handle.Get() : nullptr;
}

// Terminates the process, which was running; false with the error when it could not be and is not ending anyway.
bool Terminate(const HeldProcess& held, DWORD& error) {
    if (::TerminateProcess(held.handle.Get(), 0)) {
        return true;
    }
    error = ::GetLastError();
    return ::WaitForSingleObject(held.handle.Get(), kEndingWaitMs) != WAIT_TIMEOUT;
}

// The end of a grace period: the processes still running are terminated when the options say so, children
// before their parents, so that no parent that is about to go starts another child. A termination that fails
// for a process that is ending already is a termination all the same.
RunOutcome EndGracePeriod(std::vector<HeldProcess>& processes, bool wholeTree, DWORD timeOut, bool forceQuit) {
    if (wholeTree) {
        AddDescendants(processes);
    }
    std::vector<const HeldProcess*> running;
    for (const HeldProcess& held : processes) {
        if (IsRunning(held)) {
            running.push_back(&held);
        }
    }
    if (running.empty()) {
        return ClosedByItselfOutcome();
    }
    if (!forceQuit) {
        return StillRunningOutcome();
    }
    std::stable_sort(running.begin(), running.end(),
                     [](const HeldProcess* a, const HeldProcess* b) { return a->depth > b->depth; });
    bool ended = true;
    DWORD error = ERROR_SUCCESS;
    for (const HeldProcess* held : running) {
        ended = Terminate(*held, error) && ended;
    }
    return ended ? TerminatedOutcome(timeOut) : CouldNotEndOutcome(error);
}

// Whole milliseconds left until the deadline; 0 once it has passed.
DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = ::GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

}  // namespace

PendingStops::PendingStops() {
    RegisterWindowClass(&PendingStops::WindowProc);
    m_window.Reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr));
    if (m_window) {
        ::SetWindowLongPtrW(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

PendingStops::~PendingStops() {
    if (m_window) {
        ::SetWindowLongPtrW(m_window.Get(), GWLP_USERDATA, 0);
    }
}

std::vector<PendingStops::Info> PendingStops::List() const {
    std::vector<Info> list;
    for (const auto& [id, stop] : m_stops) {
        list.push_back({stop->processes.front().processId, stop->timeOut, stop->forceQuit});
    }
    return list;
}

void PendingStops::Add(fw::UniqueHandle process,
                       DWORD processId,
                       DWORD timeOutMilliseconds,
                       bool forceQuit,
                       RunReport report) {
    if (!process) {
        TellRunResult(report, CouldNotOpenOutcome(ERROR_INVALID_HANDLE));
        return;
    }
    auto stop = std::make_unique<Stop>();
    stop->timeOut = timeOutMilliseconds;
    stop->forceQuit = forceQuit;
    stop->report = std::move(report);
    stop->processes.push_back({processId, 0, 0, std::move(process)});
    Start(std::move(stop));
}

void PendingStops::AddTree(std::vector<HeldProcess> tree, DWORD timeOutMilliseconds, bool forceQuit, RunReport report) {
    if (tree.empty() || !tree.front().handle) {
        TellRunResult(report, CouldNotOpenOutcome(ERROR_INVALID_HANDLE));
        return;
    }
    auto stop = std::make_unique<Stop>();
    stop->timeOut = timeOutMilliseconds;
    stop->forceQuit = forceQuit;
    stop->wholeTree = true;
    stop->report = std::move(report);
    stop->processes = std::move(tree);
    Start(std::move(stop));
}

void PendingStops::Start(std::unique_ptr<Stop> stop) {
    stop->window = m_window.Get();
    stop->id = m_nextId++;
    stop->deadline = ::GetTickCount64() + stop->timeOut;
    // The first process is watched; when it ends before the others, the watch moves on (Finish).
    // Without a time-out, or without a way to watch the process, the time-out is taken as passed now.
    if (stop->timeOut == 0 || !stop->window ||
        !::RegisterWaitForSingleObject(stop->wait.Put(), stop->processes.front().handle.Get(),
                                       &PendingStops::OnWaitDone, stop.get(), stop->timeOut, WT_EXECUTEONLYONCE)) {
        stop->wait.Release();  // nothing registered, nothing to cancel
        const RunOutcome result = EndGracePeriod(stop->processes, stop->wholeTree, stop->timeOut, stop->forceQuit);
        const RunReport told = std::move(stop->report);
        stop.reset();
        TellRunResult(told, result);
        return;
    }
    const UINT_PTR id = stop->id;
    m_stops.emplace(id, std::move(stop));
}

VOID CALLBACK PendingStops::OnWaitDone(PVOID context, BOOLEAN timedOut) {
    // Runs on a pool thread: it only tells the owning thread, which does the rest.
    const Stop* stop = static_cast<const Stop*>(context);
    fw::IgnoreResult(::PostMessageW(stop->window, timedOut ? kTimeOutPassed : kProcessEnded, stop->id, 0));
}

void PendingStops::Finish(UINT_PTR id, bool timedOut) {
    const auto found = m_stops.find(id);
    if (found == m_stops.end()) {
        return;
    }
    Stop& stop = *found->second;
    stop.wait.Reset();  // it has fired once and fires no more
    if (!timedOut && stop.wholeTree) {
        // One process of the tree has ended: the stop goes on while any other runs, or was started meanwhile.
        AddDescendants(stop.processes);
        if (HANDLE next = FirstRunning(stop.processes)) {
            const DWORD remaining = Remaining(stop.deadline);
            if (remaining > 0 && ::RegisterWaitForSingleObject(stop.wait.Put(), next, &PendingStops::OnWaitDone, &stop,
                                                               remaining, WT_EXECUTEONLYONCE)) {
                return;
            }
            stop.wait.Release();
            timedOut = true;
        }
    }
    std::unique_ptr<Stop> over = std::move(found->second);
    m_stops.erase(found);
    const RunOutcome result = timedOut
                                  ? EndGracePeriod(over->processes, over->wholeTree, over->timeOut, over->forceQuit)
                                  : ClosedByItselfOutcome();
    const RunReport told = std::move(over->report);
    // The watch and the process handles are released before anyone hears of it.
    over.reset();
    TellRunResult(told, result);
}

LRESULT CALLBACK PendingStops::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProcessEnded || message == kTimeOutPassed) {
        if (auto* self = reinterpret_cast<PendingStops*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            // A report that throws must not unwind through the message dispatch: the loop that runs it throws
            // it again.
            try {
                self->Finish(static_cast<UINT_PTR>(wParam), message == kTimeOutPassed);
            } catch (...) {
                fw::KeepPendingException(std::current_exception());
                fw::IgnoreResult(::PostMessageW(hwnd, WM_NULL, 0, 0));
            }
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace control
