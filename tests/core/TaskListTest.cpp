// The task list operations behave the same on the list-view control and in memory.
#include "core/ListCtrlEx.h"
#include "core/Task.h"
#include "core/TaskOptions.h"
#include "core/TaskStore.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace {

using core::TaskColumn;
using core::TaskList;

// A real owner-data report-view list control in a hidden window, as the main window has it: its parent
// answers the control's questions for cell texts and images as the main window does.
class ListViewTasks {
public:
    ListViewTasks() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ParentProcedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarlowickTaskListParent";
        ::RegisterClassW(&wc);
        m_parent = ::CreateWindowExW(0, wc.lpszClassName, L"tasks", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr,
                                     nullptr, nullptr, nullptr);
        ::SetWindowLongPtrW(m_parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_list));
        HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                      WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 500,
                                      300, m_parent, reinterpret_cast<HMENU>(1001), nullptr, nullptr);
        m_list.Attach(list);
        m_list.SetupTaskColumns();
    }
    ~ListViewTasks() { ::DestroyWindow(m_parent); }
    TaskList& List() { return m_list; }
    core::CListCtrlEx& Control() { return m_list; }
    core::TaskStore& Store() { return m_store; }
    void Select(int row) { m_list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); }

private:
    static LRESULT CALLBACK ParentProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
            if (auto* list = reinterpret_cast<core::CListCtrlEx*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
                list->OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
            }
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND m_parent = nullptr;
    core::TaskStore m_store;
    core::CListCtrlEx m_list{m_store};
};

class MemoryTasks {
public:
    TaskList& List() { return m_list; }
    void Select(int row) { m_list.SelectTask(row, true); }

private:
    core::MemoryTaskList m_list;
};

template <typename Tasks>
class TaskListContract : public testing::Test {
protected:
    void Fill(int count) {
        for (int i = 0; i < count; ++i) {
            List().AppendTask(L"prog" + std::to_wstring(i), i % 2 ? L"Stop" : L"Start",
                              L"0" + std::to_wstring(i) + L":00:00");
        }
    }
    std::wstring Program(int row) { return List().GetTaskText(row, TaskColumn::Program); }
    TaskList& List() { return m_tasks.List(); }
    Tasks m_tasks;
};

class StoreTasks {
public:
    TaskList& List() { return m_store; }
    // The store keeps no selection; the contract's selection case is the control's.
    void Select(int) {}

private:
    core::TaskStore m_store;
};

using Implementations = testing::Types<ListViewTasks, MemoryTasks, StoreTasks>;
TYPED_TEST_SUITE(TaskListContract, Implementations);

TYPED_TEST(TaskListContract, EmptyList) {
    EXPECT_EQ(this->List().GetTaskCount(), 0);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), -1);
    this->List().RemoveTask(-1);
    this->List().RemoveTask(0);
    EXPECT_EQ(this->List().GetTaskCount(), 0);
}

TYPED_TEST(TaskListContract, AppendKeepsOrderAndWholeTexts) {
    const std::wstring longPath = L"C:\\" + std::wstring(1000, L'x') + L"\\\x65e5\x672c.exe";
    this->List().AppendTask(longPath, L"Start", L"7:30:00 AM");
    this->List().AppendTask(L"", L"", L"");
    this->List().AppendTask(L"Notepad", L"stop", L"Invalid DateTime");
    ASSERT_EQ(this->List().GetTaskCount(), 3);
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Program), longPath);
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Action), L"Start");
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Time), L"7:30:00 AM");
    EXPECT_EQ(this->List().GetTaskText(1, TaskColumn::Program), L"");
    EXPECT_EQ(this->List().GetTaskText(1, TaskColumn::Time), L"");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Action), L"stop");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Time), L"Invalid DateTime");
}

TYPED_TEST(TaskListContract, ReplaceKeepsThePosition) {
    this->Fill(5);
    this->List().ReplaceTask(2, L"new", L"Stop", L"23:59:59");
    ASSERT_EQ(this->List().GetTaskCount(), 5);
    EXPECT_EQ(this->Program(1), L"prog1");
    EXPECT_EQ(this->Program(2), L"new");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Action), L"Stop");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Time), L"23:59:59");
    EXPECT_EQ(this->Program(3), L"prog3");
}

TYPED_TEST(TaskListContract, RemoveMovesLaterRowsUp) {
    this->Fill(5);
    this->List().RemoveTask(2);
    ASSERT_EQ(this->List().GetTaskCount(), 4);
    EXPECT_EQ(this->Program(2), L"prog3");
    EXPECT_EQ(this->Program(3), L"prog4");
    this->List().RemoveTask(-1);
    EXPECT_EQ(this->List().GetTaskCount(), 4);
}

TYPED_TEST(TaskListContract, FirstSelectedIsTheUpperOne) {
    if constexpr (std::is_same_v<TypeParam, StoreTasks>) {
        GTEST_SKIP() << "the store has no selection";
    }
    this->Fill(5);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), -1);
    this->m_tasks.Select(3);
    this->m_tasks.Select(1);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), 1);
    this->List().RemoveTask(this->List().GetFirstSelectedTask());
    EXPECT_EQ(this->Program(1), L"prog2");
    EXPECT_EQ(this->List().GetFirstSelectedTask(), 2);  // the former row 3
}

