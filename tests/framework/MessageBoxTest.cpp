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

// While a redirect lives on a thread, that thread's boxes go to it, with their answer; the innermost takes them, and
// each thread keeps its own.
TEST(AppMessageBox, ARedirectTakesItsThreadsBoxesAndGivesTheAnswer) {
    Recorded recorded;
    std::vector<std::wstring> outer;
    std::vector<std::wstring> inner;
    {
        const fw::MessageBoxRedirect redirect([&](const std::wstring& text, UINT type) {
            outer.push_back(text);
            return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
        });
        EXPECT_EQ(fw::AfxMessageBox(L"first"), IDOK);
        EXPECT_EQ(fw::AfxMessageBox(L"Sure?", MB_YESNO), IDYES);
        {
            const fw::MessageBoxRedirect nested([&](const std::wstring& text, UINT) {
                inner.push_back(text);
                return IDOK;
            });
            fw::AfxMessageBox(L"inner");
        }
        fw::AfxMessageBox(L"second");
        std::thread([] { fw::AfxMessageBox(L"other thread"); }).join();
    }
    fw::AfxMessageBox(L"after");
    EXPECT_EQ(outer, (std::vector<std::wstring>{L"first", L"Sure?", L"second"}));
    EXPECT_EQ(inner, std::vector<std::wstring>{L"inner"});
    EXPECT_EQ(Texts(recorded), (std::vector<std::wstring>{L"other thread", L"after"}));
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
