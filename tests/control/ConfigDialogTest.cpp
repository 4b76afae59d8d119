// The Options sheet run modally on its own thread, read and driven from the test's thread, with the values
// read back from the settings file.
#include "control/ConfigDialog.h"
#include "control/ControlTestSupport.h"
#include "control/RunKeyTestSupport.h"
#include "framework/WinApp.h"
#include "helpers/DialogThread.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>

namespace {

using testing_support::DialogThread;
using testing_support::WaitUntil;

constexpr int kApplyButton = 0x3021;

std::wstring StoredTimeOut() {
    return core::GetSetting(L"Stop", L"TimeOut");
}
std::wstring StoredForceQuit() {
    return core::GetSetting(L"Stop", L"ForceQuit");
}

std::string FileBytes(const std::wstring& path) {
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return "(none)";
    }
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// One run of the sheet on its own thread, with message boxes recorded.
class SheetRun {
public:
    SheetRun() {
        m_previousHook = fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
            const std::lock_guard lock(m_mutex);
            m_messages.push_back(request.text);
            return IDOK;
        });
        m_thread = std::make_unique<DialogThread>([this] { return m_sheet.DoModal(); });
        m_hwnd = m_thread->WaitForWindow(20000);
        if (m_hwnd) {
            m_page = reinterpret_cast<HWND>(::SendMessageW(m_hwnd, PSM_GETCURRENTPAGEHWND, 0, 0));
        }
    }
    ~SheetRun() {
        m_thread.reset();
        fw::SetMessageBoxHook(std::move(m_previousHook));
    }

    bool Opened() const { return m_hwnd && m_page; }
    std::wstring TimeOutText() const {
        wchar_t text[256]{};
        ::GetDlgItemTextW(m_page, IDC_TIMEOUT_EDIT, text, 256);
        return text;
    }
    void TypeTimeOut(const std::wstring& text) const { ::SetDlgItemTextW(m_page, IDC_TIMEOUT_EDIT, text.c_str()); }
    std::wstring PostponeText() const {
        wchar_t text[256]{};
        ::GetDlgItemTextW(m_page, IDC_POSTPONE_EDIT, text, 256);
        return text;
    }
    void TypePostpone(const std::wstring& text) const { ::SetDlgItemTextW(m_page, IDC_POSTPONE_EDIT, text.c_str()); }
    bool Ticked() const {
        return ::SendMessageW(::GetDlgItem(m_page, IDC_FORCE_QUIT), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void ClickForceQuit() const { ::SendMessageW(::GetDlgItem(m_page, IDC_FORCE_QUIT), BM_CLICK, 0, 0); }
    bool StartsAtLogon() const {
        return ::SendMessageW(::GetDlgItem(m_page, IDC_START_AT_LOGON), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void ClickStartAtLogon() const { ::SendMessageW(::GetDlgItem(m_page, IDC_START_AT_LOGON), BM_CLICK, 0, 0); }
    bool NotifiesFailures() const {
        return ::SendMessageW(::GetDlgItem(m_page, IDC_NOTIFY_FAILURES), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void ClickNotifyFailures() const { ::SendMessageW(::GetDlgItem(m_page, IDC_NOTIFY_FAILURES), BM_CLICK, 0, 0); }
    bool ApplyEnabled() const { return ::IsWindowEnabled(::GetDlgItem(m_hwnd, kApplyButton)) != FALSE; }
    void Press(int button) {
        ::PostMessageW(m_hwnd, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
        if (button != PSBTN_APPLYNOW) {
            m_result = m_thread->Join();
        }
    }
    // Presses a button that the page is to refuse: returns once its message has been shown.
    bool PressRefused(int button) {
        const size_t before = Messages().size();
        ::PostMessageW(m_hwnd, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
        return WaitUntil([&] { return Messages().size() > before; }, 10000);
    }
    std::vector<std::wstring> Messages() {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }

    control::CConfigDialog m_sheet;
    HWND m_hwnd = nullptr;
    HWND m_page = nullptr;
    INT_PTR m_result = 0;

private:
    std::unique_ptr<DialogThread> m_thread;
    std::mutex m_mutex;
    std::vector<std::wstring> m_messages;
    fw::MessageBoxHook m_previousHook;
};

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(core::EnsureProfileFile());
    }
};

TEST_F(ConfigDialogTest, FirstOpeningShowsTheDefaultsAndOkWritesThem) {
    control_test::WriteStopOptions(nullptr, nullptr);
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    wchar_t caption[64]{};
    ::GetWindowTextW(run.m_hwnd, caption, 64);
    EXPECT_STREQ(L"Config", caption);
    HWND help = ::GetDlgItem(run.m_hwnd, IDHELP);
    ASSERT_NE(nullptr, help);
    EXPECT_FALSE(::IsWindowVisible(help));
    EXPECT_FALSE(::IsWindowEnabled(help));
    EXPECT_EQ(L"10", run.TimeOutText());
    EXPECT_TRUE(run.Ticked());
    // Filling the page at its opening is no change of the user's.
    EXPECT_FALSE(run.ApplyEnabled());
    run.Press(PSBTN_OK);
    EXPECT_EQ(IDOK, run.m_result);
    EXPECT_EQ(L"10", StoredTimeOut());
    EXPECT_EQ(L"TRUE", StoredForceQuit());
    EXPECT_TRUE(run.Messages().empty());
}

TEST_F(ConfigDialogTest, TheFlagIsTickedForTrueInAnyCaseAndClearedForAnyOtherText) {
    const std::pair<const wchar_t*, bool> cases[] = {{L"true", true},   {L"True", true},   {L"", true},
                                                     {L"false", false}, {L"FALSE", false}, {L"yes", false}};
    for (const auto& [text, ticked] : cases) {
        control_test::WriteStopOptions(L"3", text);
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_EQ(ticked, run.Ticked()) << text;
        EXPECT_EQ(L"3", run.TimeOutText());
        run.Press(PSBTN_OK);
        // Every OK writes both values, changed or not.
        EXPECT_EQ(ticked ? L"TRUE" : L"FALSE", StoredForceQuit()) << text;
        EXPECT_EQ(L"3", StoredTimeOut());
    }
}

// The failure notices are on until the user clears the box; the choice is kept in [Options] as TRUE or FALSE.
TEST_F(ConfigDialogTest, TheFailureNoticeBoxIsOnByDefaultAndStoresItsChoice) {
    control_test::WriteStopOptions(nullptr, nullptr);
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_TRUE(run.NotifiesFailures());
        EXPECT_TRUE(control::NotifyFailuresOn());
        run.ClickNotifyFailures();
        EXPECT_TRUE(run.ApplyEnabled());
        run.Press(PSBTN_OK);
    }
    EXPECT_EQ(core::GetSetting(L"Options", L"NotifyFailures"), L"FALSE");
    EXPECT_FALSE(control::NotifyFailuresOn());
    // The other options are kept beside it.
    EXPECT_EQ(L"10", StoredTimeOut());
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_FALSE(run.NotifiesFailures());
        run.ClickNotifyFailures();
        run.Press(PSBTN_OK);
    }
    EXPECT_EQ(core::GetSetting(L"Options", L"NotifyFailures"), L"TRUE");
    EXPECT_TRUE(control::NotifyFailuresOn());
}

TEST_F(ConfigDialogTest, TheTimeOutIsStoredAsTypedAndAnEmptyOneShowsTheDefaultNextTime) {
    control_test::WriteStopOptions(L"10", L"TRUE");
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        run.TypeTimeOut(L"2x");
        run.Press(PSBTN_OK);
        EXPECT_EQ(L"2x", StoredTimeOut());
    }
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_EQ(L"2x", run.TimeOutText());
        run.TypeTimeOut(L"");
        run.Press(PSBTN_OK);
        EXPECT_EQ(L"", StoredTimeOut());
        EXPECT_EQ(L"TRUE", StoredForceQuit());
    }
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    EXPECT_EQ(L"10", run.TimeOutText());
    run.Press(PSBTN_CANCEL);
}

TEST_F(ConfigDialogTest, CancelAfterEditingWritesNothing) {
    control_test::WriteStopOptions(L"25", L"FALSE");
    const std::string before = FileBytes(core::GetProfilePath());
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    run.TypeTimeOut(L"99");
    run.ClickForceQuit();
    EXPECT_TRUE(run.Ticked());
    run.Press(PSBTN_CANCEL);
    EXPECT_EQ(IDCANCEL, run.m_result);
    EXPECT_EQ(before, FileBytes(core::GetProfilePath()));
}

TEST_F(ConfigDialogTest, EditingOrTogglingEnablesApplyWhichWritesAndStaysOpen) {
    control_test::WriteStopOptions(L"5", L"TRUE");
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_FALSE(run.ApplyEnabled());
        run.TypeTimeOut(L"7");
        EXPECT_TRUE(run.ApplyEnabled());
        run.Press(PSBTN_APPLYNOW);
        // Applied once the button goes grey; the file is read then, not while it is being written.
        EXPECT_TRUE(WaitUntil([&] { return !run.ApplyEnabled(); }, 5000));
        EXPECT_EQ(L"7", StoredTimeOut());
        EXPECT_TRUE(::IsWindowVisible(run.m_hwnd));
        run.Press(PSBTN_CANCEL);
        EXPECT_EQ(L"7", StoredTimeOut());
    }
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    EXPECT_FALSE(run.ApplyEnabled());
    run.ClickForceQuit();
    EXPECT_FALSE(run.Ticked());
    EXPECT_TRUE(run.ApplyEnabled());
    run.Press(PSBTN_APPLYNOW);
    EXPECT_TRUE(WaitUntil([&] { return !run.ApplyEnabled(); }, 5000));
    EXPECT_EQ(L"FALSE", StoredForceQuit());
    EXPECT_EQ(L"7", StoredTimeOut());
    run.Press(PSBTN_CANCEL);
}

