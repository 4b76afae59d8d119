#pragma once
// A task is three texts: the program, the action and the time of day. The task list holds them in order.
#include <string>
#include <vector>

namespace core {

enum class TaskColumn { Program = 0, Action = 1, Time = 2 };
// Days of the week as bits: bit 0 Sunday to bit 6 Saturday, as SYSTEMTIME::wDayOfWeek counts them.
using DayMask = unsigned;
inline constexpr DayMask kEveryDay = 0x7F;
inline constexpr DayMask kWorkDays = 0x3E;

struct Task {
    std::wstring program;
    std::wstring action;
    std::wstring time;
};

// The ordered rows of the task list. Row numbers are 0-based.
class TaskList {
public:
    virtual ~TaskList() = default;

    virtual int GetTaskCount() const = 0;
    // The whole text of one column of a row; empty for a column without text.
    virtual std::wstring GetTaskText(int row, TaskColumn column) const = 0;
    virtual void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) = 0;
    // Appends the tasks in order, as one change: a whole profile is loaded at once.
    virtual void AppendTasks(const std::vector<Task>& tasks) {
        for (const Task& task : tasks) {
            AppendTask(task.program, task.action, task.time);
        }
    }
    // Deletes the row and inserts the new task at the same index.
    virtual void ReplaceTask(int row,
                             const std::wstring& program,
                             const std::wstring& action,
                             const std::wstring& time) = 0;
    // Deletes the row; later rows move up. A row of -1 deletes nothing.
    virtual void RemoveTask(int row) = 0;
    // The first selected row, or -1.
    virtual int GetFirstSelectedTask() const = 0;
};

}  // namespace core
