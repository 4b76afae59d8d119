// The application object's start and its route for commands that no window handles; the status bar.
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/FrameworkTest.h"
#include "framework/WinApp.h"

#include <gtest/gtest.h>

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

}  // namespace
