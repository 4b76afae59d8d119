#pragma once
// The decision of which tasks fall due, the thread that makes it at each wall-clock second, and the
// hand-off of a due task to start or stop.
#include "control/RunResult.h"
#include "core/TaskStore.h"
#include "framework/Handle.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace control {
class PendingStops;
}

namespace core {

// One reading of the clock: the same moment in UTC and on the local wall clock; milliseconds are ignored.
struct ClockReading {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
};
using Clock = std::function<ClockReading()>;
// Receives the due tasks of one second, in row order.
using TaskRunner = std::function<void(const std::vector<ScheduledTask>& due)>;

// The platform's clock and time zone.
ClockReading SystemClock();

// The rules of one time zone, as whole seconds on the file-time scale: a UTC moment on the local wall
// clock, and a local wall-clock second as UTC (a second that a daylight-saving change skips or repeats
// gives one of its readings). Empty when the platform cannot convert.
struct TimeZoneRules {
    std::function<std::optional<long long>(UtcSeconds utc)> toLocal;
    std::function<std::optional<UtcSeconds>(long long local)> toUtc;
};
// The zone the system is set to, as it is when each conversion is made.
TimeZoneRules SystemTimeZone();
// A fixed zone, as tests give one.
TimeZoneRules TimeZoneOf(const TIME_ZONE_INFORMATION& zone);

// Receives the moment the computer must be awake for the next task that wakes it, or none.
using WakeSetter = std::function<void(std::optional<UtcSeconds> moment)>;

// The next local second after the given one at which the task falls due (its time of day, on one of its
// days); empty for a task without days.
std::optional<long long> NextDueSecond(const ScheduledTask& task, long long afterLocal);
// The latest local second at or before the given one at which the task fell due.
std::optional<long long> LatestDueSecond(const ScheduledTask& task, long long atOrBeforeLocal);
// The task of the schedule that falls due first after the local second, and that second; the first row
// among tasks of the same second.
std::optional<std::pair<ScheduledTask, long long>> NextDueTask(const Schedule& schedule, long long afterLocal);

// True when the action starts its program: "START" once a to z are upper-cased. Every other text stops.
bool IsStartAction(const std::wstring& action);

// The one hand-off of a task that runs: starts the program for a start action, with its arguments and
// start-in folder (on a thread of its own, so that a slow shell holds nothing up), otherwise stops it. A
// stop's wait is left pending in stops. What comes of it goes to the report (see control::RunReport).
void RunTask(const std::wstring& program,
             const std::wstring& action,
             const std::wstring& arguments,
             const std::wstring& folder,
             control::PendingStops& stops,
             control::RunReport report);

// Decides, at each tick, which local wall-clock seconds are examined, and hands the tasks of each such
// second on, seconds in time order. A task fires at most once for one local date and time of day,
// whatever the clock does:
// - Ticks up to a minute apart (by UTC) examine every wall-clock second since the last tick, so a late
//   tick still fires the seconds it missed. When the wall clock moved further than UTC did, by at most
//   a few hours (a daylight-saving change in spring), the skipped seconds are examined then, once.
// - When the wall clock went back (autumn, a time-sync correction, a user), the seconds it lives again
//   were examined already and fire nothing; seconds not examined before fire as they come.
// - Any other jump (more than a minute forward, UTC going back) examines the current second only:
//   nothing catches up on long gaps. The first tick examines its own second only.
// A task runs only on its days (the local date's day of the week). Each run is noted as the task's last
// run. Tasks that make up missed runs are looked at whenever the ticks were not continuous (the first
// tick, a long gap, the clock going back, a resume from sleep): one whose latest due time before the
// examined seconds came after its last run runs once, now; only that latest time, never a backlog. A task
// that never ran has no run to make up.
class Scheduler {
public:
    // Ticks further apart than this (by UTC) do not catch up.
    static constexpr long long kMaxCatchUpSeconds = 60;
    // The most the wall clock may move beyond UTC between two ticks and still be taken as a change of
    // the zone's offset, whose skipped seconds are caught up.
    static constexpr long long kMaxOffsetChangeSeconds = 3 * 60 * 60;

    Scheduler(TaskStore& tasks,
              Clock clock,
              TaskRunner runTasks,
              TimeZoneRules zone = SystemTimeZone(),
              WakeSetter setWake = {});

    void SchedulerTick();
    // The computer has resumed from sleep: the next tick looks for missed runs. Any thread.
    void NoticeResume() { m_resumed = true; }

private:
    // Runs the tasks and notes the run.
    void Run(const std::vector<ScheduledTask>& due, UtcSeconds now);
    // Runs, once, each task whose latest due time before firstLocal passed after its last run.
    void MakeUpMissedRuns(const Schedule& schedule, long long firstLocal, UtcSeconds now);
    // Hands on the moment of the next task that wakes the computer when it changed.
    void UpdateWake(const std::shared_ptr<const Schedule>& schedule, long long nowLocal);

    // Wall-clock seconds (file-time scale) already examined: sorted, disjoint, inclusive ranges.
    using Range = std::pair<long long, long long>;
    void Examine(long long first, long long last, UtcSeconds now);
    bool WasExamined(long long second) const;
    // The task's last run was for this wall-clock second (or a moment just after it).
    bool RanFor(const ScheduledTask& task, long long second) const;
    void MarkExamined(long long first, long long last);

    TaskStore& m_tasks;
    Clock m_clock;
    TaskRunner m_runTasks;
    TimeZoneRules m_zone;
    WakeSetter m_setWake;
    std::atomic<bool> m_resumed{false};
    // The schedule and the local second the wake moment was last worked out for, and that moment.
    std::shared_ptr<const Schedule> m_wakeSchedule;
    std::optional<long long> m_wakeLocal;
    std::optional<UtcSeconds> m_wakeUtc;
    bool m_wakeSet = false;
    // The last tick's reading, in whole seconds; empty until the first tick.
    std::optional<long long> m_lastUtc;
    std::optional<long long> m_lastLocal;
    std::vector<Range> m_examined;
};

// Runs a tick on its own thread at the start of every wall-clock second, woken by a waitable timer set to
// the next whole UTC second (local seconds begin with UTC ones). The thread ends when the object goes.
class SchedulerThread {
public:
    explicit SchedulerThread(std::function<void()> tick);
    SchedulerThread(const SchedulerThread&) = delete;
    SchedulerThread& operator=(const SchedulerThread&) = delete;
    ~SchedulerThread();

private:
    void Run();

    std::function<void()> m_tick;
    fw::UniqueHandle m_stop;
    fw::UniqueHandle m_timer;
    std::thread m_thread;
};

}  // namespace core
