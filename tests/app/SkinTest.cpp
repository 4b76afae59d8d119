// SkinHu.dll gives the dialogs of the thread that attached it the skin's background, and nothing else.
#include "helpers/HelperProcess.h"
#include "skin/SkinHu.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <thread>

namespace {

// A dialog template in memory: no menu, the standard class, a title, no controls.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE dialog{WS_POPUP | WS_CAPTION, 0, 0, 10, 10, 100, 50};
    WORD menu = 0;
    WORD windowClass = 0;
    wchar_t title[8] = L"skin";
};

HWND MakeDialog() {
    static EmptyDialogTemplate dialogTemplate;
    return ::CreateDialogIndirectParamW(
        ::GetModuleHandleW(nullptr), &dialogTemplate.dialog, nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
}

COLORREF BackgroundOf(HWND dialog, UINT message) {
    HDC dc = ::GetDC(dialog);
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog)));
    ::ReleaseDC(dialog, dc);
    LOGBRUSH info{};
    if (!brush || ::GetObjectW(brush, sizeof info, &info) != sizeof info) {
        return CLR_INVALID;
    }
    return info.lbColor;
}

TEST(Skin, DialogsOfTheAttachedThreadGetTheSkinBackground) {
    // Before the skin: the system's colour.
    HWND before = MakeDialog();
    ASSERT_TRUE(before);
    EXPECT_NE(BackgroundOf(before, WM_CTLCOLORDLG), SKINHU_BACKGROUND);

    HMODULE dll = ::LoadLibraryW((testing_support::ExecutableFolder() + L"SkinHu.dll").c_str());
    ASSERT_TRUE(dll);
    auto attach = reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(dll, "SkinH_Attach")));
    ASSERT_TRUE(attach);
    EXPECT_EQ(attach(), 0);
    EXPECT_EQ(attach(), 0);  // a second call changes nothing

    HWND after = MakeDialog();
    ASSERT_TRUE(after);
    EXPECT_EQ(BackgroundOf(after, WM_CTLCOLORDLG), SKINHU_BACKGROUND);
    EXPECT_EQ(BackgroundOf(after, WM_CTLCOLORSTATIC), SKINHU_BACKGROUND);
    // A dialog that existed before keeps its look.
    EXPECT_NE(BackgroundOf(before, WM_CTLCOLORDLG), SKINHU_BACKGROUND);

    // Another thread's dialogs are not skinned.
    COLORREF otherThread = 0;
    std::thread([&] {
        HWND other = MakeDialog();
        otherThread = BackgroundOf(other, WM_CTLCOLORDLG);
        ::DestroyWindow(other);
    }).join();
    EXPECT_NE(otherThread, SKINHU_BACKGROUND);

    ::DestroyWindow(after);
    ::DestroyWindow(before);
}

}  // namespace
