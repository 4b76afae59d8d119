// The dialog procedure's rules on real dialogs: results through DWLP_MSGRESULT, exceptions kept on our
// side of the platform, one handler for a button and a menu item, data exchange both ways, pages.
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/PropertySheet.h"
#include "framework/FileDialog.h"
#include "framework/Handle.h"
#include "framework/FrameworkTest.h"
#include "helpers/DialogThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

using testing_support::DialogThread;

// Answers with a date made from calendar fields, as the program's date-time value does.
struct TestTime {
    SYSTEMTIME time{};
    bool valid = true;
    bool IsValid() const { return valid; }
    // Never null: this picker always has a value.
    bool IsNull() const { return false; }
    bool ToSystemTime(SYSTEMTIME& out) const {
        out = time;
        return true;
    }
    static TestTime FromSystemTime(const SYSTEMTIME& in) { return {in, true}; }
    static TestTime Null() { return {{}, false}; }
};

class TestDialog : public fw::CDialog {
public:
    TestDialog() : fw::CDialog(IDD_TEST_DIALOG) {}

    std::atomic<int> m_doIt{0};
    std::atomic<int> m_editChanges{0};
    std::wstring m_text = L"hello";
    std::wstring m_action = L"st";
    int m_check = 1;
    TestTime m_time;
    fw::CComboBox m_combo;
    fw::CButton m_button;

protected:
    static const fw::MessageMap* StaticMessageMap() {
        static constexpr fw::MsgEntry kEntries[] = {
            fw::OnCommand<&TestDialog::OnDoIt>(IDC_TEST_BUTTON),
            fw::OnCommand<&TestDialog::OnThrow>(IDC_TEST_THROW),
            fw::OnControl<&TestDialog::OnEditChange>(IDC_TEST_EDIT, EN_CHANGE),
            fw::OnNotify<&TestDialog::OnListCustomDraw>(IDC_TEST_LIST, NM_CUSTOMDRAW),
            fw::OnMessage<&TestDialog::OnSetText>(WM_SETTEXT),
        };
        static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
        return &map;
    }
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

    void DoDataExchange(fw::CDataExchange& dx) override {
        fw::DDX_Control(dx, IDC_TEST_COMBO, m_combo);
        fw::DDX_Control(dx, IDC_TEST_BUTTON, m_button);
        fw::DDX_Text(dx, IDC_TEST_EDIT, m_text);
        fw::DDX_CBString(dx, IDC_TEST_COMBO, m_action);
        fw::DDX_Check(dx, IDC_TEST_CHECK, m_check);
        fw::DDX_DateTimeCtrl(dx, IDC_TEST_TIME, m_time);
    }
    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();  // the combo is still empty here
        m_combo.AddString(L"Start");
        m_combo.AddString(L"Stop");
        m_combo.SetCurSel(0);
        UpdateData(false);
        return true;
    }

private:
    void OnDoIt() { ++m_doIt; }
    void OnThrow() { throw std::runtime_error("thrown by a handler"); }
    void OnEditChange() { ++m_editChanges; }
    LRESULT OnListCustomDraw(NMCUSTOMDRAW* draw) {
        return draw->dwDrawStage == CDDS_PREPAINT ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
    }
    // Default processing runs inside the handler (the title changes) without coming back here.
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam) {
        ++m_setTexts;
        const LRESULT result = Default();
        static_cast<void>(wParam);
        static_cast<void>(lParam);
        return result;
    }

public:
    std::atomic<int> m_setTexts{0};
};

// Takes OK for itself: its entry comes before the dialog's own; the other entries stay the base's.
class OkRefusingDialog : public TestDialog {
public:
    std::atomic<int> m_okPresses{0};

protected:
    static const fw::MessageMap* StaticMessageMap() {
        static constexpr fw::MsgEntry kEntries[] = {
            fw::OnCommand<&OkRefusingDialog::OnOkPressed>(IDOK),
        };
        static const fw::MessageMap map{TestDialog::StaticMessageMap(), kEntries};
        return &map;
    }
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

private:
    void OnOkPressed() { ++m_okPresses; }
};

TEST(MessageMapTest, DerivedEntriesComeFirstAndBaseEntriesStillServe) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    OkRefusingDialog dialog;
    DialogThread thread([&] { return dialog.DoModal(); });
    HWND hwnd = thread.WaitForWindow();
    ASSERT_NE(nullptr, hwnd);
    ::SendMessageW(::GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(1, dialog.m_okPresses.load());
    EXPECT_TRUE(::IsWindow(hwnd));
    ::SendMessageW(::GetDlgItem(hwnd, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    EXPECT_EQ(1, dialog.m_doIt.load());
    ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);  // the dialog's own Cancel still closes it
    EXPECT_EQ(IDCANCEL, thread.Join());
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        ::InitCommonControlsEx(&icc);
        m_dialog.m_time.time = SYSTEMTIME{2024, 3, 0, 5, 14, 25, 36, 0};
        m_thread = std::make_unique<DialogThread>([this] { return m_dialog.DoModal(); });
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(nullptr, m_hwnd);
    }
    void TearDown() override {
        if (!m_thread->Done()) {
            ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            m_thread->Join();
        }
    }

    TestDialog m_dialog;
    std::unique_ptr<DialogThread> m_thread;
    HWND m_hwnd = nullptr;
};

