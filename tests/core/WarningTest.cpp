// Warned stops: when their warning begins, and what postponing, skipping and closing now do to the run, driven by a
// clock the test sets.
#include "core/Scheduler.h"
#include "core/TaskTime.h"

#include "TimeZones.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SYSTEMTIME At(int hour, int minute, int second, int day = 9) {
    return testing_support::Date(2026, 12, day, hour, minute, second);
}

TIME_ZONE_INFORMATION Utc() {
    return TIME_ZONE_INFORMATION{};
}

long long Local(const SYSTEMTIME& time) {
    return core::ToSeconds(time).value();
}

// A scheduler on a clock whose zone is UTC, recording runs, warnings and their ends as "HH:MM:SS" texts.
class WarningTest : public ::testing::Test {
protected:
    WarningTest() {
        m_scheduler.SetWarnings(
            [this](const core::WarningNotice& notice) {
                m_warnings.push_back(Clock(m_now.local) + L" " + std::to_wstring(notice.secondsLeft) +
                                     (notice.canPostpone ? L" can postpone" : L""));
                m_lastDue = notice.due;
            },
            [this](core::TaskId, long long) { m_ended.push_back(Clock(m_now.local)); });
    }

    // A Stop task at 23:00:00 that warns so many seconds before.
    core::TaskId AddStop(const std::wstring& warn,
                         const std::wstring& maxPostpones = L"",
                         const std::wstring& every = L"") {
        core::Task task{L"game.exe", L"Stop", core::FormatTaskTime(core::DateTimeValue::FromSystemTime(At(23, 0, 0)))};
        task.warn = warn;
        task.maxPostpones = maxPostpones;
        task.every = every;
        return m_tasks.Add(task);
    }
    // Ticks once a second from start to last, both included.
    void Run(const SYSTEMTIME& start, const SYSTEMTIME& last) {
        for (long long second = Local(start); second <= Local(last); ++second) {
            const SYSTEMTIME now = core::FromSeconds(second).value();
            m_now = {now, now};
            m_scheduler.SchedulerTick();
        }
    }
    static std::wstring Clock(const SYSTEMTIME& time) {
        wchar_t text[16]{};
        std::swprintf(text, std::size(text), L"%02u %02u:%02u:%02u", time.wDay, time.wHour, time.wMinute, time.wSecond);
        return text;
    }

    core::TaskStore m_tasks;
    core::ClockReading m_now{};
    std::vector<std::wstring> m_fired;
    std::vector<std::wstring> m_warnings;
    std::vector<std::wstring> m_ended;
    long long m_lastDue = 0;
    core::Scheduler m_scheduler{
        m_tasks, [this] { return m_now; },
        [this](const std::vector<core::ScheduledTask>& due) {
            for (const core::ScheduledTask& task : due) {
                m_fired.push_back(task.program + L"@" + Clock(m_now.local) + (task.madeUpFor ? L" made up" : L""));
            }
        },
        core::TimeZoneOf(Utc())};
};

TEST_F(WarningTest, AWarningBeginsItsLengthBeforeTheRunWhichComesAtItsTimeWithoutAnAnswer) {
    AddStop(L"60");
    Run(At(22, 58, 50), At(23, 0, 5));
    EXPECT_EQ(m_warnings, std::vector<std::wstring>{L"09 22:59:00 60 can postpone"});
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"game.exe@09 23:00:00"});
    EXPECT_EQ(m_ended, std::vector<std::wstring>{L"09 23:00:00"});
    EXPECT_EQ(m_scheduler.Held().Count(), 0u);
}

TEST_F(WarningTest, APostponedRunWarnsAgainRunsLateOnceAndOnlyAsOftenAsTheTaskAllows) {
    const core::TaskId id = AddStop(L"60", L"2");
    Run(At(22, 59, 0), At(22, 59, 10));
    const long long due = m_lastDue;
    EXPECT_EQ(m_scheduler.Held().Postpone(id, due, 600), Local(At(23, 10, 0)));
    Run(At(22, 59, 11), At(23, 9, 30));
    EXPECT_TRUE(m_fired.empty());
    EXPECT_EQ(m_scheduler.Held().Postpone(id, due, 600), Local(At(23, 20, 0)));
    EXPECT_EQ(m_scheduler.Held().Postpone(id, due, 600), std::nullopt);
    Run(At(23, 9, 31), At(23, 20, 1));
    EXPECT_EQ(m_warnings, (std::vector<std::wstring>{L"09 22:59:00 60 can postpone", L"09 23:09:00 60 can postpone",
                                                     L"09 23:19:00 60"}));
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"game.exe@09 23:20:00"});
    EXPECT_EQ(m_tasks.Find(id)->task.lastRun, core::ToSeconds(At(23, 20, 0)));
}

TEST_F(WarningTest, ASkippedRunIsCancelledAndTheNextDaysRunIsUnchanged) {
    const core::TaskId id = AddStop(L"30");
    Run(At(22, 59, 30), At(22, 59, 40));
    EXPECT_TRUE(m_scheduler.Held().Skip(id, m_lastDue));
    EXPECT_FALSE(m_scheduler.Held().Postpone(id, m_lastDue, 600));
    Run(At(22, 59, 41), At(23, 0, 10));
    EXPECT_TRUE(m_fired.empty());
    EXPECT_EQ(m_tasks.Find(id)->task.lastRun, std::nullopt);
    Run(At(22, 59, 0, 10), At(23, 0, 1, 10));
    EXPECT_EQ(m_warnings, (std::vector<std::wstring>{L"09 22:59:30 30 can postpone", L"10 22:59:30 30 can postpone"}));
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"game.exe@10 23:00:00"});
}

TEST_F(WarningTest, CloseNowRunsAtTheNextTickInsteadOfAtTheTime) {
    const core::TaskId id = AddStop(L"60");
    Run(At(22, 59, 0), At(22, 59, 20));
    EXPECT_TRUE(m_scheduler.Held().RunEarly(id, m_lastDue));
    Run(At(22, 59, 21), At(23, 0, 30));
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"game.exe@09 22:59:21"});
}

TEST_F(WarningTest, AWarningThatCannotHaveItsLengthShowsTheSecondsLeft) {
    // Started inside the warning; and a repeat shorter than it.
    AddStop(L"120");
    Run(At(22, 59, 15), At(22, 59, 16));
    core::Task repeating{L"tool.exe", L"Stop",
                         core::FormatTaskTime(core::DateTimeValue::FromSystemTime(At(23, 30, 0)))};
    repeating.warn = L"120";
    repeating.every = L"1";
    m_tasks.Add(repeating);
    Run(At(23, 29, 0), At(23, 31, 0));
    EXPECT_EQ(m_warnings.front(), L"09 22:59:15 45 can postpone");
    EXPECT_EQ(m_warnings[1], L"09 23:29:00 60 can postpone");
    EXPECT_EQ(m_warnings[2], L"09 23:30:00 60 can postpone");
}

TEST_F(WarningTest, AMadeUpRunWarnsForTheWholeWarningFromNow) {
    core::Task task{L"game.exe", L"Stop", core::FormatTaskTime(core::DateTimeValue::FromSystemTime(At(23, 0, 0)))};
    task.warn = L"30";
    task.runIfMissed = true;
    task.lastRun = core::ToSeconds(At(23, 0, 0, 8));
    m_tasks.Add(task);
    Run(At(23, 30, 0), At(23, 30, 40));
    EXPECT_EQ(m_warnings, std::vector<std::wstring>{L"09 23:30:00 30 can postpone"});
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"game.exe@09 23:30:30 made up"});
}

}  // namespace
