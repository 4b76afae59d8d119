// The choices a task gained beyond its three texts: their profile texts, the days and catch-up decisions
// of the scheduler, and the wake timer, driven by clocks and zones the test sets.
#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"
#include "core/WakeTimer.h"

#include "TimeZones.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::Date;

long long Seconds(const SYSTEMTIME& time) {
    return core::ToSeconds(time).value();
}

std::wstring TimeText(int hour, int minute, int second) {
    return core::FormatTaskTime(core::DateTimeValue::FromSystemTime(Date(2026, 12, 9, hour, minute, second)));
}

TEST(TaskOptionTexts, DaysReadAndWriteInEveryCaseAndMarkTextsThatNameNoDay) {
    EXPECT_EQ(core::ParseDays(L""), core::kEveryDay);
    EXPECT_EQ(core::ParseDays(L"  "), core::kEveryDay);
    EXPECT_EQ(core::ParseDays(L"Mon,Tue,Wed,Thu,Fri"), core::kWorkDays);
    EXPECT_EQ(core::ParseDays(L" sat , SUN "), core::DayMask{0x41});
    EXPECT_EQ(core::ParseDays(L"Mon,,Mon,"), core::DayMask{0x02});
    // A name of another language or a typing error: the task is marked, not run on days nobody chose.
    EXPECT_EQ(core::ParseDays(L"Mon,Dienstag"), std::nullopt);
    EXPECT_EQ(core::ParseDays(L","), std::nullopt);

    EXPECT_EQ(core::FormatDays(core::kEveryDay), L"");
    EXPECT_EQ(core::FormatDays(core::kWorkDays), L"Mon,Tue,Wed,Thu,Fri");
    EXPECT_EQ(core::FormatDays(0x41), L"Sat,Sun");
    EXPECT_EQ(core::DaysDisplayText(core::kEveryDay), L"Every day");
    EXPECT_EQ(core::DaysDisplayText(core::kWorkDays), L"Mon\u2013Fri");
    EXPECT_EQ(core::DaysDisplayText(0x41), L"Sat,Sun");
    for (core::DayMask days = 1; days <= core::kEveryDay; ++days) {
        EXPECT_EQ(core::ParseDays(core::FormatDays(days)), days) << days;
    }

    // 9 December 2026 is a Wednesday (bit 3), the 13th a Sunday (bit 0).
    EXPECT_EQ(core::DayOfWeekBit(Seconds(Date(2026, 12, 9, 23, 59, 59))), 1u << 3);
    EXPECT_EQ(core::DayOfWeekBit(Seconds(Date(2026, 12, 13, 0))), 1u << 0);
}

TEST(TaskOptionTexts, FlagsAndLastRunKeepTheMeaningOfAMissingKey) {
    EXPECT_TRUE(core::ParseEnabled(L""));
    EXPECT_TRUE(core::ParseEnabled(L"yes"));
    EXPECT_FALSE(core::ParseEnabled(L" false "));
    EXPECT_FALSE(core::ParseYes(L""));
    EXPECT_FALSE(core::ParseYes(L"1"));
    EXPECT_TRUE(core::ParseYes(L"True"));

    const long long moment = Seconds(Date(2026, 3, 8, 7, 5, 9));
    EXPECT_EQ(core::FormatUtc(moment), L"2026-03-08T07:05:09Z");
    EXPECT_EQ(core::ParseUtc(L"2026-03-08T07:05:09Z"), moment);
    EXPECT_EQ(core::ParseUtc(L"2026-03-08t07:05:09z"), moment);
    for (const wchar_t* bad : {L"", L"2026-03-08 07:05:09Z", L"2026-02-30T07:05:09Z", L"2026-03-08T24:00:00Z",
                               L"2026-03-08T07:05:09", L"3/8/2026 7:05:09 AM"}) {
        EXPECT_EQ(core::ParseUtc(bad), std::nullopt) << bad;
    }
}

