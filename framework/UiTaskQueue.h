#pragma once
// The one road from the program's other threads to a window's thread.
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace fw {

// Work for one window's thread, queued from any thread and run there, in the order posted, when the window handles
// the message this queue posts to it. One message asks for everything queued until it is handled. When the thread's
// queue is full the message is sent instead, which comes ahead of the posted ones; when that fails too, the work
// waits: the next post asks again, and a drain of the window's own (at its next command, or from a timer) runs it,
// so nothing is lost. Once the window has closed the queue, nothing reaches it any more.
class UiTaskQueue {
public:
    UiTaskQueue() = default;
    UiTaskQueue(const UiTaskQueue&) = delete;
    UiTaskQueue& operator=(const UiTaskQueue&) = delete;

    // The window that runs the work and the message that asks it to; work posted earlier is asked for now.
    void Attach(HWND window, UINT message);
    // Any thread. False once the queue is closed: the work is dropped, as the window is gone.
    bool Post(std::function<void()> work);
    // On the window's thread: runs the work queued, one piece at a time. A piece that runs a modal loop lets the
    // pieces after it run within that loop, still in order.
    void Drain();
    // On the window's thread, as it goes: drops what waits and refuses what comes later.
    void Close();
    // Work is waiting.
    bool Pending() const;

private:
    void AskLocked();

    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
    HWND m_window = nullptr;
    UINT m_message = 0;
    bool m_asked = false;
    bool m_closed = false;
};

}  // namespace fw
