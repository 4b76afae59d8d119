#pragma once
// The decision of which tasks fall due, the thread that makes it at each wall-clock second, and the
// hand-off of a due task to start or stop.
#include "core/TaskStore.h"
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
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

// True when the action starts its program: "START" once a to z are upper-cased. Every other text stops.
bool IsStartAction(const std::wstring& action);

// The one hand-off from a test run: starts the program for a start action (on a thread of its own, so
// that a slow shell holds nothing up), otherwise stops it. A stop's wait is left pending in stops.
void RunTask(const std::wstring& program, const std::wstring& action, control::PendingStops& stops);

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
class Scheduler {
public:
    // Ticks further apart than this (by UTC) do not catch up.
    static constexpr long long kMaxCatchUpSeconds = 60;
    // The most the wall clock may move beyond UTC between two ticks and still be taken as a change of
    // the zone's offset, whose skipped seconds are caught up.
    static constexpr long long kMaxOffsetChangeSeconds = 3 * 60 * 60;

    Scheduler(const TaskStore& tasks, Clock clock, TaskRunner runTasks);

    void SchedulerTick();

private:
    // Wall-clock seconds (file-time scale) already examined: sorted, disjoint, inclusive ranges.
    using Range = std::pair<long long, long long>;
    void Examine(long long first, long long last);
    bool WasExamined(long long second) const;
    void MarkExamined(long long first, long long last);

    const TaskStore& m_tasks;
    Clock m_clock;
    TaskRunner m_runTasks;
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