std::optional<std::wstring> StoredRunCommand() {
    const auto value = control_test::ReadRunValue();
    return value ? std::optional<std::wstring>(value->text) : std::nullopt;
}

TEST_F(ConfigDialogTest, TheLogonBoxShowsTheRunKeyAndOkWritesOrRemovesTheValue) {
    control_test::RunValueReset reset;
    control_test::WriteStopOptions(L"10", L"TRUE");
    const std::wstring command = L"\"" + fw::GetProgramPath() + L"\"";
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_FALSE(run.StartsAtLogon());
        run.ClickStartAtLogon();
        EXPECT_TRUE(run.ApplyEnabled());
        run.Press(PSBTN_OK);
        EXPECT_EQ(command, StoredRunCommand());
    }
    {
        // Cancel after clearing the box leaves the value.
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_TRUE(run.StartsAtLogon());
        run.ClickStartAtLogon();
        run.Press(PSBTN_CANCEL);
        EXPECT_EQ(command, StoredRunCommand());
    }
    {
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_TRUE(run.StartsAtLogon());
        run.ClickStartAtLogon();
        run.Press(PSBTN_APPLYNOW);
        EXPECT_TRUE(WaitUntil([] { return !StoredRunCommand(); }, 5000));
        run.Press(PSBTN_OK);
        EXPECT_FALSE(StoredRunCommand());
        // The stop options are written as before.
        EXPECT_EQ(L"10", StoredTimeOut());
        EXPECT_TRUE(run.Messages().empty());
    }
}

