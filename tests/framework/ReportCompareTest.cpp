#include "framework/ReportCompare.h"

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

using fw::CompareCells;
using fw::SortedOrder;

std::vector<std::wstring> Sorted(const std::vector<std::wstring>& texts, bool ascending = true) {
    std::vector<std::wstring> out;
    for (int index : SortedOrder(texts, ascending)) {
        out.push_back(texts[static_cast<size_t>(index)]);
    }
    return out;
}

// A date or time as the user's locale writes it.
std::wstring LocaleText(double date, ULONG flags) {
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, ::VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text));
    std::wstring result = text ? text : L"";
    ::SysFreeString(text);
    return result;
}

double Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0) {
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    double date = 0;
    EXPECT_TRUE(::SystemTimeToVariantTime(&st, &date));
    return date;
}

TEST(ReportCompare, DecimalWholeNumbersSortNumerically) {
    EXPECT_GT(CompareCells(L"10", L"9"), 0);
    EXPECT_EQ((std::vector<std::wstring>{L"2", L"9", L"10", L"100"}), Sorted({L"100", L"9", L"10", L"2"}));
    EXPECT_EQ((std::vector<std::wstring>{L"100", L"10", L"9", L"2"}), Sorted({L"9", L"100", L"2", L"10"}, false));
    EXPECT_EQ(0, CompareCells(L"7", L"7"));
}

TEST(ReportCompare, HexadecimalWordsCompareAsNumbers) {
    // add = 2781, cafe = 51966, 1f = 31; fa = 250 sorts before abc = 2748 although text order says otherwise.
    EXPECT_EQ((std::vector<std::wstring>{L"1f", L"add", L"cafe"}), Sorted({L"cafe", L"add", L"1f"}));
    EXPECT_LT(CompareCells(L"fa", L"abc"), 0);
    EXPECT_LT(CompareCells(L"ff", L"100"), 0);
    EXPECT_EQ(0, CompareCells(L"0x1F", L"1f"));
}

TEST(ReportCompare, MinusOneWrapsAndSortsAfterPositives) {
    EXPECT_GT(CompareCells(L"-1", L"5"), 0);
    EXPECT_EQ((std::vector<std::wstring>{L"5", L"10", L"-1"}), Sorted({L"-1", L"10", L"5"}));
}

TEST(ReportCompare, NumbersOfNineOrMoreDigitsCompareEqual) {
    EXPECT_EQ(0, CompareCells(L"123456789", L"987654321"));
    EXPECT_EQ(0, CompareCells(L"99999999999", L"100000000"));
    EXPECT_LT(CompareCells(L"12345678", L"87654321"), 0);  // eight hexadecimal digits still fit
}

TEST(ReportCompare, FractionsAndPercentagesCompareAsNumbers) {
    EXPECT_LT(CompareCells(L"1.25", L"1.5"), 0);
    EXPECT_LT(CompareCells(L"9.75", L"10.5"), 0);  // text order would put 10.5 first
    EXPECT_GT(CompareCells(L"12.5%", L"3%"), 0);
    EXPECT_EQ(0, CompareCells(L"12.5%", L"12.5"));
    EXPECT_LT(CompareCells(L"2.5", L"12%"), 0);
    // Two percent signs are not a number: text order.
    EXPECT_LT(CompareCells(L"12.5%%", L"3%"), 0);
}

TEST(ReportCompare, LocaleDatesAndTimesCompareChronologically) {
    const std::wstring early = LocaleText(Date(2019, 12, 1), VAR_DATEVALUEONLY);
    const std::wstring late = LocaleText(Date(2020, 1, 2), VAR_DATEVALUEONLY);
    EXPECT_LT(CompareCells(early, late), 0) << early << L" / " << late;
    EXPECT_GT(CompareCells(late, early), 0);

    const std::wstring nine = LocaleText(Date(1899, 12, 30, 9, 30), VAR_TIMEVALUEONLY);
    const std::wstring ten = LocaleText(Date(1899, 12, 30, 10, 15), VAR_TIMEVALUEONLY);
    const std::wstring afternoon = LocaleText(Date(1899, 12, 30, 13, 0), VAR_TIMEVALUEONLY);
    EXPECT_EQ((std::vector<std::wstring>{nine, ten, afternoon}), Sorted({afternoon, ten, nine}));

    // A date against a plain word falls back to text order.
    const int text = late.compare(L"Zebra");
    EXPECT_EQ(text < 0 ? -1 : 1, CompareCells(late, L"Zebra"));
    EXPECT_EQ(text < 0 ? 1 : -1, CompareCells(L"Zebra", late));
}

TEST(ReportCompare, TextOrderIsByCodeUnit) {
    EXPECT_LT(CompareCells(L"Banana", L"apple"), 0);
    EXPECT_LT(CompareCells(L"", L"x"), 0);
    EXPECT_EQ(0, CompareCells(L"", L""));
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Zoo", L"mango", L"\u00e9t\u00e9"}),
              Sorted({L"mango", L"\u00e9t\u00e9", L"", L"Zoo"}));
}

TEST(ReportCompare, QuickSortOrdersLargeListsBothWays) {
    std::mt19937 random(42);
    std::vector<std::wstring> texts;
    for (int i = 0; i < 500; ++i) {
        texts.push_back(std::to_wstring(random() % 1000));
    }
    for (bool ascending : {true, false}) {
        const auto sorted = Sorted(texts, ascending);
        ASSERT_EQ(texts.size(), sorted.size());
        for (size_t i = 1; i < sorted.size(); ++i) {
            const int order = CompareCells(sorted[i - 1], sorted[i]);
            EXPECT_TRUE(ascending ? order <= 0 : order >= 0) << sorted[i - 1] << L" " << sorted[i];
        }
        auto a = sorted;
        auto b = texts;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(b, a);
    }
}

TEST(ReportCompare, QuickSortStaysInRangeWithAnInconsistentComparison) {
    // A comparison that is no order at all must still give a permutation of the rows.
    std::mt19937 random(7);
    std::vector<int> rows(300);
    std::iota(rows.begin(), rows.end(), 0);
    fw::QuickSortRows(rows, true, [&](int x, int y) { return x == y ? 0 : static_cast<int>(random() % 3) - 1; });
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(i, sorted[static_cast<size_t>(i)]);
    }
}

}  // namespace
