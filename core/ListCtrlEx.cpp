#include "core/ListCtrlEx.h"

namespace core {

void CListCtrlEx::SetupTaskColumns() const {
    InsertColumn(static_cast<int>(TaskColumn::Program), L"Program ", LVCFMT_LEFT, 250);
    InsertColumn(static_cast<int>(TaskColumn::Action), L"Action", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(TaskColumn::Time), L"Time", LVCFMT_LEFT, 80);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);
}

std::wstring CListCtrlEx::GetTaskText(int row, TaskColumn column) const {
    return GetItemText(row, static_cast<int>(column));
}

void CListCtrlEx::InsertTask(int row,
                             const std::wstring& program,
                             const std::wstring& action,
                             const std::wstring& time) const {
    const int index = InsertItem(row, program);
    if (index < 0) {
        return;
    }
    SetItemText(index, static_cast<int>(TaskColumn::Action), action);
    SetItemText(index, static_cast<int>(TaskColumn::Time), time);
}

void CListCtrlEx::AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) {
    InsertTask(GetItemCount(), program, action, time);
}

void CListCtrlEx::ReplaceTask(int row,
                              const std::wstring& program,
                              const std::wstring& action,
                              const std::wstring& time) {
    if (row < 0 || row >= GetItemCount()) {
        return;
    }
    DeleteItem(row);
    InsertTask(row, program, action, time);
}

void CListCtrlEx::RemoveTask(int row) {
    if (row >= 0) {
        DeleteItem(row);
    }
}

}  // namespace core
