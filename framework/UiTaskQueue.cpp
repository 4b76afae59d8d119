#include "framework/UiTaskQueue.h"

namespace fw {

void UiTaskQueue::Attach(HWND window, UINT message) {
    const std::lock_guard lock(m_mutex);
    m_window = window;
    m_message = message;
    if (!m_work.empty()) {
        AskLocked();
    }
}

void UiTaskQueue::AskLocked() {
    if (m_asked || !m_window) {
        return;
    }
    // A thread whose queue is full of posted messages still takes a sent one, ahead of them.
    m_asked = ::PostMessageW(m_window, m_message, 0, 0) != FALSE ||
              ::SendNotifyMessageW(m_window, m_message, 0, 0) != FALSE;
}

bool UiTaskQueue::Post(std::function<void()> work) {
    const std::lock_guard lock(m_mutex);
    if (m_closed) {
        return false;
    }
    m_work.push_back(std::move(work));
    AskLocked();
    return true;
}

void UiTaskQueue::Drain() {
    {
        const std::lock_guard lock(m_mutex);
        // Work posted from now on asks again: this drain may already be past it.
        m_asked = false;
    }
    for (;;) {
        std::function<void()> work;
        {
            const std::lock_guard lock(m_mutex);
            if (m_closed || m_work.empty()) {
                return;
            }
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
    }
}

void UiTaskQueue::Close() {
    std::deque<std::function<void()>> dropped;
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_window = nullptr;
        dropped.swap(m_work);
    }
}

bool UiTaskQueue::Pending() const {
    const std::lock_guard lock(m_mutex);
    return !m_work.empty();
}

}  // namespace fw