TEST(TaskListControl, ColumnsAndExtendedStyle) {
    ListViewTasks tasks;
    core::CListCtrlEx& list = tasks.Control();
    // The task's three texts first, as they always were; its days and last run after them.
    ASSERT_EQ(list.GetColumnCount(), 5);
    const wchar_t* headers[] = {L"Program ", L"Action", L"Time", L"Days", L"Last run"};
    const int widths[] = {250, 80, 80, 100, 220};
    for (int i = 0; i < 5; ++i) {
        wchar_t text[64]{};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.pszText = text;
        col.cchTextMax = 64;
        ASSERT_TRUE(list.SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col)));
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(col.cx, widths[i]);
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    EXPECT_EQ(list.GetExtendedStyle() & 0x23u, 0x23u);

    // The styles are added to what the control already has.
    list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    list.SetupTaskColumns();
    EXPECT_EQ(list.GetExtendedStyle() & (0x23u | LVS_EX_CHECKBOXES), 0x23u | LVS_EX_CHECKBOXES);
}

// What the control draws comes from the store, row by row, and a time that cannot be read is marked.
TEST(TaskListControl, ShowsTheStoreAndMarksUnreadableTimes) {
    ListViewTasks tasks;
    core::CListCtrlEx& list = tasks.Control();
    list.AppendTasks({{L"C:\\a.exe", L"Start", L"07:30:00"}, {L"b", L"Stop", L"half past seven"}, {L"c", L"", L""}});
    list.AppendTask(L"d", L"Start", L"23:59:59");
    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.GetItemText(0, 0), L"C:\\a.exe");
    EXPECT_EQ(list.GetItemText(1, 1), L"Stop");
    EXPECT_EQ(list.GetItemText(1, 2), L"half past seven");
    EXPECT_EQ(list.GetItemText(3, 0), L"d");
    EXPECT_EQ(list.GetItemImage(0, 2), I_IMAGENONE);
    EXPECT_EQ(list.GetItemImage(1, 2), core::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_EQ(list.GetItemImage(2, 2), core::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_NE(list.GetItemImage(1, 0), core::CListCtrlEx::kUnreadableTimeImage);

    list.ReplaceTask(1, L"b", L"Stop", L"19:30:00");
    EXPECT_EQ(list.GetItemImage(1, 2), I_IMAGENONE);
    list.RemoveTask(0);
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(0, 2), L"19:30:00");
    EXPECT_EQ(list.GetItemImage(1, 2), core::CListCtrlEx::kUnreadableTimeImage);
}

// The days as names, a days text that names none marked as an unreadable time is; the last run with its
// result; disabled rows grey.
TEST(TaskListControl, ShowsDaysLastRunAndDisabledRows) {
    ListViewTasks tasks;
    core::CListCtrlEx& list = tasks.Control();
    core::Task workdays{L"a", L"Start", L"07:30:00"};
    workdays.days = L"mon,tue,wed,thu,fri";
    core::Task unreadable{L"b", L"Start", L"07:30:00"};
    unreadable.days = L"Mo,Di";
    unreadable.enabled = false;
    core::Task ran{L"c", L"Start", L"07:30:00"};
    ran.lastRun = core::ParseUtc(L"2026-12-09T02:00:00Z");
    list.AppendTasks({workdays, unreadable, ran});
    using Column = core::CListCtrlEx::Column;
    EXPECT_EQ(list.GetItemText(0, static_cast<int>(Column::Days)), L"Mon\u2013Fri");
    EXPECT_EQ(list.GetItemText(1, static_cast<int>(Column::Days)), L"Mo,Di");
    EXPECT_EQ(list.GetItemText(2, static_cast<int>(Column::Days)), L"Every day");
    EXPECT_EQ(list.GetItemImage(1, static_cast<int>(Column::Days)), core::CListCtrlEx::kUnreadableTimeImage);
    EXPECT_EQ(list.GetItemImage(0, static_cast<int>(Column::Days)), I_IMAGENONE);

    EXPECT_EQ(list.GetItemText(0, static_cast<int>(Column::LastRun)), L"");
    const std::wstring when = list.GetItemText(2, static_cast<int>(Column::LastRun));
    EXPECT_EQ(when, core::LastRunText(ran.lastRun, L""));
    EXPECT_NE(when.find(L"2026"), std::wstring::npos) << when;
    ASSERT_TRUE(tasks.Store().SetLastResult(tasks.Store().GetTaskId(2), L"started"));
    EXPECT_EQ(list.GetItemText(2, static_cast<int>(Column::LastRun)), when + L", started");

    NMLVCUSTOMDRAW draw{};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(list.OnCustomDraw(draw), CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = 1;
    EXPECT_EQ(list.OnCustomDraw(draw), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, ::GetSysColor(COLOR_GRAYTEXT));
    draw.nmcd.dwItemSpec = 0;
    EXPECT_EQ(list.OnCustomDraw(draw), CDRF_DODEFAULT);
}

// A long list is shown without a row of its own in the control: ten thousand rows are there at once.
TEST(TaskListControl, TenThousandRowsComeInOneChange) {
    ListViewTasks tasks;
    std::vector<core::Task> rows;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({L"p" + std::to_wstring(i), L"Start", L"12:00:00"});
    }
    tasks.Control().AppendTasks(rows);
    EXPECT_EQ(tasks.Control().GetItemCount(), 10000);
    EXPECT_EQ(tasks.Control().GetItemText(9999, 0), L"p9999");
}

