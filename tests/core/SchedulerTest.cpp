// The tick's decisions, driven by a clock the test sets and a runner that records what fired.
#include "core/Scheduler.h"
#include "core/TaskTime.h"

#include "TimeZones.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace {

using core::DateTimeValue;
using Fired = std::vector<std::wstring>;

SYSTEMTIME At(int hour, int minute, int second, int day = 9, int millisecond = 0) {
    SYSTEMTIME time = testing_support::Date(2026, 12, day, hour, minute, second);
    time.wMilliseconds = static_cast<WORD>(millisecond);
    return time;
}

// The time text of a task, in whatever locale the test runs under.
std::wstring TimeText(int hour, int minute, int second) {
    return core::FormatTaskTime(DateTimeValue::FromSystemTime(At(hour, minute, second)));
}

class SchedulerTest : public ::testing::Test {
protected:
    void AddTask(const std::wstring& program, int hour, int minute, int second, const std::wstring& action = L"Start") {
        m_tasks.AppendTask(program, action, TimeText(hour, minute, second));
    }
    // A clock whose zone is UTC: the wall clock and UTC agree.
    void TickAt(const SYSTEMTIME& time) {
        m_now = {time, time};
        m_scheduler.SchedulerTick();
    }

    core::TaskStore m_tasks;
    core::ClockReading m_now{At(7, 0, 0), At(7, 0, 0)};
    std::vector<std::wstring> m_fired;
    std::function<void(const std::wstring&)> m_onRun;
    core::Scheduler m_scheduler{m_tasks, [this] { return m_now; },
                                [this](const std::vector<core::ScheduledTask>& due) {
                                    for (const core::ScheduledTask& task : due) {
                                        m_fired.push_back(task.program);
                                        if (m_onRun) {
                                            m_onRun(task.program);
                                        }
                                    }
                                }};
};

TEST_F(SchedulerTest, TaskFiresOnceInItsSecond) {
    AddTask(L"a", 7, 30, 0);
    TickAt(At(7, 29, 59));
    EXPECT_TRUE(m_fired.empty());
    TickAt(At(7, 30, 0));
    TickAt(At(7, 30, 1));
    TickAt(At(7, 30, 2));
    EXPECT_EQ(m_fired, Fired{L"a"});
}

TEST_F(SchedulerTest, LateTickFiresTheSkippedSecondOnce) {
    AddTask(L"a", 7, 30, 0);
    TickAt(At(7, 29, 58, 9, 700));
    TickAt(At(7, 30, 1, 9, 200));  // 2.5 seconds later: 07:29:59 and 07:30:00 were never read
    TickAt(At(7, 30, 2));
    EXPECT_EQ(m_fired, Fired{L"a"});
}

TEST_F(SchedulerTest, TwoTicksInOneSecondFireOnce) {
    AddTask(L"a", 7, 30, 0);
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0, 9, 10));
    TickAt(At(7, 30, 0, 9, 990));
    EXPECT_EQ(m_fired, Fired{L"a"});
}

TEST_F(SchedulerTest, FirstTickExaminesOnlyItsOwnSecond) {
    AddTask(L"earlier", 7, 30, 0);
    AddTask(L"now", 7, 30, 5);
    TickAt(At(7, 30, 5));
    EXPECT_EQ(m_fired, Fired{L"now"});
}

TEST_F(SchedulerTest, JumpForwardFiresNothingInBetween) {
    AddTask(L"between", 8, 0, 0);
    AddTask(L"landing", 9, 30, 0);
    TickAt(At(7, 30, 0));
    TickAt(At(9, 30, 0));  // two hours later
    EXPECT_EQ(m_fired, Fired{L"landing"});
}