TEST(TaskOptionTexts, IdsRepeatsTimesAndDatesReadOnlyTheirOneForm) {
    EXPECT_EQ(core::ParseTaskId(L" 42 "), 42u);
    EXPECT_EQ(core::ParseEvery(L"1440"), 1440);
    EXPECT_EQ(core::ParseTime24(L"18:00:00"), 18 * 3600);
    EXPECT_EQ(core::FormatTime24(18 * 3600 + 5), L"18:00:05");
    const long long christmasEve = Seconds(Date(2026, 12, 24, 0));
    EXPECT_EQ(core::ParseDate(L"2026-12-24"), christmasEve);
    EXPECT_EQ(core::FormatDate(christmasEve + 3600), L"2026-12-24");
    EXPECT_EQ(core::ParseDate(L"2028-02-29"), Seconds(Date(2028, 2, 29, 0)));
    for (const wchar_t* bad : {L"", L"0", L"-1", L"1e3", L"12345678901234567890"}) {
        EXPECT_EQ(core::ParseTaskId(bad), std::nullopt) << bad;
    }
    for (const wchar_t* bad : {L"0", L"1441", L"+5", L"15 min", L""}) {
        EXPECT_EQ(core::ParseEvery(bad), std::nullopt) << bad;
    }
    // A warning and its postponements: empty is the default, anything but digits in range warns of nothing.
    EXPECT_EQ(core::ParseWarn(L""), 0);
    EXPECT_EQ(core::ParseWarn(L" 3600 "), 3600);
    EXPECT_EQ(core::ParseMaxPostpones(L""), core::kDefaultMaxPostpones);
    EXPECT_EQ(core::ParseMaxPostpones(L"0"), 0);
    for (const wchar_t* bad : {L"3601", L"-1", L"60s", L"1e2"}) {
        EXPECT_EQ(core::ParseWarn(bad), std::nullopt) << bad;
        EXPECT_EQ(core::ParseMaxPostpones(bad), std::nullopt) << bad;
    }
    for (const wchar_t* bad : {L"24:00:00", L"6:00:00", L"06:00", L"06:00:00 PM", L"06:60:00"}) {
        EXPECT_EQ(core::ParseTime24(bad), std::nullopt) << bad;
    }
    for (const wchar_t* bad : {L"2026-02-29", L"2026-13-01", L"2026-12-32", L"24.12.2026", L"2026-12-24T00:00:00Z"}) {
        EXPECT_EQ(core::ParseDate(bad), std::nullopt) << bad;
    }
}

// A scheduler on a zone the test chooses, whose clock the test sets, recording what ran.
class ChoiceSchedulerTest : public ::testing::Test {
protected:
    static TIME_ZONE_INFORMATION Eastern() { return testing_support::Eastern(); }
    static TIME_ZONE_INFORMATION CentralEurope() { return testing_support::CentralEurope(); }

    // The UTC moment of a local wall-clock time in the zone.
    long long UtcOf(const SYSTEMTIME& local) const { return m_zoneRules.toUtc(Seconds(local)).value(); }

    core::Task MakeTask(const std::wstring& program, int hour, int minute, int second) const {
        return core::Task{program, L"Start", TimeText(hour, minute, second)};
    }

    // A new scheduler, as a new start of the program makes one; the store stays.
    void Restart() {
        m_scheduler = std::make_unique<core::Scheduler>(
            m_tasks, [this] { return m_now; },
            [this](const std::vector<core::ScheduledTask>& due) {
                for (const core::ScheduledTask& task : due) {
                    m_fired.push_back(task.program + L"@" + Clock(m_now.local));
                    if (task.madeUpFor) {
                        m_madeUp.push_back(task.program + L" for " + LocalClock(*task.madeUpFor));
                    }
                }
            },
            m_zoneRules, [this](std::optional<core::UtcSeconds> moment) { m_wakes.push_back(moment); }, m_fileWatched);
        m_scheduler->SetMissedReport([this](const core::ScheduledTask& task, long long dueLocal) {
            m_missed.push_back(task.program + L" at " + LocalClock(dueLocal));
        });
    }
    static std::wstring LocalClock(long long localSeconds) { return Clock(core::FromSeconds(localSeconds).value()); }
    // The program exits, writing the watched mark, and starts again with it.
    void ExitAndRestart() {
        m_fileWatched = m_scheduler->Watched();
        Restart();
    }

    void SetZone(const TIME_ZONE_INFORMATION& zone) {
        m_zone = zone;
        m_zoneRules = core::TimeZoneOf(zone);
        Restart();
    }

