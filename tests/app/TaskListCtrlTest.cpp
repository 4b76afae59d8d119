// The main window's task list control on a real list view in a real dialog: a view of a task store whose rows
// name their tasks by id.
#include "app/ListCtrlEx.h"
#include "core/TaskOptions.h"
#include "core/TaskStore.h"
#include "framework/Dialog.h"
#include "helpers/DialogThread.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Column = app::CListCtrlEx::Column;
using testing_support::DialogThread;

// Asks the host to take the store's rows again, as the main window does when the service says they changed.
constexpr UINT kRefresh = WM_APP + 1;

// The main window's template with nothing but its task list.
class TaskListHost : public fw::CDialog {
public:
    explicit TaskListHost(const core::TaskStore& store) : fw::CDialog(IDD_MARLOWICK_DIALOG), m_list(store) {}

    app::CListCtrlEx m_list;

protected:
    static const fw::MessageMap* StaticMessageMap() {
        static constexpr fw::MsgEntry kEntries[] = {fw::OnMessage<&TaskListHost::OnRefresh>(kRefresh)};
        static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
        return &map;
    }
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override { fw::DDX_Control(dx, IDC_TASK_LIST, m_list); }
    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        m_list.SetupTaskColumns();
        m_list.Refresh();
        return true;
    }

private:
    void OnRefresh() { m_list.Refresh(); }
};

class TaskListCtrlTest : public ::testing::Test {
protected:
    void Open() {
        m_thread = std::make_unique<DialogThread>([this] { return m_host.DoModal(); });
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(m_hwnd, nullptr);
        m_listHwnd = ::GetDlgItem(m_hwnd, IDC_TASK_LIST);
    }
    void TearDown() override {
        if (m_thread && !m_thread->Done()) {
            ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            m_thread->Join();
        }
    }
    void Refresh() { ::SendMessageW(m_hwnd, kRefresh, 0, 0); }
    app::CListCtrlEx& List() { return m_host.m_list; }
    std::wstring Text(int row, Column column) { return List().GetItemText(row, static_cast<int>(column)); }
    int Image(int row, Column column) { return List().GetItemImage(row, static_cast<int>(column)); }
    void Select(int row, bool selected) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = selected ? LVIS_SELECTED : 0;
        ::SendMessageW(m_listHwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    LRESULT Draw(NMLVCUSTOMDRAW& draw) {
        draw.nmcd.hdr = {m_listHwnd, IDC_TASK_LIST, static_cast<UINT>(NM_CUSTOMDRAW)};
        return ::SendMessageW(m_hwnd, WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&draw));
    }

    core::TaskStore m_store;
    TaskListHost m_host{m_store};
    std::unique_ptr<DialogThread> m_thread;
    HWND m_hwnd = nullptr;
    HWND m_listHwnd = nullptr;
};

TEST_F(TaskListCtrlTest, ColumnsAndExtendedStyle) {
    Open();
    // The task's three texts first, as they always were; its days, last run, repeat and next run after them, the
    // repeat shown beside the days.
    ASSERT_EQ(List().GetColumnCount(), 7);
    const wchar_t* headers[] = {L"Program ", L"Action", L"Time", L"Days", L"Last run", L"Repeat", L"Next run"};
    const int widths[] = {250, 80, 80, 100, 220, 190, 170};
    int order[7]{};
    ASSERT_TRUE(::SendMessageW(m_listHwnd, LVM_GETCOLUMNORDERARRAY, 7, reinterpret_cast<LPARAM>(order)));
    EXPECT_EQ(std::vector<int>(order, order + 7), (std::vector<int>{0, 1, 2, 3, 5, 4, 6}));
    for (int i = 0; i < 7; ++i) {
        wchar_t text[64]{};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.pszText = text;
        col.cchTextMax = 64;
        ASSERT_TRUE(::SendMessageW(m_listHwnd, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col)));
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(col.cx, widths[i]);
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    EXPECT_EQ(List().GetExtendedStyle() & 0x23u, 0x23u);
}

TEST(TaskListCells, RepeatsNextRunsAndTasksOfAPastDate) {
    core::TaskStore store;
    core::Task repeat{L"a", L"Start", L"08:00:00"};
    repeat.every = L"15";
    repeat.until = L"18:00:00";
    core::Task allDay = repeat;
    allDay.until = L"07:00:00";
    core::Task unreadable = repeat;
    unreadable.every = L"often";
    core::Task past{L"b", L"Stop", L"08:00:00"};
    past.date = L"2026-12-01";
    store.AppendTasks({repeat, allDay, unreadable, past});
    const auto row = [&](int index) { return *store.Find(store.GetTaskId(index)); };
    EXPECT_EQ(app::RepeatText(row(0)), L"every 15 min until 18:00:00");
    EXPECT_EQ(app::RepeatText(row(1)), L"every 15 min");
    EXPECT_EQ(app::RepeatText(row(2)), L"often");

    SYSTEMTIME now{2026, 12, 4, 10, 17, 50, 0, 0};
    const long long nowLocal = core::ToSeconds(now).value();
    SYSTEMTIME next = now;
    next.wHour = 18;
    next.wMinute = 0;
    EXPECT_EQ(app::NextRunText(row(0), nowLocal), app::LocalDateTimeText(core::ToSeconds(next).value()));
    EXPECT_FALSE(app::DrawsGrey(row(0), nowLocal));
    EXPECT_EQ(app::NextRunText(row(3), nowLocal), app::kNeverText);
    EXPECT_TRUE(app::DrawsGrey(row(3), nowLocal));
    EXPECT_FALSE(app::DrawsGrey(row(3), core::ParseDate(L"2026-12-01").value()));
}

