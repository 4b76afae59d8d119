// The road from other threads to a window's thread.
#include "framework/Handle.h"
#include "framework/UiTaskQueue.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

namespace {

constexpr UINT kDrain = WM_APP + 3;

LRESULT CALLBACK DrainingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kDrain) {
        reinterpret_cast<fw::UiTaskQueue*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))->Drain();
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

fw::UniqueHwnd MakeWindow(const wchar_t* className, WNDPROC procedure) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    ::RegisterClassW(&wc);
    return fw::UniqueHwnd(
        ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
}

// Work from other threads runs on the window's thread in the order posted; a post that could not reach the window
// leaves its work waiting for the next drain and the next post asks again; once closed, nothing more comes.
TEST(UiTaskQueue, WorkComesInOrderOnTheWindowsThreadAndAFailedPostLosesNothing) {
    fw::UiTaskQueue queue;
    fw::UniqueHwnd window = MakeWindow(L"MarlowickRoadTest", &DrainingProcedure);
    ASSERT_TRUE(window);
    ::SetWindowLongPtrW(window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&queue));
    std::vector<int> done;
    std::vector<DWORD> threads;
    auto note = [&](int n) {
        return [&, n] {
            done.push_back(n);
            threads.push_back(::GetCurrentThreadId());
        };
    };
    // Posted before the window is known: asked for once it is.
    EXPECT_TRUE(queue.Post(note(1)));
    queue.Attach(window.Get(), kDrain);
    std::thread([&] {
        for (int n = 2; n <= 4; ++n) {
            EXPECT_TRUE(queue.Post(note(n)));
        }
    }).join();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return done.size() == 4; }, 5000));
    EXPECT_EQ(done, (std::vector<int>{1, 2, 3, 4}));
    for (const DWORD thread : threads) {
        EXPECT_EQ(thread, ::GetCurrentThreadId());
    }

    // A window that cannot take the post: the work waits, and the window's timer would drain it.
    fw::UiTaskQueue lost;
    lost.Attach(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0)), kDrain);
    int ran = 0;
    EXPECT_TRUE(lost.Post([&] { ++ran; }));
    EXPECT_TRUE(lost.Pending());
    lost.Drain();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(lost.Pending());

    queue.Close();
    EXPECT_FALSE(queue.Post(note(5)));
    EXPECT_FALSE(queue.Pending());
}

}  // namespace