    // Ticks once a second from the local time, for that many seconds.
    void Run(const SYSTEMTIME& localStart, int seconds) { RunUtc(UtcOf(localStart), seconds); }
    void RunUtc(long long utc, int seconds) {
        for (int i = 0; i < seconds; ++i, ++utc) {
            TickAtUtc(utc);
        }
    }
    void TickAtUtc(long long utc) {
        m_now.utc = core::FromSeconds(utc).value();
        ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(&m_zone, &m_now.utc, &m_now.local));
        m_scheduler->SchedulerTick();
    }
    void TickAtLocal(const SYSTEMTIME& local) { TickAtUtc(UtcOf(local)); }

    static std::wstring Clock(const SYSTEMTIME& time) {
        wchar_t text[32]{};
        std::swprintf(text, std::size(text), L"%02u %02u:%02u:%02u", time.wDay, time.wHour, time.wMinute, time.wSecond);
        return text;
    }

    TIME_ZONE_INFORMATION m_zone{};
    core::TimeZoneRules m_zoneRules;
    core::TaskStore m_tasks;
    core::ClockReading m_now;
    std::vector<std::wstring> m_fired;
    // Runs made up, with the due time each was for; and due times told of as missed.
    std::vector<std::wstring> m_madeUp;
    std::vector<std::wstring> m_missed;
    std::vector<std::optional<core::UtcSeconds>> m_wakes;
    // The watched mark of the profile a start reads; none for a profile of an earlier version.
    std::optional<core::UtcSeconds> m_fileWatched;
    std::unique_ptr<core::Scheduler> m_scheduler;
};

TEST_F(ChoiceSchedulerTest, DaysAndEnabledDecideWhetherADueTaskRuns) {
    SetZone(CentralEurope());
    core::Task workdays = MakeTask(L"workdays", 7, 0, 5);
    workdays.days = L"Mon,Tue,Wed,Thu,Fri";
    m_tasks.AppendTask(workdays);
    core::Task disabled = MakeTask(L"disabled", 7, 0, 5);
    disabled.enabled = false;
    m_tasks.AppendTask(disabled);
    core::Task unreadable = MakeTask(L"unreadable days", 7, 0, 5);
    unreadable.days = L"Mo,Di";
    m_tasks.AppendTask(unreadable);
    m_tasks.AppendTask(MakeTask(L"daily", 7, 0, 5));

    // Saturday 12 December, Sunday 13, Monday 14.
    for (const int day : {12, 13, 14}) {
        Run(Date(2026, 12, day, 7, 0, 0), 10);
    }
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"daily@12 07:00:05", L"daily@13 07:00:05", L"workdays@14 07:00:05",
                                                  L"daily@14 07:00:05"}));
    // Every run is noted; a task that did not run has no last run.
    EXPECT_EQ(m_tasks.GetTask(0).lastRun, UtcOf(Date(2026, 12, 14, 7, 0, 5)));
    EXPECT_EQ(m_tasks.GetTask(1).lastRun, std::nullopt);
    EXPECT_EQ(m_tasks.GetTask(3).lastRun, UtcOf(Date(2026, 12, 14, 7, 0, 5)));
}

TEST_F(ChoiceSchedulerTest, AMissedRunIsMadeUpOnceAtStartUpAndNotAgainAfterARestart) {
    SetZone(Eastern());
    core::Task backup = MakeTask(L"backup", 2, 0, 0);
    backup.runIfMissed = true;
    // It last ran three days ago: only the latest missed time runs, once.
    backup.lastRun = UtcOf(Date(2026, 12, 6, 2, 0, 0));
    m_tasks.AppendTask(backup);
    core::Task plain = MakeTask(L"plain", 2, 0, 0);
    plain.lastRun = backup.lastRun;
    m_tasks.AppendTask(plain);
    core::Task neverRan = MakeTask(L"never ran", 2, 0, 0);
    neverRan.runIfMissed = true;
    m_tasks.AppendTask(neverRan);

    Run(Date(2026, 12, 9, 8, 0, 0), 5);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"backup@09 08:00:00"});
    EXPECT_EQ(m_tasks.GetTask(0).lastRun, UtcOf(Date(2026, 12, 9, 8, 0, 0)));

    Restart();
    Run(Date(2026, 12, 9, 9, 0, 0), 5);
    EXPECT_EQ(m_fired.size(), 1u);
    // The next night runs as usual, and a start after it finds nothing missed.
    Run(Date(2026, 12, 10, 1, 59, 58), 4);
    Restart();
    Run(Date(2026, 12, 10, 8, 0, 0), 3);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"backup@09 08:00:00", L"backup@10 02:00:00", L"plain@10 02:00:00",
                                                  L"never ran@10 02:00:00"}));
}

