#pragma once
// The main window's task list control: its rows are the task list itself.
#include "core/Task.h"
#include "framework/ListCtrl.h"

namespace core {

// A plain report-view list control that serves the task list operations on its rows.
class CListCtrlEx : public fw::CListCtrl, public TaskList {
public:
    // Creates the three columns and adds grid lines, sub-item images and full-row select.
    void SetupTaskColumns() const;

    int GetTaskCount() const override { return GetItemCount(); }
    std::wstring GetTaskText(int row, TaskColumn column) const override;
    void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) override;
    void ReplaceTask(int row,
                     const std::wstring& program,
                     const std::wstring& action,
                     const std::wstring& time) override;
    void RemoveTask(int row) override;
    int GetFirstSelectedTask() const override { return GetNextItem(-1, LVNI_SELECTED); }

private:
    void InsertTask(int row, const std::wstring& program, const std::wstring& action, const std::wstring& time) const;
};

}  // namespace core
