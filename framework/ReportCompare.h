#pragma once
// How the report list orders its rows: the comparison of two cell texts and the quicksort over row indexes.
#include <functional>
#include <string>
#include <vector>

namespace fw {

// Negative when a is the smaller, 0 when both are equal, positive when a is the larger. Tried in turn:
// both texts whole unsigned hexadecimal numbers (wcstoul, base 16), both floating numbers (wcstod, a final
// '%' allowed), both dates or times of the user's locale (VarDateFromStr), else code-unit text order.
int CompareCells(const std::wstring& a, const std::wstring& b);

// Sorts the row indexes with the quicksort of the report list; compareRows(x, y) compares rows x and y.
// Not stable: rows with equal keys may change their order.
void QuickSortRows(std::vector<int>& rows, bool ascending, const std::function<int(int, int)>& compareRows);

// The texts' order as the report list sorts them: indexes into texts, in sorted order.
std::vector<int> SortedOrder(const std::vector<std::wstring>& texts, bool ascending);

}  // namespace fw