// What the control draws comes from the store, and a time or days text that cannot be read is marked; the last run
// with its result; disabled rows grey.
TEST_F(TaskListCtrlTest, ShowsTheStoreMarksUnreadableTextsAndGreysDisabledRows) {
    core::Task workdays{L"C:\\a.exe", L"Start", L"07:30:00"};
    workdays.days = L"mon,tue,wed,thu,fri";
    core::Task unreadable{L"b", L"Stop", L"half past seven"};
    unreadable.days = L"Mo,Di";
    unreadable.enabled = false;
    core::Task ran{L"c", L"Start", L"23:59:59"};
    ran.lastRun = core::ParseUtc(L"2026-12-09T02:00:00Z");
    m_store.AppendTasks({workdays, unreadable, ran});
    Open();
    ASSERT_EQ(List().GetItemCount(), 3);
    EXPECT_EQ(Text(0, Column::Program), L"C:\\a.exe");
    EXPECT_EQ(Text(1, Column::Action), L"Stop");
    EXPECT_EQ(Text(1, Column::Time), L"half past seven");
    EXPECT_EQ(Image(0, Column::Time), I_IMAGENONE);
    EXPECT_EQ(Image(1, Column::Time), app::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_NE(Image(1, Column::Program), app::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_EQ(Text(0, Column::Days), L"Mon\u2013Fri");
    EXPECT_EQ(Text(1, Column::Days), L"Mo,Di");
    EXPECT_EQ(Text(2, Column::Days), L"Every day");
    EXPECT_EQ(Image(1, Column::Days), app::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_EQ(Text(0, Column::LastRun), L"");
    const std::wstring when = Text(2, Column::LastRun);
    EXPECT_EQ(when, app::LastRunText(ran.lastRun, L""));
    EXPECT_NE(when.find(L"2026"), std::wstring::npos) << when;
    ASSERT_TRUE(m_store.SetLastResult(m_store.GetTaskId(2), L"started"));
    EXPECT_EQ(Text(2, Column::LastRun), when + L", started");

    // Custom draw comes back from the parent to the list, and its result through the dialog procedure.
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(Draw(draw), CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = 1;
    EXPECT_EQ(Draw(draw), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, ::GetSysColor(COLOR_GRAYTEXT));
    draw.nmcd.dwItemSpec = 0;
    EXPECT_EQ(Draw(draw), CDRF_DODEFAULT);

    core::TaskChange change;
    change.time = L"19:30:00";
    ASSERT_TRUE(m_store.Change(m_store.GetTaskId(1), change));
    ASSERT_TRUE(m_store.Remove(m_store.GetTaskId(0)));
    Refresh();
    ASSERT_EQ(List().GetItemCount(), 2);
    EXPECT_EQ(Text(0, Column::Time), L"19:30:00");
    EXPECT_EQ(Image(0, Column::Time), I_IMAGENONE);
}

// Tasks that come in front (a profile read late) move the rows, and the selected task stays selected: a command
// on the selection acts on the task the user chose.
TEST_F(TaskListCtrlTest, TheSelectionStaysWithItsTaskWhenTasksComeInFront) {
    m_store.AppendTasks({{L"first", L"Start", L"01:00:00"}, {L"second", L"Start", L"02:00:00"}});
    const core::TaskId second = m_store.GetTaskId(1);
    Open();
    Select(1, true);
    EXPECT_EQ(List().GetFirstSelectedId(), second);
    m_store.InsertFront({{L"read late 0", L"Stop", L"03:00:00"}, {L"read late 1", L"Stop", L"04:00:00"}});
    // Until the view takes the change, its rows are the ones the user sees.
    EXPECT_EQ(List().GetFirstSelectedId(), second);
    EXPECT_EQ(Text(1, Column::Program), L"second");
    Refresh();
    EXPECT_EQ(List().GetItemCount(), 4);
    EXPECT_EQ(List().GetFirstSelectedTask(), 3);
    EXPECT_EQ(List().GetFirstSelectedId(), second);
    EXPECT_EQ(Text(3, Column::Program), L"second");

    // A task removed meanwhile shows empty until the view takes the change, and nothing names it afterwards.
    ASSERT_TRUE(m_store.Remove(second));
    EXPECT_EQ(Text(3, Column::Program), L"");
    Refresh();
    EXPECT_EQ(List().GetItemCount(), 3);
    EXPECT_EQ(List().GetFirstSelectedTask(), -1);
}

// A long list is shown without a row of its own in the control: ten thousand rows are there at once.
TEST_F(TaskListCtrlTest, TenThousandRowsComeInOneChange) {
    Open();
    std::vector<core::Task> rows;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({L"p" + std::to_wstring(i), L"Start", L"12:00:00"});
    }
    m_store.AppendTasks(rows);
    Refresh();
    EXPECT_EQ(List().GetItemCount(), 10000);
    EXPECT_EQ(Text(9999, Column::Program), L"p9999");
}

}  // namespace
