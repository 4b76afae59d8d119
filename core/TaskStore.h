#pragma once
// The one store of the tasks while the program runs. The main window's list control shows it and the
// scheduler's thread reads it, so firing never waits for the window.
#include "core/Task.h"
#include "core/TaskOptions.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace core {

// One row as the store holds it: the task, what its time and days texts name, and what came of its last run in
// this run of the program.
struct TaskRow {
    // Its id is the task's own.
    Task task;
    // -1 when the time text names no time.
    int secondOfDay = -1;
    // Empty when the Days text names no days, or when the task's Date names no day of the calendar.
    std::optional<DayMask> days;
    // The repeat: its period in seconds (0: none) and the last second of the day it runs at.
    int everySeconds = 0;
    int untilSecond = kSecondsPerDay - 1;
    // The local second its Date begins with; empty for a task that runs on its days.
    std::optional<long long> date;
    // A Stop task's warning before its time, in seconds (0: none), and how often one run may be postponed.
    int warnSeconds = 0;
    int maxPostpones = kDefaultMaxPostpones;
    std::wstring result;
};

// A task as the scheduler sees it: the second of the day its time text names, its days, and its row.
struct ScheduledTask {
    int secondOfDay = 0;
    int row = 0;
    TaskId id = 0;
    DayMask days = kEveryDay;
    // The repeat after the time of day: every so many seconds (0: none), up to and including this second of the day.
    int everySeconds = 0;
    int untilSecond = kSecondsPerDay - 1;
    // The one day the task runs on, as the local second it begins with; empty: on its days.
    std::optional<long long> date;
    // Handed on as a run made up late: the local second of the due time it was missed at.
    std::optional<long long> madeUpFor;
    bool runIfMissed = false;
    bool wake = false;
    std::optional<UtcSeconds> lastRun;
    std::wstring program;
    std::wstring action;
    std::wstring arguments;
    std::wstring folder;
    // A Stop task's warning before each run, in seconds (0: none), how often one run may be postponed, and whether
    // the programs its process started are stopped with it.
    int warnSeconds = 0;
    int maxPostpones = kDefaultMaxPostpones;
    bool tree = false;
};

// An unchanging copy of the enabled tasks whose time and days can be read, ordered by second of the day
// and, within one second, by row, so that the tasks of one second are found by a binary search whatever the
// list's size.
class Schedule {
public:
    explicit Schedule(std::vector<ScheduledTask> tasks);

    // The tasks whose time of day is that second, in row order; a repeating task is found here at its time only.
    std::span<const ScheduledTask> TasksAt(int secondOfDay) const;
    // The tasks that repeat after their time, by second of the day.
    const std::vector<ScheduledTask>& RepeatingTasks() const { return m_repeating; }
    // Every task, by second of the day.
    std::span<const ScheduledTask> Tasks() const { return m_tasks; }
    // The tasks that make up a missed run, and those that wake the computer: usually few, so the
    // scheduler's searches for them never walk the whole list.
    const std::vector<ScheduledTask>& MissableTasks() const { return m_missable; }
    const std::vector<ScheduledTask>& WakeTasks() const { return m_wake; }
    // The Stop tasks that warn before they run.
    const std::vector<ScheduledTask>& WarnedTasks() const { return m_warned; }

private:
    std::vector<ScheduledTask> m_tasks;
    std::vector<ScheduledTask> m_missable;
    std::vector<ScheduledTask> m_wake;
    std::vector<ScheduledTask> m_repeating;
    std::vector<ScheduledTask> m_warned;
};

// The row can fall due: it is enabled and its time and days (or date) can be read.
bool Schedulable(const TaskRow& row);
// The row as the schedule holds it, at that index.
ScheduledTask ScheduleEntry(const TaskRow& row, int index);

// The task falls due at that local second: its time of day or one of its repeats, on its date or one of its days.
bool DueAt(const ScheduledTask& task, long long localSecond);

// The rows in order, each time and days text read once, when it is set. Every member may be called from any thread.
class TaskStore : public TaskList {
public:
    TaskStore() = default;
    // A copy holds the same rows; the lock is each store's own.
    TaskStore(const TaskStore& other);
    TaskStore& operator=(const TaskStore& other);

