// The time text under the locale this run was started in (en-US, de-DE or ja-JP).
#include "core/Scheduler.h"
#include "core/TaskStore.h"
#include "core/TaskTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using core::DateTimeValue;
using core::FormatTaskTime;
using core::ParseTaskTime;

std::wstring UserLocale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH]{};
    ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    return name;
}

std::wstring ExpectedLocale() {
    const char* expected = std::getenv("MARLOWICK_EXPECT_LOCALE");
    const std::string text = expected ? expected : "en-US";
    return std::wstring(text.begin(), text.end());
}

DateTimeValue At(WORD hour, WORD minute, WORD second, WORD year = 2026, WORD month = 12, WORD day = 9) {
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    return DateTimeValue::FromSystemTime(st);
}

void ExpectTimeOfDay(const DateTimeValue& value, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME st{};
    ASSERT_TRUE(value.ToSystemTime(st));
    EXPECT_EQ(st.wHour, hour);
    EXPECT_EQ(st.wMinute, minute);
    EXPECT_EQ(st.wSecond, second);
}

bool IsTwelveHour() {
    return UserLocale() == L"en-US";
}

TEST(TimeText, RunsUnderTheLocaleItWasStartedFor) {
    EXPECT_EQ(UserLocale(), ExpectedLocale());
}

TEST(TimeText, FormattedTimeReadsBackToTheSameSecond) {
    const WORD samples[][3] = {{0, 0, 0}, {0, 0, 1}, {7, 30, 0}, {12, 0, 0}, {12, 59, 59}, {19, 5, 7}, {23, 59, 59}};
    for (const auto& s : samples) {
        SCOPED_TRACE(testing::Message() << s[0] << ":" << s[1] << ":" << s[2]);
        const std::wstring text = FormatTaskTime(At(s[0], s[1], s[2]));
        ASSERT_FALSE(text.empty());
        const DateTimeValue parsed = ParseTaskTime(text);
        ASSERT_TRUE(parsed.IsValid()) << std::string(text.begin(), text.end());
        ExpectTimeOfDay(parsed, s[0], s[1], s[2]);
    }
}

TEST(TimeText, TextIsTheTimeOfDayInTheLocaleFormat) {
    // The date part of the value is dropped.
    const std::wstring evening = FormatTaskTime(At(19, 5, 0));
    const std::wstring morning = FormatTaskTime(At(7, 30, 0, 1999, 1, 2));
    if (IsTwelveHour()) {
        EXPECT_EQ(evening, L"7:05:00 PM");
        EXPECT_EQ(morning, L"7:30:00 AM");
    } else {
        EXPECT_EQ(evening, L"19:05:00");
        EXPECT_EQ(morning, UserLocale() == L"ja-JP" ? L"7:30:00" : L"07:30:00");
    }
}

TEST(TimeText, MidnightIsTheValidValueZero) {
    const std::wstring text = FormatTaskTime(At(0, 0, 0));
    EXPECT_EQ(text, IsTwelveHour() ? L"12:00:00 AM" : (UserLocale() == L"ja-JP" ? L"0:00:00" : L"00:00:00"));
    const DateTimeValue parsed = ParseTaskTime(text);
    ASSERT_TRUE(parsed.IsValid());
    EXPECT_EQ(parsed.date, 0.0);
}

TEST(TimeText, NullAndInvalidValues) {
    EXPECT_EQ(FormatTaskTime(DateTimeValue::Null()), L"");
    EXPECT_EQ(FormatTaskTime(DateTimeValue::Invalid()), L"Invalid DateTime");
    for (const wchar_t* text : {L"", L"abc", L"Invalid DateTime", L"25:61:00"}) {
        EXPECT_FALSE(ParseTaskTime(text).IsValid()) << std::wstring(text).size();
    }
    EXPECT_FALSE(ParseTaskTime(std::wstring(L"07:30\0junk", 10)).IsValid());
    SYSTEMTIME st{};
    EXPECT_FALSE(DateTimeValue::Invalid().ToSystemTime(st));
}