TEST_F(SchedulerTest, CatchesUpAMinuteButNotMore) {
    AddTask(L"a", 7, 30, 30);
    TickAt(At(7, 30, 0));
    TickAt(At(7, 31, 0));  // 60 seconds: every second is examined
    EXPECT_EQ(m_fired, Fired{L"a"});

    m_fired.clear();
    TickAt(At(7, 31, 59));
    TickAt(At(7, 33, 0));  // a minute and a second from 07:31:59: not examined
    TickAt(At(7, 32, 0));  // back again: only 07:32:00 itself
    TickAt(At(7, 32, 40));
    EXPECT_TRUE(m_fired.empty());
    AddTask(L"b", 7, 32, 45);
    TickAt(At(7, 32, 50));
    EXPECT_EQ(m_fired, Fired{L"b"});
}

TEST_F(SchedulerTest, ClockSetBackAnHourFiresNothingTwice) {
    AddTask(L"a", 7, 30, 0);
    AddTask(L"not yet examined", 8, 45, 0);
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0));
    TickAt(At(8, 29, 59));  // a jump: 07:30:01 to 08:29:58 were never examined
    TickAt(At(7, 29, 59));  // set back an hour
    for (int minute = 30; minute < 60; ++minute) {
        TickAt(At(7, minute, 0));
    }
    for (int minute = 0; minute < 60; ++minute) {
        TickAt(At(8, minute, 0));
    }
    EXPECT_EQ(m_fired, (Fired{L"a", L"not yet examined"}));
}

TEST_F(SchedulerTest, MidnightFiresAtMidnight) {
    AddTask(L"midnight", 0, 0, 0);
    AddTask(L"bad", 0, 0, 0);
    m_tasks.ReplaceTask(1, L"bad", L"Start", L"not a time");
    TickAt(At(23, 59, 58, 9));
    TickAt(At(23, 59, 59, 9));
    EXPECT_TRUE(m_fired.empty());
    TickAt(At(0, 0, 1, 10));  // late: 00:00:00 of the next day is caught up
    EXPECT_EQ(m_fired, Fired{L"midnight"});
}

TEST_F(SchedulerTest, UnparsableTimeNeverFires) {
    m_tasks.AppendTask(L"empty", L"Start", L"");
    m_tasks.AppendTask(L"words", L"Start", L"half past seven");
    m_tasks.AppendTask(L"hour 25", L"Start", L"25:00:00");
    TickAt(At(23, 59, 30, 9));
    for (int second = 31; second < 60; ++second) {
        TickAt(At(23, 59, second, 9));
    }
    TickAt(At(0, 0, 0, 10));
    TickAt(At(0, 1, 0, 10));
    EXPECT_TRUE(m_fired.empty());
}

TEST_F(SchedulerTest, TasksOfOneSecondFireInRowOrderAndSecondsInTimeOrder) {
    AddTask(L"second row at :01", 7, 30, 1);
    AddTask(L"first at :00", 7, 30, 0);
    AddTask(L"third at :01", 7, 30, 1);
    AddTask(L"fourth at :00", 7, 30, 0);
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 2));  // one late tick examines :00, :01 and :02
    EXPECT_EQ(m_fired, (Fired{L"first at :00", L"fourth at :00", L"second row at :01", L"third at :01"}));
}

TEST_F(SchedulerTest, EmptyListTicksWithoutFiring) {
    TickAt(At(7, 30, 0));
    TickAt(At(7, 30, 1));
    EXPECT_TRUE(m_fired.empty());
}

// The tasks of one second are handed on together: a row removed meanwhile moves no other task's second.
TEST_F(SchedulerTest, RowRemovedWhileASecondRunsMovesNoOtherTask) {
    AddTask(L"removes itself", 7, 30, 0, L"Stop");
    AddTask(L"same second", 7, 30, 0);
    AddTask(L"next second", 7, 30, 1);
    m_onRun = [this](const std::wstring& program) {
        if (program == L"removes itself") {
            m_tasks.RemoveTask(0);
        }
    };
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 1));
    EXPECT_EQ(m_fired, (Fired{L"removes itself", L"same second", L"next second"}));
}