TEST_F(DialogTest, NotifyResultsReachThePlatformThroughMsgResult) {
    NMCUSTOMDRAW draw{};
    draw.hdr.hwndFrom = ::GetDlgItem(m_hwnd, IDC_TEST_LIST);
    draw.hdr.idFrom = IDC_TEST_LIST;
    draw.hdr.code = NM_CUSTOMDRAW;
    draw.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(CDRF_NOTIFYITEMDRAW, ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_TEST_LIST, reinterpret_cast<LPARAM>(&draw)));
    // The platform's dialog processing answers WM_NOTIFY with DWLP_MSGRESULT (read right after the handler);
    // a result returned from the dialog procedure itself would come back as 0.
    // The list view's own painting asks the same handler; it must not disturb the dialog.
    ::RedrawWindow(::GetDlgItem(m_hwnd, IDC_TEST_LIST), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(DialogTest, AButtonAndAMenuItemWithOneIdReachOneHandler) {
    ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    EXPECT_EQ(1, m_dialog.m_doIt.load());
    ::SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, 0), 0);  // the menu item
    EXPECT_EQ(2, m_dialog.m_doIt.load());
    ::SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, 1), 0);  // an accelerator
    EXPECT_EQ(3, m_dialog.m_doIt.load());
    // The menu of the template carries the same id.
    HMENU menu = ::GetMenu(m_hwnd);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(static_cast<UINT>(IDC_TEST_BUTTON), ::GetMenuItemID(::GetSubMenu(menu, 0), 0));
}

TEST_F(DialogTest, ControlNotificationsMatchTheirCodeOnly) {
    HWND edit = ::GetDlgItem(m_hwnd, IDC_TEST_EDIT);
    const int before = m_dialog.m_editChanges;
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"changed"));
    EXPECT_EQ(before + 1, m_dialog.m_editChanges.load());
    ::SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_EDIT, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(before + 1, m_dialog.m_editChanges.load());
}

TEST_F(DialogTest, DefaultProcessingRunsInsideAHandler) {
    ::SendMessageW(m_hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"New Title"));
    EXPECT_EQ(1, m_dialog.m_setTexts.load());
    wchar_t title[64]{};
    ::GetWindowTextW(m_hwnd, title, 64);
    EXPECT_STREQ(L"New Title", title);
}

TEST_F(DialogTest, AnExceptionInAHandlerStaysOnOurSideAndLeavesDoModal) {
    // The click returns normally through user32; the modal loop ends and DoModal throws it.
    ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEST_THROW), BM_CLICK, 0, 0);
    EXPECT_THROW(m_thread->Join(), std::runtime_error);
    EXPECT_FALSE(::IsWindow(m_hwnd));
    EXPECT_FALSE(fw::HasPendingException());
}

TEST_F(DialogTest, DataExchangeGoesBothWaysInOnePass) {
    wchar_t text[64]{};
    ::GetDlgItemTextW(m_hwnd, IDC_TEST_EDIT, text, 64);
    EXPECT_STREQ(L"hello", text);
    // "st" is a prefix of both entries, ignoring case: the first one, Start, is selected.
    EXPECT_EQ(0, m_dialog.m_combo.GetCurSel());
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(m_hwnd, IDC_TEST_CHECK));
    SYSTEMTIME shown{};
    ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEST_TIME), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
    EXPECT_EQ(14, shown.wHour);
    EXPECT_EQ(25, shown.wMinute);
    EXPECT_EQ(36, shown.wSecond);

    // A prefix that matches nothing leaves the selection as it is.
    m_dialog.m_action = L"x";
    m_dialog.m_combo.SetCurSel(1);
    m_dialog.UpdateData(false);
    EXPECT_EQ(1, m_dialog.m_combo.GetCurSel());
    m_dialog.m_action = L"STOP";
    m_dialog.m_combo.SetCurSel(0);
    m_dialog.UpdateData(false);
    EXPECT_EQ(1, m_dialog.m_combo.GetCurSel());

    ::SetDlgItemTextW(m_hwnd, IDC_TEST_EDIT, L"typed");
    ::CheckDlgButton(m_hwnd, IDC_TEST_CHECK, BST_UNCHECKED);
    ::SendMessageW(::GetDlgItem(m_hwnd, IDC_TEST_BUTTON), BM_CLICK, 0, 0);  // a bound control still works
    ::PostMessageW(m_hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(IDOK, m_thread->Join());
    EXPECT_EQ(L"typed", m_dialog.m_text);
    EXPECT_EQ(L"Stop", m_dialog.m_action);
    EXPECT_EQ(0, m_dialog.m_check);
    EXPECT_EQ(14, m_dialog.m_time.time.wHour);
}

