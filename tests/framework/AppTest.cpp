// The application object's start and its route for commands that no window handles; the status bar; the
// shell's type icons.
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/FrameworkTest.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

class HelpDialog : public fw::CDialog {
public:
    HelpDialog() : fw::CDialog(IDD_TEST_DIALOG) {}
    void WinHelp(DWORD_PTR, UINT command) override { m_helpCommands.push_back(command); }
    std::vector<UINT> m_helpCommands;
};

class StartOnlyApp : public fw::CWinApp {
public:
    bool InitInstance() override {
        ++m_inits;
        return false;
    }
    int ExitInstance() override { return 42; }
    int m_inits = 0;
};

// Fails in its start-up with the exception it is given.
template <typename Exception>
class ThrowingApp : public fw::CWinApp {
public:
    explicit ThrowingApp(Exception exception) : m_exception(std::move(exception)) {}
    bool InitInstance() override { throw m_exception; }
    Exception m_exception;
};

TEST(WinAppTest, AnExceptionEndsTheProgramWithAMessageAndItsExitCode) {
    std::vector<std::wstring> texts;
    fw::SetMessageBoxHook([&](const fw::MessageBoxRequest& request) {
        texts.push_back(request.text);
        return IDOK;
    });
    {
        ThrowingApp app{std::bad_alloc()};
        EXPECT_EQ(fw::AfxWinMain(), fw::kFatalErrorExitCode);
    }
    {
        ThrowingApp app{std::runtime_error("broken profile")};
        EXPECT_EQ(fw::AfxWinMain(), fw::kFatalErrorExitCode);
    }
    {
        ThrowingApp app{42};
        EXPECT_EQ(fw::AfxWinMain(), fw::kFatalErrorExitCode);
    }
    fw::SetMessageBoxHook({});
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find(L"out of memory"), std::wstring::npos);
    EXPECT_NE(texts[1].find(L"broken profile"), std::wstring::npos);
    EXPECT_FALSE(texts[2].empty());
}

TEST(WinAppTest, FalseFromInitInstanceSkipsTheLoopAndGivesTheExitCode) {
    StartOnlyApp app;
    EXPECT_EQ(&app, fw::CWinApp::Current());
    EXPECT_EQ(42, fw::AfxWinMain());
    EXPECT_EQ(1, app.m_inits);
}

TEST(WinAppTest, TheHelpCommandGoesThroughTheApplicationToTheMainWindow) {
    fw::CWinApp app;
    HelpDialog dialog;
    ASSERT_TRUE(dialog.Create());
    app.m_pMainWnd = &dialog;
    ::SendMessageW(dialog, WM_COMMAND, fw::kIdHelp, 0);
    ASSERT_EQ(1u, dialog.m_helpCommands.size());
    EXPECT_EQ(static_cast<UINT>(HELP_CONTEXT), dialog.m_helpCommands[0]);
    ::SendMessageW(dialog, WM_COMMAND, 31999, 0);  // a command nobody handles goes nowhere
    EXPECT_EQ(1u, dialog.m_helpCommands.size());
    app.m_pMainWnd = nullptr;
}

TEST(StatusBarTest, PanesTakeTheirTextsFromStringResources) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    HelpDialog dialog;
    ASSERT_TRUE(dialog.Create());
    fw::CStatusBar bar;
    ASSERT_TRUE(bar.Create(dialog));
    EXPECT_EQ(static_cast<int>(fw::kIdStatusBar), bar.GetDlgCtrlID());
    const UINT panes[] = {IDS_TEST_FIRST, IDS_TEST_SECOND};
    ASSERT_TRUE(bar.SetIndicators(panes, 2));
    EXPECT_EQ(L"First pane", bar.GetPaneText(0));
    EXPECT_EQ(L"     Second pane", bar.GetPaneText(1));
    bar.SetPaneInfo(0, IDS_TEST_SECOND, SBT_NOBORDERS, 300);
    EXPECT_EQ(L"     Second pane", bar.GetPaneText(0));
    int edges[2]{};
    ::SendMessageW(bar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(300, edges[0]);
}

// The width in pixels of the icon's image.
int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) {
        return 0;
    }
    const fw::UniqueBitmap mask(info.hbmMask);
    const fw::UniqueBitmap color(info.hbmColor);
    BITMAP bitmap{};
    return ::GetObjectW(mask.Get(), sizeof bitmap, &bitmap) ? bitmap.bmWidth : 0;
}

TEST(FileTypeIconTest, SmallAndLargeIconsOfAFileThatDoesNotExist) {
    // The type is told by the name alone: a missing file still has its type's icon.
    const fw::UniqueIcon smallIcon = fw::GetFileTypeIcon(L"C:\\nowhere\\tool.exe", fw::IconSize::Small);
    const fw::UniqueIcon largeIcon = fw::GetFileTypeIcon(L"C:\\nowhere\\tool.exe", fw::IconSize::Large);
    ASSERT_TRUE(smallIcon);
    ASSERT_TRUE(largeIcon);
    EXPECT_EQ(::GetSystemMetrics(SM_CXSMICON), IconWidth(smallIcon.Get()));
    EXPECT_EQ(::GetSystemMetrics(SM_CXICON), IconWidth(largeIcon.Get()));
}

}  // namespace