TEST_F(SchedulerTest, ChangesFireFromTheNextTick) {
    AddTask(L"a", 7, 30, 1);
    TickAt(At(7, 30, 0));
    m_tasks.ReplaceTask(0, L"changed", L"Start", TimeText(7, 30, 2));
    AddTask(L"added", 7, 30, 2);
    TickAt(At(7, 30, 1));
    TickAt(At(7, 30, 2));
    EXPECT_EQ(m_fired, (Fired{L"changed", L"added"}));
}

// The clock's own changes, one tick per second of UTC.
TEST_F(SchedulerTest, TimeSyncOneSecondBackDoublesNothing) {
    AddTask(L"a", 7, 30, 0);
    AddTask(L"b", 7, 30, 1);
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0));
    TickAt(At(7, 29, 59, 9, 400));  // corrected back by a second
    TickAt(At(7, 30, 0, 9, 400));
    TickAt(At(7, 30, 1, 9, 400));
    TickAt(At(7, 30, 2, 9, 400));
    EXPECT_EQ(m_fired, (Fired{L"a", L"b"}));
}

TEST_F(SchedulerTest, ClockSetBackTwoHoursLivesThemWithoutFiringAgain) {
    AddTask(L"7:30", 7, 30, 0);
    AddTask(L"8:15", 8, 15, 0);
    AddTask(L"9:15", 9, 15, 0);
    for (int second = 7 * 3600; second <= 9 * 3600; ++second) {
        TickAt(At(second / 3600, second / 60 % 60, second % 60));
    }
    EXPECT_EQ(m_fired, (Fired{L"7:30", L"8:15"}));
    for (int second = 7 * 3600; second <= 9 * 3600 + 30 * 60; ++second) {
        TickAt(At(second / 3600, second / 60 % 60, second % 60));
    }
    EXPECT_EQ(m_fired, (Fired{L"7:30", L"8:15", L"9:15"}));
}

TEST_F(SchedulerTest, JumpOfSixtyOneSecondsCatchesNothingUp) {
    AddTask(L"skipped", 7, 30, 30);
    AddTask(L"landing", 7, 31, 1);
    AddTask(L"after", 7, 31, 2);
    TickAt(At(7, 30, 0));
    TickAt(At(7, 31, 1));
    TickAt(At(7, 31, 2));
    EXPECT_EQ(m_fired, (Fired{L"landing", L"after"}));
}

// A clock set a year ahead by mistake and corrected: days that were never lived block nothing.
TEST_F(SchedulerTest, ClockCorrectedFromTheFutureFiresAtOnce) {
    AddTask(L"a", 7, 0, 10);
    TickAt(At(7, 0, 0));
    SYSTEMTIME future = At(7, 0, 5);
    future.wYear = 2027;
    TickAt(future);
    for (int second = 6; second <= 12; ++second) {
        TickAt(At(7, 0, second));
    }
    EXPECT_EQ(m_fired, Fired{L"a"});
}

// Daylight-saving changes under real zone rules: the local clock is what the platform makes of UTC.
class ZoneSchedulerTest : public ::testing::Test {
protected:
    struct Firing {
        std::wstring program;
        SYSTEMTIME local;
        SYSTEMTIME utc;
    };

    static TIME_ZONE_INFORMATION Eastern() { return testing_support::Eastern(); }
    static TIME_ZONE_INFORMATION CentralEurope() { return testing_support::CentralEurope(); }

    void AddTask(const std::wstring& program, int hour, int minute, int second) {
        m_tasks.AppendTask(program, L"Start", TimeText(hour, minute, second));
    }