// With the watched mark, a task that never ran is made up for a time nobody watched, once; a restart after the
// make-up, or a clock set back after it, runs it no second time for that time.
TEST_F(ChoiceSchedulerTest, AWatchedMarkMakesUpATaskThatNeverRanOnceAndNeverAgainForThatTime) {
    SetZone(CentralEurope());
    core::Task backup = MakeTask(L"backup", 2, 0, 0);
    backup.runIfMissed = true;
    m_tasks.AppendTask(backup);
    m_tasks.AppendTask(MakeTask(L"plain", 2, 0, 0));

    // Known before its time: Marlowick watched until 01:30 and was closed.
    Run(Date(2026, 12, 9, 1, 29, 58), 3);
    ExitAndRestart();
    Run(Date(2026, 12, 9, 8, 0, 0), 3);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"backup@09 08:00:00"});

    // A restart right after the make-up runs nothing.
    ExitAndRestart();
    Run(Date(2026, 12, 9, 8, 10, 0), 3);
    // The clock is set back over the due time, and Marlowick starts again on the way: 02:00 does not run again.
    TickAtLocal(Date(2026, 12, 9, 1, 59, 0));
    ExitAndRestart();
    Run(Date(2026, 12, 9, 1, 59, 58), 4);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"backup@09 08:00:00", L"plain@09 02:00:00"}));
}

// A due time that passed while Marlowick watched is never made up: not for a task enabled after it, nor for one
// moved to an earlier time.
TEST_F(ChoiceSchedulerTest, ATaskEnabledOrMovedEarlierWhileWatchedIsNotMadeUpForThatTime) {
    SetZone(Eastern());
    core::Task enabledLater = MakeTask(L"enabled later", 2, 0, 0);
    enabledLater.runIfMissed = true;
    enabledLater.enabled = false;
    m_tasks.AppendTask(enabledLater);
    core::Task movedEarlier = MakeTask(L"moved earlier", 5, 0, 0);
    movedEarlier.runIfMissed = true;
    m_tasks.AppendTask(movedEarlier);

    Run(Date(2026, 12, 9, 1, 59, 58), 4);
    Run(Date(2026, 12, 9, 3, 0, 0), 2);
    core::TaskChange enable;
    enable.enabled = true;
    ASSERT_TRUE(m_tasks.Change(m_tasks.GetTaskId(0), enable));
    core::TaskChange earlier;
    earlier.time = TimeText(1, 0, 0);
    ASSERT_TRUE(m_tasks.Change(m_tasks.GetTaskId(1), earlier));
    Run(Date(2026, 12, 9, 3, 0, 2), 2);
    // A sleep, and then an exit and a start, later that morning.
    TickAtLocal(Date(2026, 12, 9, 6, 0, 0));
    m_scheduler->NoticeResume();
    Run(Date(2026, 12, 9, 6, 0, 1), 2);
    ExitAndRestart();
    Run(Date(2026, 12, 9, 9, 0, 0), 2);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{});
    // The next night is missed while nobody watches: both are made up, once.
    ExitAndRestart();
    Run(Date(2026, 12, 10, 7, 0, 0), 2);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"enabled later@10 07:00:00", L"moved earlier@10 07:00:00"}));
}

