// SkinHu.dll gives the dialogs of the thread that attached it the skin's background, and nothing else: the
// dialog itself, its texts and check boxes all show the same colour, also on the themed Options page.
#include "control/ConfigDialog.h"
#include "core/Profile.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"
#include "helpers/HelperProcess.h"
#include "skin/SkinHu.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A dialog template in memory: no menu, the standard class, a title, no controls.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE dialog{WS_POPUP | WS_CAPTION, 0, 0, 10, 10, 100, 50};
    WORD menu = 0;
    WORD windowClass = 0;
    wchar_t title[8] = L"skin";
};

fw::UniqueHwnd MakeDialog() {
    static EmptyDialogTemplate dialogTemplate;
    return fw::UniqueHwnd(::CreateDialogIndirectParamW(
        ::GetModuleHandleW(nullptr), &dialogTemplate.dialog, nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0));
}

// Attaches the skin to the calling thread; the library stays loaded for the test run, since skinned windows
// call into it until they go.
int AttachSkinHere() {
    static fw::UniqueLibrary dll(::LoadLibraryW((testing_support::ExecutableFolder() + L"SkinHu.dll").c_str()));
    if (!dll) {
        return -1;
    }
    auto attach =
        reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(dll.Get(), "SkinH_Attach")));
    return attach ? attach() : -1;
}

// What a dialog answers to a colour message for one of its controls: the brush's colour and what the answer
// left in the device context.
struct ColourAnswer {
    HBRUSH brush = nullptr;
    COLORREF brushColour = CLR_INVALID;
    int bkMode = 0;
    COLORREF bkColour = CLR_INVALID;
};

ColourAnswer AskColour(HWND dialog, UINT message, HWND control) {
    fw::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    ::SetBkMode(dc.Get(), OPAQUE);
    ::SetBkColor(dc.Get(), RGB(1, 2, 3));
    ColourAnswer answer;
    answer.brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, message, reinterpret_cast<WPARAM>(dc.Get()), reinterpret_cast<LPARAM>(control)));
    LOGBRUSH info{};
    if (answer.brush && ::GetObjectW(answer.brush, sizeof info, &info) == sizeof info) {
        answer.brushColour = info.lbColor;
    }
    answer.bkMode = ::GetBkMode(dc.Get());
    answer.bkColour = ::GetBkColor(dc.Get());
    return answer;
}

COLORREF BackgroundOf(HWND dialog) {
    return AskColour(dialog, WM_CTLCOLORDLG, dialog).brushColour;
}

TEST(Skin, DialogsOfTheAttachedThreadGetTheSkinBackground) {
    // Before the skin: the system's colour.
    const fw::UniqueHwnd before = MakeDialog();
    ASSERT_TRUE(before);
    EXPECT_NE(BackgroundOf(before.Get()), SKINHU_BACKGROUND);

    EXPECT_EQ(AttachSkinHere(), 0);
    EXPECT_EQ(AttachSkinHere(), 0);  // a second call changes nothing

    const fw::UniqueHwnd after = MakeDialog();
    ASSERT_TRUE(after);
    EXPECT_EQ(BackgroundOf(after.Get()), SKINHU_BACKGROUND);
    // A dialog that existed before keeps its look.
    EXPECT_NE(BackgroundOf(before.Get()), SKINHU_BACKGROUND);

    // Another thread's dialogs are not skinned.
    COLORREF otherThread = 0;
    std::thread([&] {
        const fw::UniqueHwnd other = MakeDialog();
        otherThread = BackgroundOf(other.Get());
    }).join();
    EXPECT_NE(otherThread, SKINHU_BACKGROUND);
}

