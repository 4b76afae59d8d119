#pragma once
// The one-second tick that decides which tasks fall due, and the hand-off of a due task to start or stop.
#include "core/Task.h"
#include "core/TaskTime.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace control {
class PendingStops;
}

namespace core {

// The current local date and time; milliseconds are ignored.
using Clock = std::function<SYSTEMTIME()>;
// Receives each due task: its program text and its action text.
using TaskRunner = std::function<void(const std::wstring& program, const std::wstring& action)>;

// The platform's local time.
SYSTEMTIME LocalClock();

// True when hour, minute and second of the task time equal those of the current time. The date is never
// compared. A value that is not valid, or that cannot be converted, never matches.
bool IsTaskDue(const DateTimeValue& taskTime, const DateTimeValue& now);

// True when the action starts its program: "START" once a to z are upper-cased. Every other text stops.
bool IsStartAction(const std::wstring& action);

// The one hand-off from a due task or a test run: starts the program for a start action, otherwise stops
// it. A stop's wait is left pending in stops.
void RunTask(const std::wstring& program, const std::wstring& action, control::PendingStops& stops);

// Fires every task in the second its time names, once a day. It remembers the last second it examined:
// each tick examines every second after that one up to the clock's, in time order and, within a second,
// in row order, so a late tick still fires the seconds it missed and two ticks in one second fire nothing
// twice. After a jump forward of more than a minute, or when the clock has gone back, only the current
// second is examined: nothing catches up on long gaps, and a clock set back fires those tasks again. The
// first tick examines its own second only. A tick that runs nested inside a message box of an earlier
// tick never examines a second already taken by another tick.
class Scheduler {
public:
    // Ticks further apart than this do not catch up.
    static constexpr long long kMaxCatchUpSeconds = 60;

    Scheduler(const TaskList& tasks, Clock clock, TaskRunner runTask);
    // The program's own scheduler: the local clock, and RunTask with the program's pending stops.
    Scheduler(const TaskList& tasks, control::PendingStops& stops);

    // The main window's WM_TIMER handler calls this once per timer message.
    void SchedulerTick();

private:
    void ExamineSecond(long long second);

    const TaskList& m_tasks;
    Clock m_clock;
    TaskRunner m_runTask;
    // Seconds on the local calendar (file-time scale); empty until the first tick.
    std::optional<long long> m_lastExamined;
    // Counts the restarts of the examined range, so a tick stops catching up when a nested tick restarted it.
    unsigned m_restarts = 0;
};

}  // namespace core
