#include "control/PendingStops.h"

#include "framework/Wnd.h"

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

// The end of a grace period: a process that is still running is terminated when the options say so. A
// termination that fails for a process that is ending already is a termination all the same.
RunOutcome EndGracePeriod(HANDLE process, DWORD timeOutMilliseconds, bool forceQuit) {
    if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        return ClosedByItselfOutcome();
    }
    if (!forceQuit) {
        return StillRunningOutcome();
    }
    if (!::TerminateProcess(process, 0)) {
        const DWORD error = ::GetLastError();
        if (::WaitForSingleObject(process, kEndingWaitMs) == WAIT_TIMEOUT) {
            return CouldNotEndOutcome(error);
        }
    }
    return TerminatedOutcome(timeOutMilliseconds);
}

}  // namespace

struct PendingStops::Stop {
    HWND window = nullptr;
    UINT_PTR id = 0;
    DWORD processId = 0;
    DWORD timeOut = 0;
    bool forceQuit = true;
    RunReport report;
    fw::UniqueHandle process;
    // After the process handle: the watch is cancelled before the handle it watches is closed.
    UniqueWait wait;
};

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
        list.push_back({stop->processId, stop->timeOut, stop->forceQuit});
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
    stop->window = m_window.Get();
    stop->id = m_nextId++;
    stop->processId = processId;
    stop->timeOut = timeOutMilliseconds;
    stop->forceQuit = forceQuit;
    stop->report = std::move(report);
    stop->process = std::move(process);
    // Without a time-out, or without a way to watch the process, the time-out is taken as passed now.
    if (timeOutMilliseconds == 0 || !stop->window ||
        !::RegisterWaitForSingleObject(stop->wait.Put(), stop->process.Get(), &PendingStops::OnWaitDone, stop.get(),
                                       timeOutMilliseconds, WT_EXECUTEONLYONCE)) {
        stop->wait.Release();  // nothing registered, nothing to cancel
        const RunOutcome result = EndGracePeriod(stop->process.Get(), timeOutMilliseconds, forceQuit);
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
    std::unique_ptr<Stop> stop = std::move(found->second);
    m_stops.erase(found);
    const RunOutcome result =
        timedOut ? EndGracePeriod(stop->process.Get(), stop->timeOut, stop->forceQuit) : ClosedByItselfOutcome();
    const RunReport told = std::move(stop->report);
    // The watch and the process handle are released before anyone hears of it.
    stop.reset();
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
