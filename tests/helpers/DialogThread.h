#pragma once
// Runs a dialog modally on a thread of its own, so that a test can drive it from the test's thread.
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace testing_support {

class DialogThread {
public:
    // run is called on the new thread and returns the modal result.
    explicit DialogThread(std::function<INT_PTR()> run)
        : m_thread([this, run = std::move(run)] {
              m_threadId = ::GetCurrentThreadId();
              try {
                  m_result = run();
              } catch (...) {
                  m_exception = std::current_exception();
              }
              m_done = true;
          }) {}
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;
    ~DialogThread() {
        if (m_thread.joinable()) {
            // A dialog still open when a test fails: ask it to leave, then wait.
            if (HWND hwnd = FindWindowOfThread(0)) {
                ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            }
            m_thread.join();
        }
    }

    // The thread's first visible top-level window, waited for up to the time; null when none came.
    HWND WaitForWindow(DWORD milliseconds = 10000) {
        const DWORD start = ::GetTickCount();
        for (;;) {
            if (HWND hwnd = FindWindowOfThread(0)) {
                return hwnd;
            }
            if (m_done || ::GetTickCount() - start >= milliseconds) {
                return nullptr;
            }
            ::Sleep(10);
        }
    }

    // Waits for the dialog to end; its result. An exception that left the dialog is thrown here.
    INT_PTR Join() {
        m_thread.join();
        if (m_exception) {
            std::rethrow_exception(m_exception);
        }
        return m_result;
    }
    bool Done() const { return m_done; }
    DWORD ThreadId() const { return m_threadId; }

private:
    HWND FindWindowOfThread(DWORD) const {
        struct Search {
            HWND found = nullptr;
        } search;
        if (m_threadId == 0) {
            return nullptr;
        }
        ::EnumThreadWindows(
            m_threadId,
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                if (::IsWindowVisible(hwnd)) {
                    reinterpret_cast<Search*>(lParam)->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_done{false};
    INT_PTR m_result = -1;
    std::exception_ptr m_exception;
    std::thread m_thread;
};

}  // namespace testing_support
