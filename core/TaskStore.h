#pragma once
// The one store of the tasks while the program runs. The main window's list control shows it and the
// scheduler's thread reads it, so firing never waits for the window.
#include "core/Task.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace core {

// Names a row for as long as it is in the store, whatever rows come and go before it: the result of a run
// that ends later finds its row by it. A replaced row keeps its id.
using TaskId = unsigned long long;

// A task as the scheduler sees it: the second of the day its time text names, its days, and its row.
struct ScheduledTask {
    int secondOfDay = 0;
    int row = 0;
    TaskId id = 0;
    DayMask days = kEveryDay;
    bool runIfMissed = false;
    bool wake = false;
    std::optional<UtcSeconds> lastRun;
    std::wstring program;
    std::wstring action;
    std::wstring arguments;
    std::wstring folder;
};

// An unchanging copy of the enabled tasks whose time and days can be read, ordered by second of the day
// and, within one second, by row, so that the tasks of one second are found by a binary search whatever the
// list's size.
class Schedule {
public:
    explicit Schedule(std::vector<ScheduledTask> tasks);

    // The tasks of that second of the day, in row order.
    std::span<const ScheduledTask> TasksAt(int secondOfDay) const;
    // Every task, by second of the day.
    std::span<const ScheduledTask> Tasks() const { return m_tasks; }
    // The tasks that make up a missed run, and those that wake the computer: usually few, so the
    // scheduler's searches for them never walk the whole list.
    const std::vector<ScheduledTask>& MissableTasks() const { return m_missable; }
    const std::vector<ScheduledTask>& WakeTasks() const { return m_wake; }
    size_t Size() const { return m_tasks.size(); }

private:
    std::vector<ScheduledTask> m_tasks;
    std::vector<ScheduledTask> m_missable;
    std::vector<ScheduledTask> m_wake;
};

// The rows in order, each time and days text read once, when it is set. Every member may be called from
// any thread; rows are added, replaced and removed on the user-interface thread only, while the last run and
// its result may be set from any thread.
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

    // A run of the task: its time (kept in the profile) and, once known, what came of it (kept while the
    // program runs). False when the task is no longer in the store.
    bool SetLastRun(TaskId id, UtcSeconds moment);
    bool SetLastResult(TaskId id, const std::wstring& result);
    std::wstring GetLastResult(int row) const;

    // The tasks as they are now. The copy is made once after each change, by the first reader after it.
    std::shared_ptr<const Schedule> CurrentSchedule() const;

private:
    struct Row {
        Task task;
        int secondOfDay = -1;
        std::optional<DayMask> days;
        TaskId id = 0;
        std::wstring result;
    };
    static Row MakeRow(const Task& task);
    bool IsRow(int row) const { return row >= 0 && static_cast<size_t>(row) < m_rows.size(); }
    // Under the lock: the row of the id, or -1; and that row itself.
    int IndexOf(TaskId id) const;
    Row* FindRow(TaskId id);

    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
    TaskId m_nextId = 1;
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
