#include "core/Scheduler.h"

#include "control/ProgramStart.h"
#include "control/ProgramStop.h"

#include <oleauto.h>

namespace core {
namespace {

constexpr long long kTicksPerSecond = 10'000'000;

// Local calendar fields to whole seconds, and back; the arithmetic only, no time zone is applied.
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

std::optional<SYSTEMTIME> FromSeconds(long long seconds) {
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = static_cast<ULONGLONG>(seconds) * kTicksPerSecond;
    const FILETIME file{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time{};
    if (!::FileTimeToSystemTime(&file, &time)) {
        return std::nullopt;
    }
    return time;
}

// The current time as a date value: valid when it converts and converts back to the same fields.
DateTimeValue CurrentTimeValue(const SYSTEMTIME& now) {
    const DateTimeValue value = DateTimeValue::FromSystemTime(now);
    SYSTEMTIME back{};
    if (!value.ToSystemTime(back) || back.wYear != now.wYear || back.wMonth != now.wMonth || back.wDay != now.wDay ||
        back.wHour != now.wHour || back.wMinute != now.wMinute || back.wSecond != now.wSecond) {
        return DateTimeValue::Invalid();
    }
    return value;
}

struct TimeOfDay {
    int hour = -1;
    int minute = -1;
    int second = -1;
};

TimeOfDay TimeOfDayOf(const DateTimeValue& value) {
    SYSTEMTIME time{};
    if (!value.ToSystemTime(time)) {
        return {};
    }
    return {time.wHour, time.wMinute, time.wSecond};
}

}  // namespace

SYSTEMTIME LocalClock() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    now.wMilliseconds = 0;
    return now;
}

bool IsTaskDue(const DateTimeValue& taskTime, const DateTimeValue& now) {
    const TimeOfDay task = TimeOfDayOf(taskTime);
    const TimeOfDay current = TimeOfDayOf(now);
    // An invalid side gives -1 for every part; the other side's parts are never negative.
    return task.hour >= 0 && task.hour == current.hour && task.minute == current.minute &&
           task.second == current.second;
}

bool IsStartAction(const std::wstring& action) {
    std::wstring upper = action;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return upper == L"START";
}

void RunTask(const std::wstring& program, const std::wstring& action, control::PendingStops& stops) {
    if (IsStartAction(action)) {
        control::StartProgram(program);
    } else {
        control::StopProgram(program, stops);
    }
}

Scheduler::Scheduler(const TaskList& tasks, Clock clock, TaskRunner runTask)
    : m_tasks(tasks), m_clock(std::move(clock)), m_runTask(std::move(runTask)) {}

Scheduler::Scheduler(const TaskList& tasks, control::PendingStops& stops)
    : Scheduler(tasks, &LocalClock, [&stops](const std::wstring& program, const std::wstring& action) {
          RunTask(program, action, stops);
      }) {}

void Scheduler::SchedulerTick() {
    const std::optional<long long> current = ToSeconds(m_clock());
    if (!current) {
        return;
    }
    if (!m_lastExamined || *current < *m_lastExamined || *current - *m_lastExamined > kMaxCatchUpSeconds) {
        m_lastExamined = *current - 1;
        ++m_restarts;
    }
    const unsigned restarts = m_restarts;
    // Each second is taken before its tasks run, so a nested tick goes on after it instead of repeating it.
    while (m_restarts == restarts && *m_lastExamined < *current) {
        const long long second = ++*m_lastExamined;
        ExamineSecond(second);
    }
}

void Scheduler::ExamineSecond(long long second) {
    const std::optional<SYSTEMTIME> time = FromSeconds(second);
    if (!time) {
        return;
    }
    const DateTimeValue now = CurrentTimeValue(*time);
    const int count = m_tasks.GetTaskCount();
    // Rows are read afresh for each second: a task run before may have shown a box in which the list changed.
    for (int row = 0; row < count && row < m_tasks.GetTaskCount(); ++row) {
        if (IsTaskDue(ParseTaskTime(m_tasks.GetTaskText(row, TaskColumn::Time)), now)) {
            m_runTask(m_tasks.GetTaskText(row, TaskColumn::Program), m_tasks.GetTaskText(row, TaskColumn::Action));
        }
    }
}

}  // namespace core