TEST_F(ConfigDialogTest, ARunValueOfAnotherProgramShowsAClearedBoxAndOkLeavesIt) {
    control_test::RunValueReset reset;
    const std::wstring other = L"\"" + testing_support::HelperPath() + L"\" -tray";
    control_test::WriteRunValue(other);
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    EXPECT_FALSE(run.StartsAtLogon());
    run.TypeTimeOut(L"4");
    run.Press(PSBTN_OK);
    EXPECT_EQ(L"4", StoredTimeOut());
    EXPECT_EQ(other, StoredRunCommand());
}

TEST_F(ConfigDialogTest, ARunKeyThatRefusesWritesIsToldAndTheSheetStillCloses) {
    control_test::RunValueReset reset;
    control_test::WriteStopOptions(L"10", L"TRUE");
    control_test::RunKeyWritesDenied denied;
    ASSERT_TRUE(denied.Denied());
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    run.ClickStartAtLogon();
    run.TypeTimeOut(L"6");
    run.Press(PSBTN_OK);
    EXPECT_EQ(IDOK, run.m_result);
    EXPECT_FALSE(StoredRunCommand());
    EXPECT_EQ(L"6", StoredTimeOut());
    EXPECT_EQ(std::vector<std::wstring>{L"Can not make Marlowick start when you log on (error 5)."}, run.Messages());
}

