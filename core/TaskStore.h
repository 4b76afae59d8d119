#pragma once
// The one store of the tasks while the program runs. The main window's list control shows it and the
// scheduler's thread reads it, so firing never waits for the window.
#include "core/Task.h"

#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace core {

inline constexpr int kSecondsPerDay = 24 * 60 * 60;

// A task as the scheduler sees it: the second of the day its time text names, and its row.
struct ScheduledTask {
    int secondOfDay = 0;
    int row = 0;
    std::wstring program;
    std::wstring action;
};

// An unchanging copy of the tasks whose time can be read, ordered by second of the day and, within one
// second, by row, so that the tasks of one second are found by a binary search whatever the list's size.
class Schedule {
public:
    explicit Schedule(std::vector<ScheduledTask> tasks);

    // The tasks of that second of the day, in row order.
    std::span<const ScheduledTask> TasksAt(int secondOfDay) const;
    size_t Size() const { return m_tasks.size(); }

private:
    std::vector<ScheduledTask> m_tasks;
};

// The rows in order, each time text read once, when it is set. Every member may be called from any thread;
// the rows change on the user-interface thread only.
class TaskStore : public TaskList {
public:
    TaskStore() = default;
    // A copy holds the same rows; the lock is each store's own.
    TaskStore(const TaskStore& other);
    TaskStore& operator=(const TaskStore& other);

    int GetTaskCount() const override;
    std::wstring GetTaskText(int row, TaskColumn column) const override;
    void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    void ReplaceTask(int row,
                     const std::wstring& program,
                     const std::wstring& action,
                     const std::wstring& time) override;
    void RemoveTask(int row) override;
    // The store holds no selection: the list control that shows it does.
    int GetFirstSelectedTask() const override { return -1; }

    // The second of the day the row's time names; -1 when its text names no time (or there is no such row).
    int GetSecondOfDay(int row) const;

    // The tasks as they are now. The copy is made once after each change, by the first reader after it.
    std::shared_ptr<const Schedule> CurrentSchedule() const;

private:
    struct Row {
        Task task;
        int secondOfDay = -1;
    };
    static Row MakeRow(const std::wstring& program, const std::wstring& action, const std::wstring& time);
    bool IsRow(int row) const { return row >= 0 && static_cast<size_t>(row) < m_rows.size(); }

    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
    // Empty after a change until the next reader builds it.
    mutable std::shared_ptr<const Schedule> m_schedule;
};

// A store with a selection of its own, as the list control has one, for logic that runs without a window.
// A replaced row, like a new one, is not selected; a removed row takes its selection with it.
class MemoryTaskList : public TaskStore {
public:
    void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    void ReplaceTask(int row,
                     const std::wstring& program,
                     const std::wstring& action,
                     const std::wstring& time) override;
    void RemoveTask(int row) override;
    int GetFirstSelectedTask() const override;

    void SelectTask(int row, bool selected);

private:
    bool IsRow(int row) const { return row >= 0 && static_cast<size_t>(row) < m_selected.size(); }

    std::vector<bool> m_selected;
};

}  // namespace core