TEST(Skin, TextsAndButtonsDrawTransparentlyOnTheSkinBrushAndReadOnlyFieldsStayOpaque) {
    ASSERT_EQ(AttachSkinHere(), 0);
    const fw::UniqueHwnd made = MakeDialog();
    HWND dialog = made.Get();
    ASSERT_TRUE(dialog);
    HWND label = ::CreateWindowExW(0, L"Static", L"label", WS_CHILD, 0, 0, 50, 10, dialog, nullptr, nullptr, nullptr);
    HWND check = ::CreateWindowExW(0, L"Button", L"check", WS_CHILD | BS_AUTOCHECKBOX, 0, 12, 50, 10, dialog, nullptr,
                                   nullptr, nullptr);
    HWND field = ::CreateWindowExW(0, L"Edit", L"read only", WS_CHILD | ES_READONLY, 0, 24, 50, 10, dialog, nullptr,
                                   nullptr, nullptr);
    ASSERT_TRUE(label && check && field);

    const ColourAnswer forLabel = AskColour(dialog, WM_CTLCOLORSTATIC, label);
    EXPECT_EQ(SKINHU_BACKGROUND, forLabel.brushColour);
    EXPECT_EQ(TRANSPARENT, forLabel.bkMode);
    // Check boxes and group boxes ask either question, depending on the platform's version.
    for (const UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
        const ColourAnswer forCheck = AskColour(dialog, message, check);
        EXPECT_EQ(SKINHU_BACKGROUND, forCheck.brushColour) << message;
        EXPECT_EQ(TRANSPARENT, forCheck.bkMode) << message;
    }
    const ColourAnswer forField = AskColour(dialog, WM_CTLCOLORSTATIC, field);
    EXPECT_EQ(SKINHU_BACKGROUND, forField.brushColour);
    EXPECT_EQ(OPAQUE, forField.bkMode);
    EXPECT_EQ(SKINHU_BACKGROUND, forField.bkColour);

    // One brush for every answer: none is made per message.
    EXPECT_EQ(forLabel.brush, AskColour(dialog, WM_CTLCOLORSTATIC, label).brush);
    EXPECT_EQ(forLabel.brush, AskColour(dialog, WM_CTLCOLORDLG, dialog).brush);
}

// The child of the page with this text.
HWND ChildWithText(HWND parent, const std::wstring& text) {
    struct Search {
        const std::wstring& text;
        HWND found = nullptr;
    } search{text};
    ::EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            wchar_t buffer[128]{};
            ::GetWindowTextW(hwnd, buffer, 128);
            if (s->text == buffer) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The colour on screen at a point of a window's client area.
COLORREF PixelAt(HWND hwnd, int x, int y) {
    const fw::ClientDC dc(hwnd);
    return ::GetPixel(dc.Get(), x, y);
}

// The client rectangle of a control in its parent's client coordinates.
RECT RectInParent(HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST(Skin, TheOptionsPageShowsOneBackgroundBehindItsLabelsAndItsCheckBox) {
    ASSERT_TRUE(core::EnsureProfileFile());
    const fw::MessageBoxHook previous = fw::SetMessageBoxHook([](const fw::MessageBoxRequest&) { return IDOK; });
    ASSERT_EQ(AttachSkinHere(), 0);

    // The sheet runs modally on this, the skinned thread; another thread looks at it once it is drawn.
    const DWORD uiThread = ::GetCurrentThreadId();
    std::vector<std::pair<std::string, COLORREF>> seen;
    std::atomic<bool> looked{false};
    std::thread observer([&] {
        HWND sheet = nullptr;
        const bool found = testing_support::WaitUntil(
            [&] {
                sheet = ::FindWindowW(L"#32770", L"Config");
                return sheet && ::GetWindowThreadProcessId(sheet, nullptr) == uiThread && ::IsWindowVisible(sheet);
            },
            20000);
        if (found) {
            HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            // Paints the page and its controls now, on the sheet's thread, before any pixel is read.
            ::RedrawWindow(page, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            HWND label = ChildWithText(page, L"Timeout Value(second):");
            HWND check = ChildWithText(page, L"Force Quit After Timeout");
            HWND group = ChildWithText(page, L"Stop Program Timout Option");
            if (label && check && group) {
                const RECT labelRect = RectInParent(label);
                const RECT checkRect = RectInParent(check);
                const RECT groupRect = RectInParent(group);
                const int labelMiddle = (labelRect.top + labelRect.bottom) / 2;
                // The top row of a label is above its letters; the right end of the check box is past its text.
                seen = {
                    {"page left of the label", PixelAt(page, labelRect.left - 2, labelMiddle)},
                    {"label, top left", PixelAt(label, 0, 0)},
                    {"label, top middle", PixelAt(label, (labelRect.right - labelRect.left) / 2, 0)},
                    {"check box, right end",
                     PixelAt(check, checkRect.right - checkRect.left - 1, (checkRect.bottom - checkRect.top) / 2)},
                    {"page above the check box", PixelAt(page, checkRect.left + 20, checkRect.top - 3)},
                    {"page inside the group", PixelAt(page, groupRect.right - 8, groupRect.bottom - 8)},
                    {"page outside the group", PixelAt(page, groupRect.left / 2, groupRect.top / 2)},
                };
            }
        }
        looked = true;
        if (sheet) {
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        }
    });
    control::CConfigDialog dialog;
    dialog.DoModal();
    observer.join();
    fw::SetMessageBoxHook(previous);

    ASSERT_TRUE(looked);
    ASSERT_FALSE(seen.empty()) << "the Options page or its controls were not found";
    for (const auto& [where, colour] : seen) {
        EXPECT_EQ(SKINHU_BACKGROUND, colour) << where << ": " << std::hex << colour;
    }
}

}  // namespace