    // Ticks once a second of UTC from the start, for that many seconds.
    void Run(const TIME_ZONE_INFORMATION& zone, SYSTEMTIME utcStart, int seconds) {
        FILETIME file{};
        ASSERT_TRUE(::SystemTimeToFileTime(&utcStart, &file));
        ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
        for (int i = 0; i < seconds; ++i, ticks.QuadPart += 10'000'000ULL) {
            const FILETIME at{ticks.LowPart, ticks.HighPart};
            ASSERT_TRUE(::FileTimeToSystemTime(&at, &m_now.utc));
            ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(&zone, &m_now.utc, &m_now.local));
            m_scheduler.SchedulerTick();
        }
    }

    static std::wstring Clock(const SYSTEMTIME& time) {
        wchar_t text[16]{};
        std::swprintf(text, std::size(text), L"%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
        return text;
    }
    // "program@local time when it fired", in firing order.
    std::vector<std::wstring> Fired() const {
        std::vector<std::wstring> fired;
        for (const Firing& firing : m_fired) {
            fired.push_back(firing.program + L"@" + Clock(firing.local));
        }
        return fired;
    }

    core::TaskStore m_tasks;
    core::ClockReading m_now;
    std::vector<Firing> m_fired;
    core::Scheduler m_scheduler{m_tasks, [this] { return m_now; },
                                [this](const std::vector<core::ScheduledTask>& due) {
                                    for (const core::ScheduledTask& task : due) {
                                        m_fired.push_back({task.program, m_now.local, m_now.utc});
                                    }
                                }};
};

// The UTC moment where a run of ticks begins.
SYSTEMTIME Utc(int year, int month, int day, int hour, int minute = 0) {
    return testing_support::Date(year, month, day, hour, minute);
}

constexpr int kFourHours = 4 * 3600;

// 8 March 2026, 02:00 EST becomes 03:00 EDT: the skipped hour's tasks run at 03:00, once.
TEST_F(ZoneSchedulerTest, UsSpringSkippedHourFiresOnceRightAfterTheJump) {
    AddTask(L"before", 1, 59, 59);
    AddTask(L"skipped 2:00", 2, 0, 0);
    AddTask(L"skipped 2:30", 2, 30, 0);
    AddTask(L"skipped 2:59:59", 2, 59, 59);
    AddTask(L"3:00", 3, 0, 0);
    AddTask(L"3:00:01", 3, 0, 1);
    Run(Eastern(), Utc(2026, 3, 8, 5), kFourHours);  // 00:00 EST to 05:00 EDT
    EXPECT_EQ(Fired(),
              (std::vector<std::wstring>{L"before@01:59:59", L"skipped 2:00@03:00:00", L"skipped 2:30@03:00:00",
                                         L"skipped 2:59:59@03:00:00", L"3:00@03:00:00", L"3:00:01@03:00:01"}));
}

// 1 November 2026, 02:00 EDT becomes 01:00 EST: the repeated hour fires its tasks the first time only.
TEST_F(ZoneSchedulerTest, UsAutumnRepeatedHourFiresOnce) {
    AddTask(L"0:59:59", 0, 59, 59);
    AddTask(L"1:00", 1, 0, 0);
    AddTask(L"1:30", 1, 30, 0);
    AddTask(L"1:59:59", 1, 59, 59);
    AddTask(L"2:00", 2, 0, 0);
    Run(Eastern(), Utc(2026, 11, 1, 4), kFourHours);  // 00:00 EDT to 03:00 EST
    EXPECT_EQ(Fired(), (std::vector<std::wstring>{L"0:59:59@00:59:59", L"1:00@01:00:00", L"1:30@01:30:00",
                                                  L"1:59:59@01:59:59", L"2:00@02:00:00"}));
    ASSERT_EQ(m_fired.size(), 5u);
    // 01:30 fired in daylight time (05:30 UTC), not in the repeated standard-time hour (06:30 UTC).
    EXPECT_EQ(m_fired[2].utc.wHour, 5);
    EXPECT_EQ(m_fired[4].utc.wHour, 7);
}

