#pragma once
// A task is a program, an action and a time of day, with the choices added to it since (the days it runs
// on, its arguments and start-in folder, whether it is enabled, whether a missed run is made up, whether it
// wakes the computer) and the time it last ran. The task list holds them in order.
#include "core/AsciiCase.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace core {

enum class TaskColumn { Program = 0, Action = 1, Time = 2 };

// Days of the week as bits: bit 0 Sunday to bit 6 Saturday, as SYSTEMTIME::wDayOfWeek counts them.
using DayMask = unsigned;
inline constexpr DayMask kEveryDay = 0x7F;
inline constexpr DayMask kWorkDays = 0x3E;

// A moment in UTC: whole seconds on the file-time scale (since 1 January 1601).
using UtcSeconds = long long;
// The file-time scale counts 100-nanosecond ticks.
inline constexpr long long kFileTimeTicksPerSecond = 10'000'000;
inline constexpr int kSecondsPerDay = 24 * 60 * 60;

// Names a task for as long as it is in the profile, whatever rows come and go before it: a command, the history
// and the result of a run that ends later find their task by it. Kept in the profile as the task's Id, across
// saves, edits and reorders; never reused in one profile. 0 is no id: the store gives the task one.
using TaskId = unsigned long long;

// True when the action starts its program: "START" once a to z are upper-cased. Every other text stops.
inline bool IsStartAction(const std::wstring& action) {
    return AsciiUpper(action) == L"START";
}

struct Task {
    Task() = default;
    // A task as an earlier version stored it: every later choice as it was before it existed.
    Task(std::wstring program, std::wstring action, std::wstring time)
        : program(std::move(program)), action(std::move(action)), time(std::move(time)) {}

    // 0 until the task list gives it one.
    TaskId id = 0;
    std::wstring program;
    std::wstring action;
    std::wstring time;
    // Each member below defaults to what a task without it has always done.
    // The days as the profile stores them: English three-letter names joined by commas; empty for every day.
    std::wstring days;
    // Passed to the shell's open of a Start task as its parameters and its working folder.
    std::wstring arguments;
    std::wstring folder;
    bool enabled = true;
    // A run missed while the computer slept or Marlowick was not running is made up once.
    bool runIfMissed = false;
    // The computer is woken for the task's time.
    bool wake = false;
    // When the task last ran; empty when it has not run yet.
    std::optional<UtcSeconds> lastRun;
    // A repeat, as the profile stores it: every so many whole minutes ("15"), up to and including a 24-hour
    // time of day ("18:00:00"; empty: the end of the day). Empty every: the task runs once at its time.
    std::wstring every;
    std::wstring until;
    // The one date the task runs on, "2026-12-24", in place of its days; empty: it runs on its days.
    std::wstring date;
    // A Stop task only. Seconds before its time at which the user is warned, as the profile stores them ("60";
    // empty: no warning), and how often one run may be postponed from the warning (empty: the default).
    std::wstring warn;
    std::wstring maxPostpones;
    // The programs the stopped process started, and theirs, are stopped with it.
    bool tree = false;
};

// What the user changed of a task: the members set here replace the task's own, the others stay as they are, so a
// change made meanwhile elsewhere (a run noted, another member edited) is kept.
struct TaskChange {
    std::optional<std::wstring> program;
    std::optional<std::wstring> action;
    std::optional<std::wstring> time;
    std::optional<std::wstring> days;
    std::optional<std::wstring> arguments;
    std::optional<std::wstring> folder;
    std::optional<bool> enabled;
    std::optional<bool> runIfMissed;
    std::optional<bool> wake;
    std::optional<std::wstring> every;
    std::optional<std::wstring> until;
    std::optional<std::wstring> date;
    std::optional<std::wstring> warn;
    std::optional<std::wstring> maxPostpones;
    std::optional<bool> tree;

    // The members in which after differs from before (the id and the last run are never a user's change).
    static TaskChange Between(const Task& before, const Task& after);
    void ApplyTo(Task& task) const;
};

// The ordered rows of the task list. Row numbers are 0-based.
class TaskList {
public:
    virtual ~TaskList() = default;

    virtual int GetTaskCount() const = 0;
    // The whole text of one column of a row; empty for a column without text.
    virtual std::wstring GetTaskText(int row, TaskColumn column) const = 0;
    // The whole task of a row; an empty task for a row that is not there.
    virtual Task GetTask(int row) const = 0;
    virtual void AppendTask(const Task& task) = 0;
    void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) {
        AppendTask(Task{program, action, time});
    }
    // Appends the tasks in order, as one change: a whole profile is loaded at once.
    virtual void AppendTasks(const std::vector<Task>& tasks) {
        for (const Task& task : tasks) {
            AppendTask(task);
        }
    }
    // Puts the task in place of the row, at the same index.
    virtual void ReplaceTask(int row, const Task& task) = 0;
    void ReplaceTask(int row, const std::wstring& program, const std::wstring& action, const std::wstring& time) {
        ReplaceTask(row, Task{program, action, time});
    }
    // Deletes the row; later rows move up. A row of -1 deletes nothing.
    virtual void RemoveTask(int row) = 0;
    // The first selected row, or -1.
    virtual int GetFirstSelectedTask() const = 0;
};

}  // namespace core