// A task that wakes the computer runs after a resume that came later than its second: the first tick after a sleep
// comes more than a minute after the last one, which alone would look at the current second only.
TEST_F(ChoiceSchedulerTest, AWakingTaskRunsWhenTheFirstTickAfterTheResumeComesWellPastItsSecond) {
    SetZone(CentralEurope());
    core::Task woken = MakeTask(L"woken", 2, 0, 0);
    woken.wake = true;
    m_tasks.AppendTask(woken);
    core::Task longAgo = MakeTask(L"long ago", 1, 50, 0);
    longAgo.wake = true;
    m_tasks.AppendTask(longAgo);
    m_tasks.AppendTask(MakeTask(L"not waking", 2, 1, 0));

    Run(Date(2026, 12, 9, 1, 48, 0), 3);
    Run(Date(2026, 12, 9, 1, 58, 0), 3);
    // Asleep from 01:58:02; the first tick comes at 02:03:30, before the power notice.
    TickAtLocal(Date(2026, 12, 9, 2, 3, 30));
    m_scheduler->NoticeResume();
    Run(Date(2026, 12, 9, 2, 3, 31), 3);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"woken@09 02:03:30"});
    EXPECT_EQ(m_tasks.GetTask(0).lastRun, UtcOf(Date(2026, 12, 9, 2, 3, 30)));
}

TEST_F(ChoiceSchedulerTest, ASleepThroughTheDueTimeIsMadeUpOnceOnResumeAndOnlyOnItsDays) {
    SetZone(CentralEurope());
    core::Task backup = MakeTask(L"backup", 2, 0, 0);
    backup.runIfMissed = true;
    backup.lastRun = UtcOf(Date(2026, 12, 8, 2, 0, 0));
    m_tasks.AppendTask(backup);
    core::Task weekend = MakeTask(L"weekend", 3, 0, 0);
    weekend.runIfMissed = true;
    weekend.days = L"Sat,Sun";
    weekend.lastRun = UtcOf(Date(2026, 12, 6, 3, 0, 0));
    m_tasks.AppendTask(weekend);

    Run(Date(2026, 12, 9, 0, 59, 0), 30);
    // The machine sleeps until 07:30; the first tick after it comes more than a minute later.
    TickAtLocal(Date(2026, 12, 9, 7, 30, 0));
    // The resume message comes after that tick: nothing runs twice.
    m_scheduler->NoticeResume();
    Run(Date(2026, 12, 9, 7, 30, 1), 3);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"backup@09 07:30:00"});
}

TEST_F(ChoiceSchedulerTest, DaylightSavingChangesNeverRunAMissableTaskTwice) {
    // Autumn in Europe: 03:00 CEST becomes 02:00 CET on 25 October 2026. The task runs in the first 02:30
    // (00:30 UTC); a resume in the repeated hour, and a restart in it before and after 02:30 come again,
    // find nothing missed and run nothing a second time.
    SetZone(CentralEurope());
    core::Task night = MakeTask(L"night", 2, 30, 0);
    night.runIfMissed = true;
    night.lastRun = UtcOf(Date(2026, 10, 24, 2, 30, 0));
    m_tasks.AppendTask(night);
    const long long firstPass = Seconds(Date(2026, 10, 25, 0, 29, 58));
    RunUtc(firstPass, 4);
    const long long secondPass = firstPass + 3600;
    m_scheduler->NoticeResume();
    RunUtc(secondPass, 1);
    Restart();
    RunUtc(secondPass + 1, 5);
    Restart();
    RunUtc(secondPass + 600, 1);
    EXPECT_EQ(m_fired, std::vector<std::wstring>{L"night@25 02:30:00"});

    // Spring in the US: 02:00 EST becomes 03:00 EDT on 8 March 2026. Asleep across it, the 02:30 task is
    // made up once at the wake; awake, it runs at 03:00 and a resume after that adds nothing.
    m_fired.clear();
    SetZone(Eastern());
    core::Task skipped = MakeTask(L"skipped", 2, 30, 0);
    skipped.runIfMissed = true;
    skipped.lastRun = UtcOf(Date(2026, 3, 7, 2, 30, 0));
    m_tasks.ReplaceTask(0, skipped);
    Run(Date(2026, 3, 8, 1, 0, 0), 3);
    TickAtLocal(Date(2026, 3, 8, 9, 0, 0));
    m_scheduler->NoticeResume();
    TickAtLocal(Date(2026, 3, 8, 9, 0, 1));
    m_tasks.ReplaceTask(0, skipped);
    Restart();
    Run(Date(2026, 3, 8, 1, 59, 58), 4);
    m_scheduler->NoticeResume();
    Run(Date(2026, 3, 8, 3, 0, 2), 2);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"skipped@08 09:00:00", L"skipped@08 03:00:00"}));
}

