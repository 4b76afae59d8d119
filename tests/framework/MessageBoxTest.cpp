// The program's message box: its caption, its icons, and texts shown exactly as given.
#include "framework/MessageBox.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Recorded {
    std::vector<fw::MessageBoxRequest> requests;
    fw::MessageBoxHook previous;
    Recorded() {
        previous = fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
            requests.push_back(request);
            return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        });
    }
    ~Recorded() { fw::SetMessageBoxHook(std::move(previous)); }
};

TEST(AppMessageBox, CaptionAndIconRules) {
    Recorded recorded;
    EXPECT_EQ(fw::AfxMessageBox(L"Can't write file "), IDOK);
    EXPECT_EQ(fw::AfxMessageBox(L"Sure?", MB_YESNO), IDNO);
    fw::AfxMessageBox(L"Info", MB_OK | MB_ICONINFORMATION);
    fw::AfxMessageBox(L"100% %s %n", MB_OK);
    ASSERT_EQ(recorded.requests.size(), 4u);
    for (const fw::MessageBoxRequest& request : recorded.requests) {
        EXPECT_EQ(request.caption, L"Marlowick");
    }
    EXPECT_EQ(recorded.requests[0].text, L"Can't write file ");
    EXPECT_EQ(recorded.requests[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(recorded.requests[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
    EXPECT_EQ(recorded.requests[1].type & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(recorded.requests[2].type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(recorded.requests[3].text, L"100% %s %n");
}

// Without a hook, the platform's own box shows the text as given and returns the button pressed.
std::vector<std::wstring> Texts(const Recorded& recorded) {
    std::vector<std::wstring> texts;
    for (const fw::MessageBoxRequest& request : recorded.requests) {
        texts.push_back(request.text);
    }
    return texts;
}

// Boxes raised while several things are done together wait until all of them are done; questions do not.
TEST(AppMessageBox, DeferredBoxesComeAfterwardsInOrder) {
    Recorded recorded;
    {
        fw::DeferredMessageBoxes deferred;
        EXPECT_EQ(fw::AfxMessageBox(L"first"), IDOK);
        EXPECT_EQ(fw::AfxMessageBox(L"Sure?", MB_YESNO), IDNO);
        {
            fw::DeferredMessageBoxes inner;
            fw::AfxMessageBox(L"inner");
        }
        // The inner boxes are the outer one's now: nothing else is shown yet.
        EXPECT_EQ(Texts(recorded), std::vector<std::wstring>{L"Sure?"});
        fw::AfxMessageBox(L"second", MB_OK | MB_ICONINFORMATION);
        deferred.Show();
        EXPECT_EQ(Texts(recorded), (std::vector<std::wstring>{L"Sure?", L"first", L"inner", L"second"}));
        // Shown once; after Show, boxes go out at once again.
        fw::AfxMessageBox(L"after");
    }
    EXPECT_EQ(Texts(recorded), (std::vector<std::wstring>{L"Sure?", L"first", L"inner", L"second", L"after"}));
    ASSERT_EQ(recorded.requests.size(), 5u);
    EXPECT_EQ(recorded.requests[1].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(recorded.requests[3].type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
}

// Each thread keeps its own: a box of another thread is shown at once.
TEST(AppMessageBox, DeferralBelongsToItsThread) {
    Recorded recorded;
    fw::DeferredMessageBoxes deferred;
    std::thread([] { fw::AfxMessageBox(L"other thread"); }).join();
    EXPECT_EQ(Texts(recorded), std::vector<std::wstring>{L"other thread"});
}

TEST(AppMessageBox, RealBoxShowsTheTextAsGiven) {
    std::wstring seen;
    std::thread driver([&] {
        // The box's text is set while it initialises: read it once the box is ready.
        HWND box = testing_support::WaitForReadyWindow(L"Marlowick", 10000, L"#32770");
        if (!box) {
            return;
        }
        // The text is the static control of the box.
        EnumChildWindows(
            box,
            [](HWND child, LPARAM lParam) -> BOOL {
                wchar_t name[32]{};
                ::GetClassNameW(child, name, 32);
                if (lstrcmpiW(name, L"Static") == 0) {
                    wchar_t text[128]{};
                    ::GetWindowTextW(child, text, 128);
                    if (text[0]) {
                        *reinterpret_cast<std::wstring*>(lParam) = text;
                    }
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        ::PostMessageW(box, WM_COMMAND, IDYES, 0);
    });
    const int answer = fw::AfxMessageBox(L"Stop %s now?", MB_YESNO);
    driver.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(seen, L"Stop %s now?");
}

}  // namespace
