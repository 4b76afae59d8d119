// The report list on a real list view in a real dialog, driven from the test's thread.
#include "framework/ReportCtrl.h"

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "helpers/DialogThread.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::DialogThread;

constexpr UINT kMarker = WM_APP + 1;

// A dialog that shows one report list and records the sort notifications it receives.
class ReportHostDialog : public fw::CDialog {
public:
    ReportHostDialog() : fw::CDialog(IDD_PROCESS_LIST) {}

    fw::CReportCtrl m_list;
    std::vector<std::pair<WPARAM, LPARAM>> m_sortNotes;
    std::atomic<int> m_markers{0};
    std::vector<std::wstring> m_rows{L"10", L"9", L"2"};
    std::vector<std::wstring> m_second{L"b", L"c", L"a"};

protected:
    static const fw::MessageMap* StaticMessageMap() {
        static constexpr fw::MsgEntry kEntries[] = {
            fw::OnMessage<&ReportHostDialog::OnSortNote>(fw::kSortNotifyMessage),
            fw::OnMessage<&ReportHostDialog::OnMarker>(kMarker),
        };
        static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
        return &map;
    }
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

    void DoDataExchange(fw::CDataExchange& dx) override { fw::DDX_Control(dx, IDC_PROCESS_LIST, m_list); }

    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        m_list.InsertColumn(0, L"Number", LVCFMT_LEFT, 120);
        m_list.InsertColumn(1, L"Word", LVCFMT_LEFT, 120);
        for (size_t i = 0; i < m_rows.size(); ++i) {
            const int row = m_list.InsertItem(static_cast<int>(i), m_rows[i]);
            m_list.SetItemText(row, 1, m_second[i]);
        }
        return true;
    }

private:
    void OnSortNote(WPARAM wParam, LPARAM lParam) { m_sortNotes.emplace_back(wParam, lParam); }
    void OnMarker() { ++m_markers; }
};

class ReportCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
    void Open() {
        m_thread = std::make_unique<DialogThread>([this] { return m_dialog.DoModal(); });
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(nullptr, m_hwnd);
        m_listHwnd = ::GetDlgItem(m_hwnd, IDC_PROCESS_LIST);
    }
    void TearDown() override {
        if (m_thread && !m_thread->Done()) {
            ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            m_thread->Join();
        }
    }
    // A click on a column header, as the list reports it to its parent.
    void ClickHeader(int column) {
        HWND header = reinterpret_cast<HWND>(::SendMessageW(m_listHwnd, LVM_GETHEADER, 0, 0));
        RECT rect{};
        ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&rect));
        const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        ::SendMessageW(header, WM_LBUTTONUP, 0, point);
    }
    std::vector<std::wstring> Column(int column) {
        std::vector<std::wstring> texts;
        for (int row = 0; row < m_dialog.m_list.GetItemCount(); ++row) {
            texts.push_back(m_dialog.m_list.GetItemText(row, column));
        }
        return texts;
    }

    ReportHostDialog m_dialog;
    std::unique_ptr<DialogThread> m_thread;
    HWND m_hwnd = nullptr;
    HWND m_listHwnd = nullptr;
};

using Texts = std::vector<std::wstring>;

TEST_F(ReportCtrlTest, AttachingSetsReportStyleAndExactExtendedStyle) {
    Open();
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(m_listHwnd, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), style & LVS_TYPEMASK);
    // WS_VSCROLL and WS_HSCROLL are set too, but the list view shows its scroll bars, and keeps those bits,
    // only while its rows need them.
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES),
              static_cast<DWORD>(::SendMessageW(m_listHwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)));
}

TEST(ReportCtrlAttach, ClearsSmallIconEditLabelsAndNoScroll) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_SMALLICON | LVS_EDITLABELS | LVS_NOSCROLL, 0, 0,
                                  200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    {
        fw::CReportCtrl report;
        ASSERT_TRUE(report.SubclassWindow(list));
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(list, GWL_STYLE));
        EXPECT_EQ(0u, style & (LVS_EDITLABELS | LVS_NOSCROLL));
        EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), style & LVS_TYPEMASK);
        EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(0x22u, static_cast<DWORD>(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)));
    }
    ::DestroyWindow(list);
}