// 29 March 2026, 02:00 CET becomes 03:00 CEST.
TEST_F(ZoneSchedulerTest, EuSpringSkippedHourFiresOnceRightAfterTheJump) {
    AddTask(L"skipped 2:30", 2, 30, 0);
    AddTask(L"3:30", 3, 30, 0);
    Run(CentralEurope(), Utc(2026, 3, 28, 23), kFourHours);  // 00:00 CET to 05:00 CEST
    EXPECT_EQ(Fired(), (std::vector<std::wstring>{L"skipped 2:30@03:00:00", L"3:30@03:30:00"}));
}

// 25 October 2026, 03:00 CEST becomes 02:00 CET.
TEST_F(ZoneSchedulerTest, EuAutumnRepeatedHourFiresOnce) {
    AddTask(L"2:30", 2, 30, 0);
    AddTask(L"2:59:59", 2, 59, 59);
    AddTask(L"3:00", 3, 0, 0);
    Run(CentralEurope(), Utc(2026, 10, 24, 22), kFourHours + 60);  // 00:00 CEST to 03:01 CET
    EXPECT_EQ(Fired(), (std::vector<std::wstring>{L"2:30@02:30:00", L"2:59:59@02:59:59", L"3:00@03:00:00"}));
}

// A tick that is late across the change still catches up the skipped hour and the seconds it missed.
TEST_F(ZoneSchedulerTest, LateTickAcrossTheSpringChangeCatchesUp) {
    AddTask(L"1:59:58", 1, 59, 58);
    AddTask(L"2:30", 2, 30, 0);
    AddTask(L"3:00:01", 3, 0, 1);
    const TIME_ZONE_INFORMATION zone = Eastern();
    Run(zone, Utc(2026, 3, 8, 6, 59), 57);  // up to 01:59:56 EST
    SYSTEMTIME late = Utc(2026, 3, 8, 7);
    late.wSecond = 2;  // 03:00:02 EDT, six seconds later
    m_now.utc = late;
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(&zone, &m_now.utc, &m_now.local));
    m_scheduler.SchedulerTick();
    EXPECT_EQ(Fired(), (std::vector<std::wstring>{L"1:59:58@03:00:02", L"2:30@03:00:02", L"3:00:01@03:00:02"}));
}

// The thread ticks at the start of each wall-clock second: how far into its second each tick came is
// printed, and only a generous bound is asserted.
TEST(SchedulerThread, TicksFollowTheWallClockSecond) {
    std::mutex mutex;
    std::condition_variable ticked;
    std::vector<SYSTEMTIME> ticks;
    {
        core::SchedulerThread thread([&] {
            SYSTEMTIME now{};
            ::GetSystemTime(&now);
            const std::lock_guard lock(mutex);
            ticks.push_back(now);
            ticked.notify_one();
        });
        std::unique_lock lock(mutex);
        ASSERT_TRUE(ticked.wait_for(lock, std::chrono::seconds(10), [&] { return ticks.size() >= 4; }));
    }
    const size_t count = ticks.size();
    for (size_t i = 0; i < count; ++i) {
        std::printf("tick %zu came %u ms into its second\n", i, ticks[i].wMilliseconds);
        EXPECT_LT(ticks[i].wMilliseconds, 500u);
        if (i > 0) {
            // One tick per second: never two in the same second.
            EXPECT_NE(ticks[i].wSecond, ticks[i - 1].wSecond);
        }
    }
}

TEST(RunTaskAction, StartInAnyLetterCaseStartsEverythingElseStops) {
    for (const wchar_t* start : {L"Start", L"START", L"start", L"sTaRt"}) {
        EXPECT_TRUE(core::IsStartAction(start)) << start;
    }
    for (const wchar_t* stop : {L"Stop", L"Pause", L"", L"Start ", L" start", L"Starts"}) {
        EXPECT_FALSE(core::IsStartAction(stop)) << stop;
    }
}

}  // namespace