    using TaskList::AppendTask;
    using TaskList::ReplaceTask;

    int GetTaskCount() const override;
    std::wstring GetTaskText(int row, TaskColumn column) const override;
    Task GetTask(int row) const override;
    void AppendTask(const Task& task) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    void ReplaceTask(int row, const Task& task) override;
    void RemoveTask(int row) override;
    // The store holds no selection: the list control that shows it does.
    int GetFirstSelectedTask() const override { return -1; }

    // The second of the day the row's time names; -1 when its text names no time (or there is no such row).
    int GetSecondOfDay(int row) const;
    // The row's days; empty when its Days text names no days (or there is no such row).
    std::optional<DayMask> GetDays(int row) const;
    TaskId GetTaskId(int row) const;
    // The row of the id; -1 when that task is no longer in the store.
    int FindTask(TaskId id) const;

    // Appends the task; its id. A task keeps the id it comes with unless that id is 0 or taken: then it gets a new one.
    TaskId Add(const Task& task);
    // Puts the tasks in front of every row, in their order; ids as Add gives them. The rows there keep theirs.
    void InsertFront(const std::vector<Task>& tasks);
    // The id the next new task gets: above every id the store has held, or was told of. Ids below it are never given
    // again, so a profile remembers it beside its tasks.
    TaskId NextId() const;
    void ReserveIdsBelow(TaskId next);
    // Applies the change to the task as it is now. False when the task is no longer in the store.
    bool Change(TaskId id, const TaskChange& change);
    bool Remove(TaskId id);
    // The task's row as it is now; empty when it is no longer in the store.
    std::optional<TaskRow> Find(TaskId id) const;
    // The ids in row order, and the tasks in row order, each taken at one moment.
    std::vector<TaskId> Ids() const;
    std::vector<Task> AllTasks() const;

    // A run of the task: its time (kept in the profile) and, once known, what came of it (kept while the
    // program runs). False when the task is no longer in the store.
    bool SetLastRun(TaskId id, UtcSeconds moment);
    bool SetLastResult(TaskId id, const std::wstring& result);
    std::wstring GetLastResult(int row) const;

    // The tasks as they are now. The copy is made once after each change, by the first reader after it.
    std::shared_ptr<const Schedule> CurrentSchedule() const;

private:
    using Row = TaskRow;
    static Row MakeRow(const Task& task);
    // Puts what the parsed row's texts name (time, days, repeat, date) into the row.
    static void TakeSchedule(Row& row, const Row& parsed);
    // Puts the tasks, each with a new id, in front of the rows or after them.
    void InsertRows(bool front, const std::vector<Task>& tasks);
    bool IsRow(int row) const { return row >= 0 && static_cast<size_t>(row) < m_rows.size(); }
    // Under the lock: the row of the id, or -1; and that row itself.
    int IndexOf(TaskId id) const;
    Row* FindRow(TaskId id);
    // Under the lock, after rows came, went or moved: the next reader builds the schedule and the id index anew.
    void RowsChanged();
    // Under the lock: gives the row its own id when it may keep it, else a new one. taken holds the ids in use.
    void GiveId(Row& row, std::unordered_set<TaskId>& taken);

    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
    TaskId m_nextId = 1;
    // Each id's row; empty after rows moved, until the next search by id.
    mutable std::unordered_map<TaskId, size_t> m_index;
    // Empty after a change until the next reader builds it.
    mutable std::shared_ptr<const Schedule> m_schedule;
};

// A store with a selection of its own, as the list control has one, for logic that runs without a window.
// A replaced row, like a new one, is not selected; a removed row takes its selection with it.
class MemoryTaskList : public TaskStore {
public:
    using TaskStore::AppendTask;
    using TaskStore::ReplaceTask;

    void AppendTask(const Task& task) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    void ReplaceTask(int row, const Task& task) override;
    void RemoveTask(int row) override;
    int GetFirstSelectedTask() const override;

    void SelectTask(int row, bool selected);

private:
    bool IsRow(int row) const { return row >= 0 && static_cast<size_t>(row) < m_selected.size(); }

    std::vector<bool> m_selected;
};

}  // namespace core
