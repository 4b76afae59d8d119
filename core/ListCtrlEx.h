#pragma once
// The main window's task list control: a view of the task store, which holds the rows.
#include "core/TaskStore.h"
#include "framework/ListCtrl.h"

namespace core {

// A report-view list control with owner data (LVS_OWNERDATA): it asks for each cell's text as it draws it,
// so a list of ten thousand rows costs what the visible rows cost. Its task list operations change the
// store and keep the control's row count, selection and drawing in step with it. A row whose time text
// names no time of day shows a warning image in its Time cell; its text stays as it is.
class CListCtrlEx : public fw::CListCtrl, public TaskList {
public:
    explicit CListCtrlEx(TaskStore& store) : m_store(store) {}

    // Creates the three columns, adds grid lines, sub-item images and full-row select, and the image list
    // of the unreadable-time mark.
    void SetupTaskColumns() const;

    int GetTaskCount() const override { return m_store.GetTaskCount(); }
    std::wstring GetTaskText(int row, TaskColumn column) const override { return m_store.GetTaskText(row, column); }
    void AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    // The replaced row is drawn afresh and, like a new row, is not selected.
    void ReplaceTask(int row,
                     const std::wstring& program,
                     const std::wstring& action,
                     const std::wstring& time) override;
    void RemoveTask(int row) override;
    int GetFirstSelectedTask() const override { return GetNextItem(-1, LVNI_SELECTED); }

    // The image index of the mark of a row whose time cannot be read.
    static constexpr int kUnreadableTimeImage = 0;
    // LVN_GETDISPINFOW, sent to the parent: fills in the text and image the control asks for.
    void OnGetDispInfo(NMLVDISPINFOW& info) const;

private:
    // Tells the control the store's row count, keeping its scroll position and the rows it has drawn.
    void SyncCount() const;

    TaskStore& m_store;
};

}  // namespace core
