// The tick's decisions, driven by a clock the test sets and a runner that records what fired.
#include "core/Scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using core::DateTimeValue;

SYSTEMTIME At(int hour, int minute, int second, int day = 9, int millisecond = 0) {
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
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
    void TickAt(const SYSTEMTIME& time) {
        m_now = time;
        m_scheduler.SchedulerTick();
    }

    core::MemoryTaskList m_tasks;
    SYSTEMTIME m_now = At(7, 0, 0);
    std::vector<std::wstring> m_fired;
    std::function<void(const std::wstring&)> m_onRun;
    core::Scheduler m_scheduler{m_tasks, [this] { return m_now; },
                                [this](const std::wstring& program, const std::wstring&) {
                                    m_fired.push_back(program);
                                    if (m_onRun) {
                                        m_onRun(program);
                                    }
                                }};
};

using Fired = std::vector<std::wstring>;

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

TEST_F(SchedulerTest, ClockSetBackFiresThatHourAgain) {
    AddTask(L"a", 7, 30, 0);
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0));
    TickAt(At(8, 29, 59));
    TickAt(At(7, 29, 59));  // set back an hour
    TickAt(At(7, 30, 0));
    EXPECT_EQ(m_fired, (Fired{L"a", L"a"}));
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

// A message box shown by a task runs a modal loop, in which the next timer messages tick again.
TEST_F(SchedulerTest, NestedTickNeverTakesASecondTwice) {
    AddTask(L"box", 7, 30, 0, L"Stop");
    AddTask(L"same second", 7, 30, 0);
    AddTask(L"next second", 7, 30, 1);
    AddTask(L"later", 7, 30, 3);
    m_onRun = [this](const std::wstring& program) {
        if (program != L"box") {
            return;
        }
        m_scheduler.SchedulerTick();  // still 07:30:00: taken already
        for (int second = 1; second <= 4; ++second) {
            TickAt(At(7, 30, second));
        }
    };
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0));
    EXPECT_EQ(m_fired, (Fired{L"box", L"next second", L"later", L"same second"}));
    TickAt(At(7, 30, 4));
    TickAt(At(7, 30, 5));
    EXPECT_EQ(m_fired.size(), 4u);
}

TEST_F(SchedulerTest, OuterTickStopsCatchingUpWhenANestedTickFindsTheClockSetBack) {
    AddTask(L"box", 7, 30, 0, L"Stop");
    AddTask(L"after", 7, 30, 2);
    m_onRun = [this](const std::wstring& program) {
        if (program == L"box") {
            TickAt(At(6, 0, 0));
        }
    };
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 3));  // would catch up to :03; the clock is set back meanwhile
    EXPECT_EQ(m_fired, Fired{L"box"});
}

TEST_F(SchedulerTest, RowRemovedWhileABoxIsOpenIsNotRead) {
    AddTask(L"box", 7, 30, 0, L"Stop");
    AddTask(L"removed", 7, 30, 0);
    m_onRun = [this](const std::wstring& program) {
        if (program == L"box") {
            m_tasks.RemoveTask(1);
        }
    };
    TickAt(At(7, 29, 59));
    TickAt(At(7, 30, 0));
    EXPECT_EQ(m_fired, Fired{L"box"});
}

TEST(IsTaskDue, ComparesHourMinuteAndSecondOnly) {
    const DateTimeValue task = DateTimeValue::FromSystemTime(At(7, 30, 0, 1));
    EXPECT_TRUE(core::IsTaskDue(task, DateTimeValue::FromSystemTime(At(7, 30, 0, 20))));
    EXPECT_FALSE(core::IsTaskDue(task, DateTimeValue::FromSystemTime(At(7, 30, 1, 1))));
    EXPECT_FALSE(core::IsTaskDue(task, DateTimeValue::FromSystemTime(At(7, 31, 0, 1))));
    EXPECT_FALSE(core::IsTaskDue(task, DateTimeValue::FromSystemTime(At(8, 30, 0, 1))));
}

TEST(IsTaskDue, InvalidNeverMatchesEvenAgainstMidnight) {
    const DateTimeValue midnight = core::ParseTaskTime(TimeText(0, 0, 0));
    ASSERT_TRUE(midnight.IsValid());
    const DateTimeValue now = DateTimeValue::FromSystemTime(At(0, 0, 0));
    EXPECT_TRUE(core::IsTaskDue(midnight, now));
    EXPECT_FALSE(core::IsTaskDue(DateTimeValue::Invalid(), now));
    EXPECT_FALSE(core::IsTaskDue(midnight, DateTimeValue::Invalid()));
    EXPECT_FALSE(core::IsTaskDue(DateTimeValue::Invalid(), DateTimeValue::Invalid()));
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
