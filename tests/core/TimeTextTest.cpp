// The time text under the locale this run was started in (en-US, de-DE or ja-JP).
#include "core/TaskTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

}  // namespace
