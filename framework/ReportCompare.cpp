#include "framework/ReportCompare.h"

#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <numeric>
#include <utility>

namespace fw {
namespace {

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool ReadHex(const std::wstring& text, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    value = std::wcstoul(text.c_str(), &end, 16);
    return end == text.c_str() + text.size();
}

bool ReadNumber(const std::wstring& text, double& value) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    value = std::wcstod(text.c_str(), &end);
    const wchar_t* last = text.c_str() + text.size();
    return end != text.c_str() && (end == last || (end + 1 == last && *end == L'%'));
}

bool ReadDate(const std::wstring& text, double& value) {
    DATE date = 0;
    if (FAILED(::VarDateFromStr(const_cast<OLECHAR*>(text.c_str()), LOCALE_USER_DEFAULT, 0, &date))) {
        return false;
    }
    value = date;
    return true;
}

void QuickSort(std::vector<int>& rows, int lo, int hi, bool ascending, const std::function<int(int, int)>& compare) {
    for (;;) {
        const int pivot = rows[static_cast<size_t>((lo + hi) / 2)];
        int i = lo;
        int j = hi;
        do {
            // The bounds hold for any comparison that answers 0 for a row against itself; they are checked
            // anyway, so that a comparison that is not an order cannot read past the range.
            if (ascending) {
                while (i < hi && compare(rows[static_cast<size_t>(i)], pivot) < 0) {
                    ++i;
                }
                while (j > lo && compare(rows[static_cast<size_t>(j)], pivot) > 0) {
                    --j;
                }
            } else {
                while (i < hi && compare(rows[static_cast<size_t>(i)], pivot) > 0) {
                    ++i;
                }
                while (j > lo && compare(rows[static_cast<size_t>(j)], pivot) < 0) {
                    --j;
                }
            }
            if (j < i) {
                break;
            }
            if (i != j) {
                std::swap(rows[static_cast<size_t>(i)], rows[static_cast<size_t>(j)]);
            }
            --j;
            ++i;
        } while (i <= j);
        if (lo < j) {
            QuickSort(rows, lo, j, ascending, compare);
        }
        if (i < hi) {
            lo = i;
        } else {
            return;
        }
    }
}

}  // namespace

int CompareCells(const std::wstring& a, const std::wstring& b) {
    unsigned long hexA = 0;
    unsigned long hexB = 0;
    if (ReadHex(a, hexA) && ReadHex(b, hexB)) {
        return Order(hexA, hexB);
    }
    double numberA = 0;
    double numberB = 0;
    if (ReadNumber(a, numberA) && ReadNumber(b, numberB)) {
        return Order(numberA, numberB);
    }
    double dateA = 0;
    double dateB = 0;
    if (ReadDate(a, dateA) && ReadDate(b, dateB)) {
        return Order(dateA, dateB);
    }
    const int text = a.compare(b);
    return text < 0 ? -1 : (text > 0 ? 1 : 0);
}

void QuickSortRows(std::vector<int>& rows, bool ascending, const std::function<int(int, int)>& compareRows) {
    if (rows.size() < 2) {
        return;
    }
    QuickSort(rows, 0, static_cast<int>(rows.size()) - 1, ascending, compareRows);
}

std::vector<int> SortedOrder(const std::vector<std::wstring>& texts, bool ascending) {
    std::vector<int> rows(texts.size());
    std::iota(rows.begin(), rows.end(), 0);
    QuickSortRows(rows, ascending, [&](int x, int y) {
        return CompareCells(texts[static_cast<size_t>(x)], texts[static_cast<size_t>(y)]);
    });
    return rows;
}

}  // namespace fw
