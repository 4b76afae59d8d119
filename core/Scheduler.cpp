#include "core/Scheduler.h"

#include "control/ProgramStart.h"
#include "control/ProgramStop.h"
#include "core/AsciiCase.h"

#include <algorithm>
#include <exception>

namespace core {
namespace {

constexpr long long kTicksPerSecond = 10'000'000;
// Ranges of examined seconds kept: far more than the clock's changes within any day need.
constexpr size_t kMaxExaminedRanges = 64;
// A tick also comes when the timer does not (a clock set back may leave it waiting for a moment far away).
constexpr DWORD kLongestWaitMs = 1100;

// Calendar fields to whole seconds on the file-time scale; no time zone is applied.
std::optional<long long> ToSeconds(const SYSTEMTIME& time) {
    SYSTEMTIME fields = time;
    fields.wMilliseconds = 0;
    FILETIME file{};
    if (!::SystemTimeToFileTime(&fields, &file)) {
        return std::nullopt;
    }
    const ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
    return static_cast<long long>(ticks.QuadPart / kTicksPerSecond);
}

}  // namespace

ClockReading SystemClock() {
    ClockReading reading;
    ::GetSystemTime(&reading.utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &reading.utc, &reading.local)) {
        ::GetLocalTime(&reading.local);
    }
    return reading;
}

bool IsStartAction(const std::wstring& action) {
    return AsciiUpper(action) == L"START";
}

void RunTask(const std::wstring& program, const std::wstring& action, control::PendingStops& stops) {
    if (IsStartAction(action)) {
        control::StartProgramInBackground(program, {}, {}, {});
    } else {
        control::StopProgram(program, stops, {});
    }
}

Scheduler::Scheduler(const TaskStore& tasks, Clock clock, TaskRunner runTasks)
    : m_tasks(tasks), m_clock(std::move(clock)), m_runTasks(std::move(runTasks)) {}

void Scheduler::SchedulerTick() {
    const ClockReading reading = m_clock();
    const std::optional<long long> utc = ToSeconds(reading.utc);
    const std::optional<long long> local = ToSeconds(reading.local);
    if (!utc || !local) {
        return;
    }
    long long first = *local;
    if (m_lastUtc && m_lastLocal) {
        const long long elapsed = *utc - *m_lastUtc;
        const long long wallElapsed = *local - *m_lastLocal;
        if (elapsed > 0 && elapsed <= kMaxCatchUpSeconds && wallElapsed > 0 &&
            wallElapsed - elapsed <= kMaxOffsetChangeSeconds) {
            first = *m_lastLocal + 1;
        }
    }
    m_lastUtc = utc;
    m_lastLocal = local;
    Examine(first, *local);
}

void Scheduler::Examine(long long first, long long last) {
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
        const std::span<const ScheduledTask> due = schedule->TasksAt(static_cast<int>(second % kSecondsPerDay));
        if (!due.empty()) {
            m_runTasks(std::vector<ScheduledTask>(due.begin(), due.end()));
        }
    }
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
        due.QuadPart = static_cast<LONGLONG>((ticks.QuadPart / kTicksPerSecond + 1) * kTicksPerSecond);
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