// The scheduler's copy is made once per change, and only rows whose time reads are in it.
TEST(TaskStore, ScheduleIsBuiltOncePerChangeAndFindsTheSecondsTasks) {
    core::TaskStore store;
    store.AppendTasks({{L"late", L"Start", L"23:00:00"}, {L"a", L"Start", L"07:30:00"}, {L"bad", L"Start", L"x"}});
    store.AppendTask(L"b", L"Stop", L"07:30:00");
    EXPECT_EQ(store.GetSecondOfDay(1), 7 * 3600 + 30 * 60);
    EXPECT_EQ(store.GetSecondOfDay(2), -1);
    EXPECT_EQ(store.GetSecondOfDay(4), -1);
    const std::shared_ptr<const core::Schedule> schedule = store.CurrentSchedule();
    EXPECT_EQ(store.CurrentSchedule(), schedule);
    EXPECT_EQ(schedule->Size(), 3u);
    const auto due = schedule->TasksAt(7 * 3600 + 30 * 60);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(due[0].program, L"a");
    EXPECT_EQ(due[0].row, 1);
    EXPECT_EQ(due[1].program, L"b");
    EXPECT_TRUE(schedule->TasksAt(7 * 3600 + 30 * 60 + 1).empty());
    EXPECT_EQ(schedule->TasksAt(23 * 3600).size(), 1u);

    store.RemoveTask(1);
    const std::shared_ptr<const core::Schedule> changed = store.CurrentSchedule();
    EXPECT_NE(changed, schedule);
    ASSERT_EQ(changed->TasksAt(7 * 3600 + 30 * 60).size(), 1u);
    EXPECT_EQ(changed->TasksAt(7 * 3600 + 30 * 60)[0].row, 2);
    // A copy already handed out stays as it was.
    EXPECT_EQ(schedule->TasksAt(7 * 3600 + 30 * 60).size(), 2u);
}

// A run's time and result find their task by its id whatever rows come and go before it; a replaced row
// keeps its id, its result and the last run the caller gives it.
TEST(TaskStore, RunsFindTheirTaskByIdAndOnlyEnabledTasksOfReadableDaysAreScheduled) {
    core::TaskStore store;
    store.AppendTasks({{L"first", L"Start", L"07:30:00"}, {L"second", L"Start", L"07:30:00"}});
    const core::TaskId second = store.GetTaskId(1);
    EXPECT_NE(store.GetTaskId(0), second);
    store.RemoveTask(0);
    EXPECT_EQ(store.FindTask(second), 0);
    EXPECT_TRUE(store.SetLastRun(second, 1234));
    EXPECT_TRUE(store.SetLastResult(second, L"started"));
    EXPECT_EQ(store.GetTask(0).lastRun, 1234);
    core::Task changed = store.GetTask(0);
    changed.time = L"08:00:00";
    store.ReplaceTask(0, changed);
    EXPECT_EQ(store.GetTaskId(0), second);
    EXPECT_EQ(store.GetLastResult(0), L"started");
    store.RemoveTask(0);
    EXPECT_EQ(store.FindTask(second), -1);
    EXPECT_FALSE(store.SetLastRun(second, 99));
    EXPECT_FALSE(store.SetLastResult(second, L"late"));

    core::Task disabled{L"disabled", L"Start", L"07:30:00"};
    disabled.enabled = false;
    core::Task noDays{L"no days", L"Start", L"07:30:00"};
    noDays.days = L"someday";
    core::Task weekend{L"weekend", L"Start", L"07:30:00"};
    weekend.days = L"Sat,Sun";
    weekend.runIfMissed = true;
    weekend.wake = true;
    store.AppendTasks({disabled, noDays, weekend});
    EXPECT_EQ(store.GetDays(1), std::nullopt);
    const std::shared_ptr<const core::Schedule> schedule = store.CurrentSchedule();
    ASSERT_EQ(schedule->Size(), 1u);
    EXPECT_EQ(schedule->Tasks()[0].program, L"weekend");
    EXPECT_EQ(schedule->Tasks()[0].days, core::DayMask{0x41});
    EXPECT_EQ(schedule->MissableTasks().size(), 1u);
    EXPECT_EQ(schedule->WakeTasks().size(), 1u);
    // A run is a change the scheduler reads: the copy is made again.
    EXPECT_TRUE(store.SetLastRun(store.GetTaskId(2), 5678));
    EXPECT_NE(store.CurrentSchedule(), schedule);
    EXPECT_EQ(store.CurrentSchedule()->Tasks()[0].lastRun, 5678);
}

}  // namespace