TEST_F(ChoiceSchedulerTest, RepeatsFireOnceEachPeriodUpToTheirEndAndADateOnItsDayAlone) {
    SetZone(CentralEurope());
    core::Task repeat = MakeTask(L"repeat", 10, 0, 0);
    repeat.every = L"1";
    repeat.until = L"10:03:00";
    m_tasks.AppendTask(repeat);
    core::Task today = MakeTask(L"today", 10, 1, 30);
    today.date = L"2026-12-10";
    today.days = L"Sat";
    m_tasks.AppendTask(today);
    core::Task tomorrow = MakeTask(L"tomorrow", 10, 1, 30);
    tomorrow.date = L"2026-12-11";
    m_tasks.AppendTask(tomorrow);
    // An end not later than the time is no end: it repeats to the end of the day.
    core::Task badEnd = MakeTask(L"bad end", 10, 2, 30);
    badEnd.every = L"2";
    badEnd.until = L"10:02:30";
    m_tasks.AppendTask(badEnd);

    Run(Date(2026, 12, 10, 9, 59, 50), 4 * 60 + 30);
    // The clock is set back two minutes: no minute fires twice.
    Run(Date(2026, 12, 10, 10, 2, 20), 2 * 60 + 20);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"repeat@10 10:00:00", L"repeat@10 10:01:00", L"today@10 10:01:30",
                                                  L"repeat@10 10:02:00", L"bad end@10 10:02:30", L"repeat@10 10:03:00",
                                                  L"bad end@10 10:04:30"}));

    const auto next = [&](int row, const SYSTEMTIME& after) {
        const std::shared_ptr<const core::Schedule> schedule = m_tasks.CurrentSchedule();
        for (const core::ScheduledTask& task : schedule->Tasks()) {
            if (task.row == row) {
                const std::optional<long long> second = core::NextDueSecond(task, Seconds(after));
                return second ? LocalClock(*second) : std::wstring(L"never");
            }
        }
        return std::wstring(L"not scheduled");
    };
    EXPECT_EQ(next(0, Date(2026, 12, 10, 10, 1, 0)), L"10 10:02:00");
    EXPECT_EQ(next(0, Date(2026, 12, 10, 10, 3, 0)), L"11 10:00:00");
    EXPECT_EQ(next(1, Date(2026, 12, 10, 10, 1, 30)), L"never");
    EXPECT_EQ(next(2, Date(2026, 12, 1, 0)), L"11 10:01:30");
    EXPECT_EQ(next(3, Date(2026, 12, 10, 23, 59, 0)), L"11 10:02:30");
}

TEST_F(ChoiceSchedulerTest, AGapIsMadeUpByOneRunAndEveryOtherTaskIsToldAsMissedOnce) {
    SetZone(CentralEurope());
    core::Task repeat = MakeTask(L"repeat", 8, 0, 0);
    repeat.every = L"15";
    repeat.runIfMissed = true;
    m_tasks.AppendTask(repeat);
    core::Task once = MakeTask(L"once", 9, 0, 0);
    once.date = L"2026-12-10";
    once.runIfMissed = true;
    m_tasks.AppendTask(once);
    core::Task plain = MakeTask(L"plain", 8, 0, 0);
    plain.every = L"15";
    m_tasks.AppendTask(plain);
    m_tasks.AppendTask(MakeTask(L"later", 11, 0, 0));

    // Watched until 07:00, started again at 10:07.
    m_fileWatched = UtcOf(Date(2026, 12, 10, 7, 0, 0));
    Restart();
    Run(Date(2026, 12, 10, 10, 7, 0), 2);
    EXPECT_EQ(m_fired, (std::vector<std::wstring>{L"repeat@10 10:07:00", L"once@10 10:07:00"}));
    EXPECT_EQ(m_madeUp, (std::vector<std::wstring>{L"repeat for 10 10:00:00", L"once for 10 09:00:00"}));
    EXPECT_EQ(m_missed, (std::vector<std::wstring>{L"plain at 10 10:00:00"}));

    // Started again a minute later: nothing more is made up or told, and the one-time task never runs again.
    ExitAndRestart();
    Run(Date(2026, 12, 10, 10, 8, 0), 2);
    m_fileWatched = UtcOf(Date(2026, 12, 10, 10, 8, 1));
    Restart();
    Run(Date(2026, 12, 11, 10, 8, 0), 2);
    EXPECT_EQ(m_madeUp, (std::vector<std::wstring>{L"repeat for 10 10:00:00", L"once for 10 09:00:00",
                                                   L"repeat for 11 10:00:00"}));
    EXPECT_EQ(m_missed,
              (std::vector<std::wstring>{L"plain at 10 10:00:00", L"plain at 11 10:00:00", L"later at 10 11:00:00"}));
}