TEST_F(DialogTest, CancelEndsWithCancelAndKeepsTheMembers) {
    ::SetDlgItemTextW(m_hwnd, IDC_TEST_EDIT, L"typed");
    ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(IDCANCEL, m_thread->Join());
    EXPECT_EQ(L"hello", m_dialog.m_text);
}

// A page that answers the sheet's apply request as told.
class TestPage : public fw::CPropertyPage {
public:
    TestPage() : fw::CPropertyPage(IDD_TEST_PAGE) {}
    std::atomic<bool> m_accept{false};
    std::atomic<int> m_applies{0};
    std::wstring m_text = L"page";

protected:
    void DoDataExchange(fw::CDataExchange& dx) override { fw::DDX_Text(dx, IDC_PAGE_EDIT, m_text); }
    bool OnApply() override {
        ++m_applies;
        return m_accept;
    }
};

class TestSheet : public fw::CPropertySheet {
public:
    TestSheet() : fw::CPropertySheet(L"Test Sheet") { AddPage(m_page); }
    TestPage m_page;
    std::atomic<bool> m_initialised{false};

protected:
    bool OnInitDialog() override {
        m_initialised = true;
        return true;
    }
};

TEST(PropertySheetTest, ApplyAnswersReachTheSheetThroughMsgResult) {
    TestSheet sheet;
    DialogThread thread([&] { return sheet.DoModal(); });
    HWND hwnd = thread.WaitForWindow();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(sheet.m_initialised.load());
    HWND page = reinterpret_cast<HWND>(::SendMessageW(hwnd, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(nullptr, page);
    ::SetDlgItemTextW(page, IDC_PAGE_EDIT, L"edited");
    HWND apply = ::GetDlgItem(hwnd, 0x3021);  // the sheet's Apply button
    ASSERT_NE(nullptr, apply);
    EXPECT_FALSE(::IsWindowEnabled(apply));
    sheet.m_page.SetModified(true);
    EXPECT_TRUE(::IsWindowEnabled(apply));

    sheet.m_page.m_accept = false;
    EXPECT_EQ(FALSE, ::SendMessageW(hwnd, PSM_APPLY, 0, 0));  // the page refused
    sheet.m_page.m_accept = true;
    EXPECT_EQ(TRUE, ::SendMessageW(hwnd, PSM_APPLY, 0, 0));
    EXPECT_EQ(2, sheet.m_page.m_applies.load());
    EXPECT_EQ(L"edited", sheet.m_page.m_text);  // leaving the page copied the edit

    ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    thread.Join();
}

// The file dialog on its own thread, with COM started there as the program starts it.
INT_PTR RunFileDialog(fw::CFileDialog& dialog) {
    fw::IgnoreResult(::CoInitialize(nullptr));
    const INT_PTR result = dialog.DoModal();
    ::CoUninitialize();
    return result;
}

TEST(FileDialogTest, ChoosingAFileGivesItsFullPathAndCancelGivesCancel) {
    wchar_t folder[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"mw-file-dialog-test.txt";
    {
        fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
    }
    for (bool vista : {true, false}) {
        fw::CFileDialog chosen(true, L"", path, OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_SHOWHELP, L"All Files|*.*||",
                               nullptr, vista);
        DialogThread thread([&] { return RunFileDialog(chosen); });
        HWND hwnd = thread.WaitForWindow();
        ASSERT_NE(nullptr, hwnd) << "vista " << vista;
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(IDOK, thread.Join()) << "vista " << vista;
        EXPECT_EQ(0, ::lstrcmpiW(path.c_str(), chosen.GetPathName().c_str())) << chosen.GetPathName();
        EXPECT_EQ(vista, chosen.UsedVistaStyle());

        fw::CFileDialog cancelled(true, L"", L"", OFN_EXPLORER, L"All Files|*.*||", nullptr, vista);
        DialogThread second([&] { return RunFileDialog(cancelled); });
        hwnd = second.WaitForWindow();
        ASSERT_NE(nullptr, hwnd);
        ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(IDCANCEL, second.Join());
        EXPECT_EQ(L"", cancelled.GetPathName());
    }
    ::DeleteFileW(path.c_str());
}

TEST(FileDialogTest, FilterPairs) {
    const auto pairs = fw::CFileDialog::ParseFilter(L"All Files|*.*|Programs|*.exe;*.com||");
    ASSERT_EQ(2u, pairs.size());
    EXPECT_EQ(L"All Files", pairs[0].first);
    EXPECT_EQ(L"*.*", pairs[0].second);
    EXPECT_EQ(L"*.exe;*.com", pairs[1].second);
}

}  // namespace
