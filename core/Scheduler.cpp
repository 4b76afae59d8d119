#include "core/Scheduler.h"

#include "core/TaskOptions.h"

#include <algorithm>
#include <exception>

namespace core {
namespace {

// Ranges of examined seconds kept: far more than the clock's changes within any day need.
constexpr size_t kMaxExaminedRanges = 64;
// A tick also comes when the timer does not (a clock set back may leave it waiting for a moment far away).
constexpr DWORD kLongestWaitMs = 1100;

}  // namespace

ClockReading SystemClock() {
    ClockReading reading;
    ::GetSystemTime(&reading.utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &reading.utc, &reading.local)) {
        ::GetLocalTime(&reading.local);
    }
    return reading;
}

namespace {

std::optional<long long> ConvertToLocal(const TIME_ZONE_INFORMATION* zone, UtcSeconds utc) {
    const std::optional<SYSTEMTIME> fields = FromSeconds(utc);
    SYSTEMTIME local{};
    if (!fields || !::SystemTimeToTzSpecificLocalTime(zone, &*fields, &local)) {
        return std::nullopt;
    }
    return ToSeconds(local);
}

std::optional<UtcSeconds> ConvertToUtc(const TIME_ZONE_INFORMATION* zone, long long local) {
    const std::optional<SYSTEMTIME> fields = FromSeconds(local);
    SYSTEMTIME utc{};
    if (!fields || !::TzSpecificLocalTimeToSystemTime(zone, &*fields, &utc)) {
        return std::nullopt;
    }
    return ToSeconds(utc);
}

}  // namespace

TimeZoneRules SystemTimeZone() {
    return {[](UtcSeconds utc) { return ConvertToLocal(nullptr, utc); },
            [](long long local) { return ConvertToUtc(nullptr, local); }};
}

TimeZoneRules TimeZoneOf(const TIME_ZONE_INFORMATION& zone) {
    return {[zone](UtcSeconds utc) { return ConvertToLocal(&zone, utc); },
            [zone](long long local) { return ConvertToUtc(&zone, local); }};
}

namespace {

// The task runs on the local day that begins at this second.
bool RunsOnDay(const ScheduledTask& task, long long dayStart) {
    return task.date ? dayStart == *task.date : (task.days & DayOfWeekBit(dayStart)) != 0;
}

// The days to look at, from first to last, either way round: the days between them, whose length is enough for a
// task with days; a task with a date has that day alone, however far it lies beyond first in that direction, and
// none (an empty range: last one step before first) when it lies behind.
std::pair<long long, long long> DaysToSearch(const ScheduledTask& task, long long first, long long last) {
    if (!task.date) {
        return {first, last};
    }
    const long long day = *task.date / kSecondsPerDay;
    const bool forward = first <= last;
    if (forward ? day >= first : day <= first) {
        return {day, day};
    }
    return {first, forward ? first - 1 : first + 1};
}

// The first second of the day, at or after from, at which the task runs on a day it runs on; empty when none is.
std::optional<long long> FirstRunFrom(const ScheduledTask& task, long long from) {
    if (from <= task.secondOfDay) {
        return task.secondOfDay;
    }
    if (task.everySeconds <= 0) {
        return std::nullopt;
    }
    const long long steps = (from - task.secondOfDay + task.everySeconds - 1) / task.everySeconds;
    const long long second = task.secondOfDay + steps * task.everySeconds;
    return second <= task.untilSecond ? std::optional<long long>(second) : std::nullopt;
}

// The last second of the day, at or before to, at which the task runs on a day it runs on.
std::optional<long long> LastRunUpTo(const ScheduledTask& task, long long to) {
    if (to < task.secondOfDay) {
        return std::nullopt;
    }
    if (task.everySeconds <= 0) {
        return task.secondOfDay;
    }
    const long long last = std::min<long long>(to, task.untilSecond);
    return task.secondOfDay + (last - task.secondOfDay) / task.everySeconds * task.everySeconds;
}

}  // namespace

std::optional<long long> NextDueSecond(const ScheduledTask& task, long long afterLocal) {
    const long long today = afterLocal / kSecondsPerDay;
    const auto [first, last] = DaysToSearch(task, today, today + 7);
    for (long long day = first; day <= last; ++day) {
        const long long dayStart = day * kSecondsPerDay;
        if (!RunsOnDay(task, dayStart)) {
            continue;
        }
        const std::optional<long long> second = FirstRunFrom(task, std::max(0LL, afterLocal + 1 - dayStart));
        if (second) {
            return dayStart + *second;
        }
    }
    return std::nullopt;
}