TEST_F(ReportCtrlTest, HeaderClicksSortUpDownAndInsertResetsTheDirection) {
    Open();
    ClickHeader(0);
    EXPECT_EQ((Texts{L"2", L"9", L"10"}), Column(0));
    EXPECT_EQ((Texts{L"a", L"c", L"b"}), Column(1));  // the other column travels with its row
    EXPECT_EQ(0, m_dialog.m_list.GetSortColumn());
    EXPECT_TRUE(m_dialog.m_list.IsSortAscending());

    ClickHeader(0);
    EXPECT_EQ((Texts{L"10", L"9", L"2"}), Column(0));
    EXPECT_FALSE(m_dialog.m_list.IsSortAscending());

    ClickHeader(1);
    EXPECT_EQ((Texts{L"a", L"b", L"c"}), Column(1));
    EXPECT_EQ(1, m_dialog.m_list.GetSortColumn());
    EXPECT_TRUE(m_dialog.m_list.IsSortAscending());

    ClickHeader(0);
    EXPECT_EQ((Texts{L"2", L"9", L"10"}), Column(0));
    ClickHeader(0);
    EXPECT_EQ((Texts{L"10", L"9", L"2"}), Column(0));

    // A new row ends the sort in force: the next click on the same column sorts ascending again.
    ::SendMessageW(m_hwnd, WM_NULL, 0, 0);
    m_dialog.m_list.InsertItem(3, L"1");
    EXPECT_EQ(-1, m_dialog.m_list.GetSortColumn());
    ClickHeader(0);
    EXPECT_EQ((Texts{L"1", L"2", L"9", L"10"}), Column(0));

    const std::vector<std::pair<WPARAM, LPARAM>> expected{{0, 1}, {0, 0}, {1, 1}, {0, 1}, {0, 0}, {0, 1}};
    EXPECT_EQ(expected, m_dialog.m_sortNotes);
}

TEST_F(ReportCtrlTest, OneRowAndEmptyListsStillRecordAndNotify) {
    m_dialog.m_rows = {L"only"};
    m_dialog.m_second = {L"x"};
    Open();
    ClickHeader(1);
    ClickHeader(1);
    EXPECT_EQ((Texts{L"only"}), Column(0));
    m_dialog.m_list.DeleteAllItems();
    ClickHeader(0);
    EXPECT_EQ(0, m_dialog.m_list.GetSortColumn());
    EXPECT_TRUE(m_dialog.m_list.IsSortAscending());
    const std::vector<std::pair<WPARAM, LPARAM>> expected{{1, 1}, {1, 0}, {0, 1}};
    EXPECT_EQ(expected, m_dialog.m_sortNotes);
}

TEST_F(ReportCtrlTest, ClickOutsideTheColumnsOrWithoutHeaderButtonsChangesNothing) {
    Open();
    NMLISTVIEW click{};
    click.hdr.hwndFrom = m_listHwnd;
    click.hdr.idFrom = IDC_PROCESS_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = 2;  // the list has two columns
    ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_PROCESS_LIST, reinterpret_cast<LPARAM>(&click));
    click.iSubItem = -1;
    ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_PROCESS_LIST, reinterpret_cast<LPARAM>(&click));
    HWND header = reinterpret_cast<HWND>(::SendMessageW(m_listHwnd, LVM_GETHEADER, 0, 0));
    ::SetWindowLongPtrW(header, GWL_STYLE,
                        ::GetWindowLongPtrW(header, GWL_STYLE) & ~static_cast<LONG_PTR>(HDS_BUTTONS));
    click.iSubItem = 0;
    ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_PROCESS_LIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(-1, m_dialog.m_list.GetSortColumn());
    EXPECT_TRUE(m_dialog.m_sortNotes.empty());
    EXPECT_EQ((Texts{L"10", L"9", L"2"}), Column(0));
}