TEST_F(ChoiceSchedulerTest, TheWakeTimerIsSetForTheNextWakingTaskAfterEveryChangeAndRun) {
    SetZone(Eastern());
    core::Task early = MakeTask(L"early", 6, 0, 0);
    early.wake = true;
    early.days = L"Mon,Tue,Wed,Thu,Fri";
    m_tasks.AppendTask(early);
    m_tasks.AppendTask(MakeTask(L"not waking", 5, 0, 0));

    // The computer wakes a minute before the task's time. Friday 11 December, 05:59:58: the next wake is for
    // 06:00 today; after the run, for Monday's 06:00 (EST).
    constexpr long long kLead = core::Scheduler::kWakeLeadSeconds;
    Run(Date(2026, 12, 11, 5, 59, 58), 4);
    ASSERT_EQ(m_wakes.size(), 2u);
    EXPECT_EQ(m_wakes[0], UtcOf(Date(2026, 12, 11, 6, 0, 0)) - kLead);
    EXPECT_EQ(m_wakes[1], Seconds(Date(2026, 12, 14, 11, 0, 0)) - kLead);
    // An idle tick changes nothing.
    Run(Date(2026, 12, 11, 6, 0, 2), 2);
    EXPECT_EQ(m_wakes.size(), 2u);

    // A change: a task that wakes on Saturday comes first.
    core::Task saturday = MakeTask(L"saturday", 9, 30, 0);
    saturday.wake = true;
    saturday.days = L"Sat";
    m_tasks.AppendTask(saturday);
    Run(Date(2026, 12, 11, 6, 0, 4), 1);
    ASSERT_EQ(m_wakes.size(), 3u);
    EXPECT_EQ(m_wakes[2], UtcOf(Date(2026, 12, 12, 9, 30, 0)) - kLead);

    // No task wakes the computer any more: the timer is cancelled. A disabled task wakes nothing.
    saturday.enabled = false;
    m_tasks.ReplaceTask(2, saturday);
    m_tasks.RemoveTask(0);
    Run(Date(2026, 12, 11, 6, 0, 5), 1);
    ASSERT_EQ(m_wakes.size(), 4u);
    EXPECT_EQ(m_wakes[3], std::nullopt);
}

TEST(WakeTimerTest, ArmsWithResumeAtTheMomentAndCancelsWhenNoneIsLeft) {
    struct Call {
        bool cancel;
        long long due;
        bool resume;
    };
    std::vector<Call> calls;
    core::WakeTimer timer({[&](HANDLE handle, const LARGE_INTEGER& due, bool resume) {
                               EXPECT_TRUE(handle);
                               calls.push_back({false, due.QuadPart, resume});
                               return true;
                           },
                           [&](HANDLE) {
                               calls.push_back({true, 0, false});
                               return true;
                           }});
    const long long moment = Seconds(Date(2026, 12, 14, 11, 0, 0));
    timer.Set(moment);
    EXPECT_EQ(timer.Armed(), moment);
    timer.Set(std::nullopt);
    EXPECT_EQ(timer.Armed(), std::nullopt);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(calls[0].cancel);
    EXPECT_EQ(calls[0].due, moment * 10'000'000);
    EXPECT_TRUE(calls[0].resume);
    EXPECT_TRUE(calls[1].cancel);

    // The platform's own timer takes the same arming.
    core::WakeTimer real;
    real.Set(core::ToSeconds(Date(2030, 1, 1, 0)).value());
    EXPECT_TRUE(real.Armed());
}

}  // namespace
