// The task list operations behave the same in the store and in memory, and the store finds its tasks by id.
#include "core/Task.h"
#include "core/TaskOptions.h"
#include "core/TaskStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace {

using core::TaskColumn;
using core::TaskList;

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

using Implementations = testing::Types<MemoryTasks, StoreTasks>;
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
    EXPECT_EQ(schedule->Tasks().size(), 3u);
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
    ASSERT_EQ(schedule->Tasks().size(), 1u);
    EXPECT_EQ(schedule->Tasks()[0].program, L"weekend");
    EXPECT_EQ(schedule->Tasks()[0].days, core::DayMask{0x41});
    EXPECT_EQ(schedule->MissableTasks().size(), 1u);
    EXPECT_EQ(schedule->WakeTasks().size(), 1u);
    // A run is a change the scheduler reads: the copy is made again.
    EXPECT_TRUE(store.SetLastRun(store.GetTaskId(2), 5678));
    EXPECT_NE(store.CurrentSchedule(), schedule);
    EXPECT_EQ(store.CurrentSchedule()->Tasks()[0].lastRun, 5678);
}

// Tasks read late come in front with ids of their own: every task already there keeps its id, its last run and its
// result, so a run that reports later reaches the task that ran. A change applies only what it names, to the task
// as it is then.
TEST(TaskStore, FrontInsertionKeepsEveryIdAndAChangeKeepsWhatItDoesNotName) {
    core::TaskStore store;
    const core::TaskId added = store.Add({L"added", L"Start", L"07:30:00"});
    ASSERT_TRUE(store.SetLastResult(added, L"started"));
    store.InsertFront({{L"file0", L"Start", L"01:00:00"}, {L"file1", L"Stop", L"02:00:00"}});
    const std::vector<core::TaskId> ids = store.Ids();
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[2], added);
    EXPECT_NE(ids[0], added);
    EXPECT_NE(ids[1], added);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(store.Find(added)->result, L"started");
    EXPECT_EQ(store.Find(ids[1])->task.program, L"file1");
    EXPECT_EQ(store.Find(ids[0])->result, L"");

    // A run noted while the user edited the time is kept; the time text is read again.
    ASSERT_TRUE(store.SetLastRun(added, 4321));
    core::Task before{L"added", L"Start", L"07:30:00"};
    core::Task after = before;
    after.time = L"08:00:00";
    after.lastRun = 1;
    const core::TaskChange change = core::TaskChange::Between(before, after);
    EXPECT_FALSE(change.program.has_value());
    ASSERT_TRUE(store.Change(added, change));
    const core::TaskRow row = *store.Find(added);
    EXPECT_EQ(row.task.time, L"08:00:00");
    EXPECT_EQ(row.secondOfDay, 8 * 3600);
    EXPECT_EQ(row.task.lastRun, 4321);
    EXPECT_EQ(row.result, L"started");

    ASSERT_TRUE(store.Remove(ids[0]));
    EXPECT_FALSE(store.Remove(ids[0]));
    EXPECT_FALSE(store.Change(ids[0], change));
    EXPECT_FALSE(store.Find(ids[0]).has_value());
    EXPECT_EQ(store.FindTask(added), 1);
    const core::TaskId later = store.Add({L"later", L"Start", L"09:00:00"});
    EXPECT_EQ(store.GetTaskId(2), later);
    EXPECT_EQ(store.AllTasks()[2].program, L"later");
}

}  // namespace
