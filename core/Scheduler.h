#pragma once
// The decision of which tasks fall due, and the thread that makes it at each wall-clock second.
#include "core/HeldRuns.h"
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

namespace core {

// One reading of the clock: the same moment in UTC and on the local wall clock; milliseconds are ignored.
struct ClockReading {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
};
using Clock = std::function<ClockReading()>;
// Receives the due tasks of one second, in row order.
using DueTasks = std::function<void(const std::vector<ScheduledTask>& due)>;

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

// Hears of a task whose due time passed while nobody watched and that is not run for it: the local second of its
// latest such due time.
using MissedReport = std::function<void(const ScheduledTask& task, long long dueLocal)>;

// Hears of a warned run whose warning begins, and of one whose warning is over (it ran, was skipped, or its task no
// longer runs then), by task and due second.
using WarningReport = std::function<void(const WarningNotice& notice)>;
using WarningEnded = std::function<void(TaskId id, long long dueLocal)>;

// Receives the moment the computer must be awake for the next task that wakes it, or none.
using WakeSetter = std::function<void(std::optional<UtcSeconds> moment)>;

// The next local second after the given one at which the task falls due (its time of day or a repeat, on its date
// or one of its days); empty for a task that never will.
std::optional<long long> NextDueSecond(const ScheduledTask& task, long long afterLocal);
// The next local second after the given one at which the row's task falls due; empty when it never will (disabled,
// unreadable, or a date that has passed).
std::optional<long long> NextRunOf(const TaskRow& row, long long afterLocal);
// The latest local second at or before the given one at which the task fell due.
std::optional<long long> LatestDueSecond(const ScheduledTask& task, long long atOrBeforeLocal);
// The task of the schedule that falls due first after the local second, and that second; the first row
// among tasks of the same second.
std::optional<std::pair<ScheduledTask, long long>> NextDueTask(const Schedule& schedule, long long afterLocal);

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
// A task runs at its time of day and, when it repeats, every so many minutes after it up to its end (or the end of
// the day), only on its days (the local date's day of the week), or on its date alone when it has one. Each run is
// noted as the task's last run.
//
// Missed runs are known from the watched mark: the latest tick, or, before the first one, the mark the
// profile kept from the last session. Whenever the ticks were not continuous (the first tick, a long gap,
// the clock going back, a resume from sleep), a task that makes up missed runs runs once, now, when its
// latest due time before the examined seconds lies after both its last run and the watched mark: never a
// backlog (a repeating task makes up its latest repeat alone), never a time that passed while Marlowick
// watched (a task enabled or moved earlier meanwhile is not made up for it). Without any mark (a profile of
// an earlier version) the old rule holds: only a task that has run before, and whose latest due time came
// after its last run, is made up. Every other task whose due time passed so is told of as missed.
//
// A Stop task that warns is announced its warning's length before each run, when its warning begins; its run may
// be postponed, skipped or brought forward meanwhile (HeldRuns). A run made up late is announced, and runs once the
// warning is over.
//
// A task that wakes the computer has its timer set a minute ahead of its time, and after a resume (or a
// long gap) it also runs when its due time lies within the five minutes before and it has not run for it.
class Scheduler {
public:
    // Ticks further apart than this (by UTC) do not catch up.
    static constexpr long long kMaxCatchUpSeconds = 60;
    // The most the wall clock may move beyond UTC between two ticks and still be taken as a change of
    // the zone's offset, whose skipped seconds are caught up.
    static constexpr long long kMaxOffsetChangeSeconds = 3 * 60 * 60;
    // The wake timer goes off this long before the task's time, so that the computer is awake when it comes.
    static constexpr long long kWakeLeadSeconds = 60;
    // After a resume, a waking task whose time passed at most this long ago still runs.
    static constexpr long long kWakeGraceSeconds = 5 * 60;

    Scheduler(TaskStore& tasks,
              Clock clock,
              DueTasks runTasks,
              TimeZoneRules zone = SystemTimeZone(),
              WakeSetter setWake = {},
              std::optional<UtcSeconds> watched = std::nullopt);

    // Before the first tick: who hears of the runs missed, once for each task and gap.
    void SetMissedReport(MissedReport report) { m_reportMissed = std::move(report); }
    // Before the first tick: who hears of warnings.
    void SetWarnings(WarningReport report, WarningEnded ended) {
        m_reportWarning = std::move(report);
        m_warningEnded = std::move(ended);
    }
    // The warned runs, to answer them. Any thread.
    HeldRuns& Held() { return m_held; }

    void SchedulerTick();
    // The computer has resumed from sleep: the next tick looks for missed runs. Any thread.
    void NoticeResume() { m_resumed = true; }
    // The watched mark: the moment of the latest tick, or the one the scheduler was given before its first.
    // Any thread.
    std::optional<UtcSeconds> Watched() const;

private:
    // Runs the tasks and notes the run.
    void Run(const std::vector<ScheduledTask>& due, UtcSeconds now);
    // The tasks to run once now because the ticks were not continuous before firstLocal.
    std::vector<ScheduledTask> MissedRuns(const Schedule& schedule,
                                          long long firstLocal,
                                          std::optional<UtcSeconds> watched,
                                          bool resumed) const;
    // Tells of each task whose latest due time before firstLocal passed unseen and that is not among those made up.
    void ReportMissed(const Schedule& schedule,
                      const std::vector<ScheduledTask>& madeUp,
                      long long firstLocal,
                      std::optional<UtcSeconds> watched) const;
    // The task's latest due time before firstLocal passed unseen: after its last run and the watched mark.
    bool Missed(const ScheduledTask& task, long long firstLocal, std::optional<UtcSeconds> watched) const;
    // A waking task's due time passed in the moments before a resume, and it has not run for it.
    bool MissedWhileWaking(const ScheduledTask& task, long long firstLocal) const;
    // Runs what is made up now, except the warned runs, which wait for their warning.
    void RunMadeUp(const std::vector<ScheduledTask>& missed, long long nowLocal, UtcSeconds now);
    // Tells of the warnings that begin and end.
    void TellWarnings(const HeldRuns::TickResult& held) const;
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
    DueTasks m_runTasks;
    TimeZoneRules m_zone;
    WakeSetter m_setWake;
    MissedReport m_reportMissed;
    WarningReport m_reportWarning;
    WarningEnded m_warningEnded;
    HeldRuns m_held;
    std::atomic<bool> m_resumed{false};
    // The watched mark, as UTC seconds; kNoMark while there is none.
    static constexpr long long kNoMark = -1;
    std::atomic<long long> m_watched{kNoMark};
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