std::optional<long long> NextRunOf(const TaskRow& row, long long afterLocal) {
    return Schedulable(row) ? NextDueSecond(ScheduleEntry(row, 0), afterLocal) : std::nullopt;
}

std::optional<long long> LatestDueSecond(const ScheduledTask& task, long long atOrBeforeLocal) {
    const long long today = atOrBeforeLocal / kSecondsPerDay;
    const auto [first, last] = DaysToSearch(task, today, std::max(0LL, today - 7));
    for (long long day = first; day >= last; --day) {
        const long long dayStart = day * kSecondsPerDay;
        if (!RunsOnDay(task, dayStart)) {
            continue;
        }
        const std::optional<long long> second =
            LastRunUpTo(task, std::min<long long>(atOrBeforeLocal - dayStart, kSecondsPerDay - 1));
        if (second) {
            return dayStart + *second;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<ScheduledTask, long long>> NextDueTask(const Schedule& schedule, long long afterLocal) {
    std::optional<std::pair<ScheduledTask, long long>> next;
    // Tasks come by second of the day, then row: the first one found for a moment is the first row.
    for (const ScheduledTask& task : schedule.Tasks()) {
        const std::optional<long long> second = NextDueSecond(task, afterLocal);
        if (second && (!next || *second < next->second)) {
            next = std::pair(task, *second);
        }
    }
    return next;
}

Scheduler::Scheduler(TaskStore& tasks,
                     Clock clock,
                     DueTasks runTasks,
                     TimeZoneRules zone,
                     WakeSetter setWake,
                     std::optional<UtcSeconds> watched)
    : m_tasks(tasks),
      m_clock(std::move(clock)),
      m_runTasks(std::move(runTasks)),
      m_zone(std::move(zone)),
      m_setWake(std::move(setWake)),
      m_watched(watched.value_or(kNoMark)) {}

std::optional<UtcSeconds> Scheduler::Watched() const {
    const long long watched = m_watched;
    return watched == kNoMark ? std::nullopt : std::optional<UtcSeconds>(watched);
}

void Scheduler::SchedulerTick() {
    const ClockReading reading = m_clock();
    const std::optional<long long> utc = ToSeconds(reading.utc);
    const std::optional<long long> local = ToSeconds(reading.local);
    if (!utc || !local) {
        return;
    }
    long long first = *local;
    bool continuous = false;
    if (m_lastUtc && m_lastLocal) {
        const long long elapsed = *utc - *m_lastUtc;
        const long long wallElapsed = *local - *m_lastLocal;
        if (elapsed > 0 && elapsed <= kMaxCatchUpSeconds && wallElapsed > 0 &&
            wallElapsed - elapsed <= kMaxOffsetChangeSeconds) {
            first = *m_lastLocal + 1;
            continuous = true;
        }
    }
    // A gap while this scheduler ran is a sleep as far as waking tasks go, even before the power notice comes.
    const bool resumed = m_resumed.exchange(false) || (!continuous && m_lastUtc);
    m_lastUtc = utc;
    m_lastLocal = local;
    if (!continuous || resumed) {
        const std::shared_ptr<const Schedule> schedule = m_tasks.CurrentSchedule();
        const std::vector<ScheduledTask> missed = MissedRuns(*schedule, first, Watched(), resumed);
        ReportMissed(*schedule, missed, first, Watched());
        RunMadeUp(missed, *local, *utc);
    }
    HeldRuns::TickResult held;
    // Before the seconds are examined: a postponed run noted as the last one stands for a repeat due at its moment.
    const std::vector<ScheduledTask> moved = m_held.TakeMoved(*m_tasks.CurrentSchedule(), *local, held);
    if (!moved.empty()) {
        Run(moved, *utc);
    }
    Examine(first, *local, *utc);
    m_held.Look(*m_tasks.CurrentSchedule(), *local, held);
    // Only now: every due time up to this second has been handed on.
    m_watched = *utc;
    UpdateWake(m_tasks.CurrentSchedule(), *local);
    TellWarnings(held);
}

void Scheduler::RunMadeUp(const std::vector<ScheduledTask>& missed, long long nowLocal, UtcSeconds now) {
    std::vector<ScheduledTask> due;
    for (const ScheduledTask& task : missed) {
        if (task.warnSeconds > 0) {
            m_held.AddMadeUp(task, nowLocal);
        } else {
            due.push_back(task);
        }
    }
    if (!due.empty()) {
        Run(due, now);
    }
}

void Scheduler::TellWarnings(const HeldRuns::TickResult& held) const {
    for (const auto& [id, due] : held.ended) {
        if (m_warningEnded) {
            m_warningEnded(id, due);
        }
    }
    for (const WarningNotice& notice : held.warnings) {
        if (m_reportWarning) {
            m_reportWarning(notice);
        }
    }
}

void Scheduler::Run(const std::vector<ScheduledTask>& due, UtcSeconds now) {
    for (const ScheduledTask& task : due) {
        fw::IgnoreResult(m_tasks.SetLastRun(task.id, now));
    }
    m_runTasks(due);
}

std::vector<ScheduledTask> Scheduler::MissedRuns(const Schedule& schedule,
                                                 long long firstLocal,
                                                 std::optional<UtcSeconds> watched,
                                                 bool resumed) const {
    std::vector<ScheduledTask> missed;
    for (const ScheduledTask& task : schedule.MissableTasks()) {
        if (Missed(task, firstLocal, watched)) {
            missed.push_back(task);
        }
    }
    if (resumed) {
        for (const ScheduledTask& task : schedule.WakeTasks()) {
            const bool listed = std::any_of(missed.begin(), missed.end(),
                                            [&](const ScheduledTask& other) { return other.id == task.id; });
            if (!listed && MissedWhileWaking(task, firstLocal)) {
                missed.push_back(task);
            }
        }
    }
    for (ScheduledTask& task : missed) {
        task.madeUpFor = LatestDueSecond(task, firstLocal - 1);
    }
    std::stable_sort(missed.begin(), missed.end(),
                     [](const ScheduledTask& a, const ScheduledTask& b) { return a.row < b.row; });
    return missed;
}

bool Scheduler::Missed(const ScheduledTask& task, long long firstLocal, std::optional<UtcSeconds> watched) const {
    const std::optional<long long> latest = LatestDueSecond(task, firstLocal - 1);
    if (!latest) {
        return false;
    }
    const std::optional<long long> lastRunLocal = task.lastRun ? m_zone.toLocal(*task.lastRun) : std::nullopt;
    if (task.lastRun && (!lastRunLocal || *latest <= *lastRunLocal)) {
        return false;
    }
    if (!watched) {
        // An earlier version's profile: only a task that has run before has a run to make up.
        return task.lastRun.has_value();
    }
    const std::optional<long long> watchedLocal = m_zone.toLocal(*watched);
    return watchedLocal && *latest > *watchedLocal;
}

void Scheduler::ReportMissed(const Schedule& schedule,
                             const std::vector<ScheduledTask>& madeUp,
                             long long firstLocal,
                             std::optional<UtcSeconds> watched) const {
    if (!m_reportMissed || !watched) {
        return;
    }
    for (const ScheduledTask& task : schedule.Tasks()) {
        const bool runNow =
            std::any_of(madeUp.begin(), madeUp.end(), [&](const ScheduledTask& other) { return other.id == task.id; });
        // The same question as for a task that makes up its runs: had it made them up, it would run now.
        if (!runNow && Missed(task, firstLocal, watched)) {
            m_reportMissed(task, *LatestDueSecond(task, firstLocal - 1));
        }
    }
}

bool Scheduler::MissedWhileWaking(const ScheduledTask& task, long long firstLocal) const {
    const std::optional<long long> latest = LatestDueSecond(task, firstLocal - 1);
    if (!latest || *latest < firstLocal - kWakeGraceSeconds) {
        return false;
    }
    const std::optional<long long> lastRunLocal = task.lastRun ? m_zone.toLocal(*task.lastRun) : std::nullopt;
    return !lastRunLocal || *lastRunLocal < *latest;
}

void Scheduler::UpdateWake(const std::shared_ptr<const Schedule>& schedule, long long nowLocal) {
    if (!m_setWake) {
        return;
    }
    // Worked out again after each change and each run (each makes a new schedule) and once its moment came.
    if (m_wakeSet && schedule == m_wakeSchedule && (!m_wakeLocal || *m_wakeLocal > nowLocal)) {
        return;
    }
    m_wakeSchedule = schedule;
    std::optional<long long> next;
    for (const ScheduledTask& task : schedule->WakeTasks()) {
        const std::optional<long long> second = NextDueSecond(task, nowLocal);
        if (second && (!next || *second < *next)) {
            next = second;
        }
    }
    m_wakeLocal = next;
    // Woken a minute early: the first tick after a resume comes well after the last one before it.
    std::optional<UtcSeconds> utc = next ? m_zone.toUtc(*next) : std::nullopt;
    if (utc) {
        *utc -= kWakeLeadSeconds;
    }
    if (!m_wakeSet || utc != m_wakeUtc) {
        m_wakeSet = true;
        m_wakeUtc = utc;
        m_setWake(utc);
    }
}

void Scheduler::Examine(long long first, long long last, UtcSeconds now) {
    std::vector<long long> seconds;
    for (long long second = first; second <= last; ++second) {
        if (!WasExamined(second)) {
            seconds.push_back(second);
        }
    }
    MarkExamined(first, last);
    if (seconds.empty()) {
        return;
    }
    const std::shared_ptr<const Schedule> schedule = m_tasks.CurrentSchedule();
    for (const long long second : seconds) {
        std::vector<ScheduledTask> due;
        const int secondOfDay = static_cast<int>(second % kSecondsPerDay);
        for (const ScheduledTask& task : schedule->TasksAt(secondOfDay)) {
            if (DueAt(task, second) && !RanFor(task, second) && !m_held.HoldsBack(task.id, second)) {
                due.push_back(task);
            }
        }
        // A repeat after the time: those at their time were found above.
        const size_t atTheirTime = due.size();
        for (const ScheduledTask& task : schedule->RepeatingTasks()) {
            if (task.secondOfDay != secondOfDay && DueAt(task, second) && !RanFor(task, second) &&
                !m_held.HoldsBack(task.id, second)) {
                due.push_back(task);
            }
        }
        if (due.size() > atTheirTime) {
            std::stable_sort(due.begin(), due.end(),
                             [](const ScheduledTask& a, const ScheduledTask& b) { return a.row < b.row; });
        }
        if (!due.empty()) {
            Run(due, now);
        }
    }
}

bool Scheduler::RanFor(const ScheduledTask& task, long long second) const {
    if (!task.lastRun) {
        return false;
    }
    // A run at or shortly after this wall-clock second was for this second: the clock has gone back (the
    // repeated hour of autumn, a correction) since, and the program may have started again meanwhile, so
    // the seconds examined before are not known. So was a run made up later for this second, whose latest due
    // time it was. A run far ahead is a clock that was wrong: it blocks nothing.
    const std::optional<long long> ranAt = m_zone.toLocal(*task.lastRun);
    return ranAt && *ranAt >= second &&
           (*ranAt - second < kMaxOffsetChangeSeconds || LatestDueSecond(task, *ranAt) == second);
}

bool Scheduler::WasExamined(long long second) const {
    const auto after = std::upper_bound(m_examined.begin(), m_examined.end(), second,
                                        [](long long value, const Range& range) { return value < range.first; });
    return after != m_examined.begin() && second <= std::prev(after)->second;
}

void Scheduler::MarkExamined(long long first, long long last) {
    Range merged{first, last};
    std::vector<Range> ranges;
    ranges.reserve(m_examined.size() + 1);
    for (const Range& range : m_examined) {
        if (range.second + 1 < merged.first || merged.second + 1 < range.first) {
            ranges.push_back(range);
        } else {
            merged = {std::min(merged.first, range.first), std::max(merged.second, range.second)};
        }
    }
    ranges.insert(std::upper_bound(ranges.begin(), ranges.end(), merged), merged);
    // Only a clock that keeps jumping makes many ranges; the ones furthest from now matter least.
    while (ranges.size() > kMaxExaminedRanges) {
        const auto distance = [last](const Range& range) {
            return range.second < last ? last - range.second : range.first - last;
        };
        ranges.erase(std::max_element(ranges.begin(), ranges.end(),
                                      [&](const Range& a, const Range& b) { return distance(a) < distance(b); }));
    }
    m_examined = std::move(ranges);
}

SchedulerThread::SchedulerThread(std::function<void()> tick)
    : m_tick(std::move(tick)),
      m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_timer(::CreateWaitableTimerW(nullptr, FALSE, nullptr)) {
    m_thread = std::thread([this] { Run(); });
}

SchedulerThread::~SchedulerThread() {
    ::SetEvent(m_stop.Get());
    m_thread.join();
}

void SchedulerThread::Run() {
    for (;;) {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        const ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
        LARGE_INTEGER due{};
        // An absolute due time (a positive value): the start of the next whole second.
        due.QuadPart = static_cast<LONGLONG>((ticks.QuadPart / kFileTimeTicksPerSecond + 1) * kFileTimeTicksPerSecond);
        const bool armed = m_timer && ::SetWaitableTimer(m_timer.Get(), &due, 0, nullptr, nullptr, FALSE) != FALSE;
        const HANDLE handles[] = {m_stop.Get(), m_timer.Get()};
        const DWORD woken = ::WaitForMultipleObjects(armed ? 2 : 1, handles, FALSE, armed ? kLongestWaitMs : 1000);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            return;
        }
        try {
            m_tick();
        } catch (const std::exception&) {
            // Only its owner ends this thread: a tick that ran out of memory is lost, the next one goes on.
        }
    }
}

}  // namespace core
