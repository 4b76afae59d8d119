// The owners of framework/Handle.h and the guards of framework/Gdi.h close what they hold exactly once, with
// the platform's own call for that kind of handle, and hand it over when moved.
#include "framework/Gdi.h"
#include "framework/Handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

namespace {

HWND MakeWindow() {
    return ::CreateWindowExW(0, L"Static", L"owned", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

TEST(Owners, AWindowGoesWithItsLastOwnerAndAReleasedOneStays) {
    HWND raw = nullptr;
    {
        fw::UniqueHwnd first(MakeWindow());
        raw = first.Get();
        ASSERT_TRUE(::IsWindow(raw));
        fw::UniqueHwnd second(std::move(first));
        EXPECT_FALSE(first);
        {
            fw::UniqueHwnd third = std::move(second);
            EXPECT_TRUE(::IsWindow(raw));
        }
        EXPECT_FALSE(::IsWindow(raw));
    }
    fw::UniqueHwnd kept(MakeWindow());
    raw = kept.Release();
    kept.Reset();
    EXPECT_TRUE(::IsWindow(raw));
    ::DestroyWindow(raw);
}

TEST(Owners, RegistryKeysBrushesAndHooksAreClosedByTheirOwnCalls) {
    HKEY raw = nullptr;
    {
        fw::UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Put()));
        raw = key.Get();
        EXPECT_EQ(ERROR_SUCCESS, ::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr));
    }
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr));

    fw::UniqueBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    HBRUSH rawBrush = brush.Get();
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), ::GetObjectType(rawBrush));
    brush.Reset();
    EXPECT_EQ(0u, ::GetObjectType(rawBrush));

    fw::UniqueHook hook(::SetWindowsHookExW(
        WH_CBT, [](int code, WPARAM w, LPARAM l) { return ::CallNextHookEx(nullptr, code, w, l); }, nullptr,
        ::GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    HHOOK rawHook = hook.Get();
    hook.Reset();
    // Already removed by the owner: a second removal fails.
    EXPECT_FALSE(::UnhookWindowsHookEx(rawHook));
}

TEST(Owners, AClientDeviceContextIsReleasedWithItsGuard) {
    fw::UniqueHwnd window(MakeWindow());
    HDC raw = nullptr;
    {
        const fw::ClientDC dc(window.Get());
        ASSERT_TRUE(dc);
        raw = dc.Get();
        EXPECT_EQ(window.Get(), ::WindowFromDC(raw));
    }
    // A released context no longer belongs to the window.
    EXPECT_EQ(0, ::ReleaseDC(window.Get(), raw));
    const fw::ClientDC screen(nullptr);
    EXPECT_GT(::GetDeviceCaps(screen.Get(), LOGPIXELSX), 0);
}

}  // namespace
