#include "framework/WorkerThread.h"

#include "framework/Wnd.h"

#include <algorithm>
#include <exception>

namespace fw {

WorkerThread::WorkerThread(std::function<void()> onStart, std::function<void()> onEnd)
    : m_wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_onStart(std::move(onStart)),
      m_onEnd(std::move(onEnd)) {}

void WorkerThread::StartLocked() {
    // Not waited for: a poster (the scheduler's thread among them) goes on at once. Nothing can post to a window of
    // the thread before the work that makes it has run there.
    m_thread = std::thread([this] { Run(); });
}

WorkerThread::~WorkerThread() {
    Stop();
}

bool WorkerThread::Post(std::function<void()> work) {
    return PostAfter(0, std::move(work));
}

bool WorkerThread::PostAfter(DWORD milliseconds, std::function<void()> work) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return false;
        }
        m_items.push_back({::GetTickCount64() + milliseconds, m_nextOrder++, std::move(work)});
        if (!m_thread.joinable()) {
            StartLocked();
        }
    }
    ::SetEvent(m_wake.Get());
    return true;
}

void WorkerThread::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    ::SetEvent(m_wake.Get());
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::function<void()> WorkerThread::TakeDue(DWORD& wait, bool& stopping) {
    const std::lock_guard lock(m_mutex);
    stopping = m_stopping;
    wait = INFINITE;
    if (m_stopping || m_items.empty()) {
        return {};
    }
    const auto next = std::min_element(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
    const ULONGLONG now = ::GetTickCount64();
    if (next->due > now) {
        wait = static_cast<DWORD>(std::min<ULONGLONG>(next->due - now, INFINITE - 1));
        return {};
    }
    std::function<void()> work = std::move(next->work);
    m_items.erase(next);
    return work;
}

void WorkerThread::DispatchMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        try {
            RethrowPendingException();
        } catch (...) {
            // A window of this thread failed in one message: the thread serves the next one.
        }
    }
}

void WorkerThread::Run() {
    if (m_onStart) {
        m_onStart();
    }
    for (;;) {
        DispatchMessages();
        DWORD wait = INFINITE;
        bool stopping = false;
        std::function<void()> work = TakeDue(wait, stopping);
        if (stopping) {
            break;
        }
        if (work) {
            try {
                work();
            } catch (...) {
                // Out of memory in one piece of work: that piece is lost, the thread goes on.
            }
            continue;
        }
        HANDLE wake = m_wake.Get();
        fw::IgnoreResult(::MsgWaitForMultipleObjectsEx(1, &wake, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE));
    }
    if (m_onEnd) {
        m_onEnd();
    }
    const std::lock_guard lock(m_mutex);
    m_items.clear();
}

}  // namespace fw