TEST(TimeText, TwentyFourHourTextUnderEveryLocale) {
    // A task saved under a 24-hour locale is read by the rules of the locale in force.
    const DateTimeValue parsed = ParseTaskTime(L"19:05:00");
    ASSERT_TRUE(parsed.IsValid());
    ExpectTimeOfDay(parsed, 19, 5, 0);
}

// A profile written under another locale, or on another machine: each of the three locales' texts fires
// under each of them, at the second it names.
TEST(TimeText, TextsOfTheOtherLocalesFire) {
    struct Sample {
        const wchar_t* text;
        int secondOfDay;
    };
    const Sample samples[] = {
        {L"7:05:00 PM", 19 * 3600 + 5 * 60},  // en-US
        {L"19:05:00", 19 * 3600 + 5 * 60},    // de-DE and ja-JP
        {L"7:30:00 AM", 7 * 3600 + 30 * 60},  // en-US
        {L"07:30:00", 7 * 3600 + 30 * 60},    // de-DE
        {L"7:30:00", 7 * 3600 + 30 * 60},     // ja-JP
        {L"12:00:00 AM", 0},                  // en-US midnight
        {L"0:00:00", 0},                      // ja-JP midnight
        {L"12:00:00 PM", 12 * 3600},          // en-US noon
    };
    core::TaskStore tasks;
    for (const Sample& sample : samples) {
        tasks.AppendTask(sample.text, L"Start", sample.text);
    }
    for (int row = 0; row < tasks.GetTaskCount(); ++row) {
        EXPECT_EQ(tasks.GetSecondOfDay(row), samples[row].secondOfDay)
            << std::string(tasks.GetTaskText(row, core::TaskColumn::Time).begin(),
                           tasks.GetTaskText(row, core::TaskColumn::Time).end());
    }

    std::vector<std::wstring> fired;
    SYSTEMTIME now{};
    core::Scheduler scheduler(
        tasks,
        [&] {
            return core::ClockReading{now, now};
        },
        [&](const std::vector<core::ScheduledTask>& due) {
            for (const core::ScheduledTask& task : due) {
                fired.push_back(task.program);
            }
        });
    ASSERT_TRUE(At(19, 5, 0).ToSystemTime(now));
    scheduler.SchedulerTick();
    EXPECT_EQ(fired, (std::vector<std::wstring>{L"7:05:00 PM", L"19:05:00"}));
}

TEST(TimeText, TwentyFourHourAndEnglishFormsAlone) {
    struct Sample {
        const wchar_t* text;
        int hour;
        int minute;
        int second;
    };
    const Sample readable[] = {{L"0:00:00", 0, 0, 0},        {L"23:59:59", 23, 59, 59},   {L"12:00:00 AM", 0, 0, 0},
                               {L"12:00:00 PM", 12, 0, 0},   {L"12:30:05 pm", 12, 30, 5}, {L" 7:05:00 PM ", 19, 5, 0},
                               {L"11:59:59 am", 11, 59, 59}, {L"09:00:00", 9, 0, 0}};
    for (const Sample& sample : readable) {
        SCOPED_TRACE(testing::Message() << std::string(sample.text, sample.text + std::wcslen(sample.text)));
        const DateTimeValue value = core::ParseTimeOfDayText(sample.text);
        ASSERT_TRUE(value.IsValid());
        ExpectTimeOfDay(value, static_cast<WORD>(sample.hour), static_cast<WORD>(sample.minute),
                        static_cast<WORD>(sample.second));
    }
    for (const wchar_t* text : {L"24:00:00", L"13:00:00 PM", L"0:00:00 AM", L"7:5:00", L"7:05", L"7:05:00 XM",
                                L"7:05:00 PMx", L"7:60:00", L"7:05:60", L"", L"123:00:00", L"7:05:00 P"}) {
        EXPECT_FALSE(core::ParseTimeOfDayText(text).IsValid()) << std::string(text, text + std::wcslen(text));
    }
}

}  // namespace