// The minutes a warned stop is postponed by: the page shows those in use, the default for a value that is missing
// or that the program cannot take, and stores what OK accepts.
TEST_F(ConfigDialogTest, PostponeMinutesShowTheValueInUseAndOkStoresTheTypedOne) {
    const std::pair<const wchar_t*, int> cases[] = {{nullptr, 10}, {L"45", 45},  {L" 240 ", 240}, {L"1", 1},
                                                    {L"0", 10},    {L"241", 10}, {L"1e2", 10},    {L"-5", 10}};
    for (const auto& [stored, inUse] : cases) {
        control_test::WriteStopOptions(nullptr, nullptr);
        if (stored) {
            ASSERT_TRUE(core::SetSetting(L"Options", L"PostponeMinutes", stored));
        }
        EXPECT_EQ(inUse, control::PostponeMinutes()) << (stored ? stored : L"(absent)");
        SheetRun run;
        ASSERT_TRUE(run.Opened());
        EXPECT_EQ(std::to_wstring(inUse), run.PostponeText());
        EXPECT_FALSE(run.ApplyEnabled());
        run.Press(PSBTN_CANCEL);
    }
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    run.TypePostpone(L"30");
    EXPECT_TRUE(run.ApplyEnabled());
    run.Press(PSBTN_OK);
    EXPECT_EQ(IDOK, run.m_result);
    EXPECT_EQ(L"30", core::GetSetting(L"Options", L"PostponeMinutes"));
    EXPECT_EQ(30, control::PostponeMinutes());
}

// Minutes out of range keep the sheet open with a message, write none of the page's values, and can be corrected.
TEST_F(ConfigDialogTest, PostponeMinutesOutOfRangeAreRefusedOnOkAndApply) {
    control_test::WriteStopOptions(L"5", L"TRUE");
    const std::string before = FileBytes(core::GetProfilePath());
    SheetRun run;
    ASSERT_TRUE(run.Opened());
    run.TypeTimeOut(L"8");
    int presses = 0;
    for (const wchar_t* typed : {L"0", L"241", L""}) {
        run.TypePostpone(typed);
        ASSERT_TRUE(run.PressRefused(++presses % 2 ? PSBTN_OK : PSBTN_APPLYNOW)) << "accepted: " << typed;
        EXPECT_TRUE(::IsWindowVisible(run.m_hwnd));
        EXPECT_EQ(typed, run.PostponeText());
    }
    EXPECT_EQ(std::vector<std::wstring>(3, control::kPostponeRangeText), run.Messages());
    EXPECT_EQ(before, FileBytes(core::GetProfilePath()));
    run.TypePostpone(L"240");
    run.Press(PSBTN_OK);
    EXPECT_EQ(IDOK, run.m_result);
    EXPECT_EQ(L"240", core::GetSetting(L"Options", L"PostponeMinutes"));
    EXPECT_EQ(L"8", StoredTimeOut());
}

}  // namespace