TEST_F(ReportCtrlTest, IconsSelectionFocusAndColoursTravelWithTheirRows) {
    Open();
    fw::CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32, 0, 0));
    for (int i = 0; i < 3; ++i) {
        images.Add(::LoadIconW(nullptr, IDI_APPLICATION));
    }
    m_dialog.m_list.ModifyStyle(0, LVS_SHAREIMAGELISTS);
    m_dialog.m_list.SetImageList(images.GetSafeHandle(), LVSIL_SMALL);
    auto& list = m_dialog.m_list;
    for (int row = 0; row < 3; ++row) {
        list.SetItemImage(row, 0, row);  // "10" has image 0, "9" image 1, "2" image 2
    }
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);                 // "9"
    list.SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);                   // "2"
    ASSERT_TRUE(list.SetCellColors(0, 1, RGB(1, 2, 3), RGB(4, 5, 6)));  // "10", second column
    const auto* record = list.GetItemRecord(0);

    ClickHeader(0);
    ASSERT_EQ((Texts{L"2", L"9", L"10"}), Column(0));
    EXPECT_EQ(2, list.GetItemImage(0, 0));
    EXPECT_EQ(1, list.GetItemImage(1, 0));
    EXPECT_EQ(0, list.GetItemImage(2, 0));
    EXPECT_EQ(static_cast<UINT>(LVIS_FOCUSED), list.GetItemState(0, LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), list.GetItemState(1, LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(0u, list.GetItemState(2, LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(record, list.GetItemRecord(2));
    EXPECT_EQ(RGB(1, 2, 3), list.GetItemRecord(2)->textColors[1]);
    ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
    m_thread->Join();  // the list goes before the image list
}

TEST_F(ReportCtrlTest, CustomDrawAnswersThroughTheDialogAndSetsCellColours) {
    Open();
    auto& list = m_dialog.m_list;
    ASSERT_TRUE(list.SetCellColors(1, 1, RGB(200, 0, 0), RGB(0, 0, 100)));
    const auto* record = list.GetItemRecord(1);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(2u, record->textColors.size());
    EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), record->textColors[0]);
    EXPECT_EQ(::GetSysColor(COLOR_WINDOW), record->backColors[0]);

    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = m_listHwnd;
    draw.nmcd.hdr.idFrom = IDC_PROCESS_LIST;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    auto send = [&](DWORD stage) {
        draw.nmcd.dwDrawStage = stage;
        return ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_PROCESS_LIST, reinterpret_cast<LPARAM>(&draw));
    };
    EXPECT_EQ(CDRF_NOTIFYITEMDRAW, send(CDDS_PREPAINT));
    // The platform's dialog processing answers WM_NOTIFY with DWLP_MSGRESULT (read right after the handler);
    // a result returned from the dialog procedure itself would come back as 0.
    draw.nmcd.dwItemSpec = 1;
    draw.nmcd.lItemlParam = reinterpret_cast<LPARAM>(record);
    EXPECT_EQ(CDRF_NOTIFYSUBITEMDRAW, send(CDDS_ITEMPREPAINT));
    draw.iSubItem = 1;
    EXPECT_EQ(CDRF_DODEFAULT, send(CDDS_ITEMPREPAINT | CDDS_SUBITEM));
    EXPECT_EQ(RGB(200, 0, 0), draw.clrText);
    EXPECT_EQ(RGB(0, 0, 100), draw.clrTextBk);
    draw.iSubItem = 0;
    send(CDDS_ITEMPREPAINT | CDDS_SUBITEM);
    EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), draw.clrText);
    draw.clrText = RGB(9, 9, 9);
    EXPECT_EQ(CDRF_DODEFAULT, send(CDDS_POSTPAINT));
    EXPECT_EQ(RGB(9, 9, 9), draw.clrText);
}

TEST_F(ReportCtrlTest, SpaceBarDoesNothing) {
    Open();
    auto& list = m_dialog.m_list;
    list.SetExtendedStyle(LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    list.SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED | LVIS_SELECTED);
    const UINT before = list.GetItemState(0, LVIS_STATEIMAGEMASK | LVIS_SELECTED);
    ::SetForegroundWindow(m_hwnd);
    // Through the dialog's message loop, as a key press arrives.
    ::PostMessageW(m_listHwnd, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::PostMessageW(m_listHwnd, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001));
    ::PostMessageW(m_hwnd, kMarker, 0, 0);
    const DWORD start = ::GetTickCount();
    while (m_dialog.m_markers == 0 && ::GetTickCount() - start < 5000) {
        ::Sleep(10);
    }
    ASSERT_EQ(1, m_dialog.m_markers.load());
    EXPECT_EQ(before, list.GetItemState(0, LVIS_STATEIMAGEMASK | LVIS_SELECTED));

    // The same key handed to the list directly does toggle the check box: the filter is what stops it.
    ::SendMessageW(m_listHwnd, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_NE(before, list.GetItemState(0, LVIS_STATEIMAGEMASK | LVIS_SELECTED));
}

}  // namespace
