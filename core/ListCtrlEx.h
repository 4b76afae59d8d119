#pragma once
// The main window's task list control: a view of the task store, which holds the rows.
#include "core/TaskStore.h"
#include "framework/ListCtrl.h"

namespace core {

// The Last run cell: when the task last ran, on the local clock in the user's formats, and what came of it
// when that is known in this run of the program.
std::wstring LastRunText(const std::optional<UtcSeconds>& lastRun, const std::wstring& result);

// A report-view list control with owner data (LVS_OWNERDATA): it asks for each cell's text as it draws it,
// so a list of ten thousand rows costs what the visible rows cost. Its task list operations change the
// store and keep the control's row count, selection and drawing in step with it. A row whose time or days
// text cannot be read shows a warning image in that cell; its text stays as it is. Disabled rows are grey.
class CListCtrlEx : public fw::CListCtrl, public TaskList {
public:
    explicit CListCtrlEx(TaskStore& store) : m_store(store) {}

    // The columns as the list shows them: the task's three texts, then its days and its last run.
    enum class Column { Program = 0, Action = 1, Time = 2, Days = 3, LastRun = 4 };

    // Creates the five columns, adds grid lines, sub-item images and full-row select, and the image list
    // of the unreadable-text mark.
    void SetupTaskColumns() const;

    using TaskList::AppendTask;
    using TaskList::ReplaceTask;

    int GetTaskCount() const override { return m_store.GetTaskCount(); }
    std::wstring GetTaskText(int row, TaskColumn column) const override { return m_store.GetTaskText(row, column); }
    Task GetTask(int row) const override { return m_store.GetTask(row); }
    void AppendTask(const Task& task) override;
    void AppendTasks(const std::vector<Task>& tasks) override;
    // The replaced row is drawn afresh and, like a new row, is not selected.
    void ReplaceTask(int row, const Task& task) override;
    void RemoveTask(int row) override;
    int GetFirstSelectedTask() const override { return GetNextItem(-1, LVNI_SELECTED); }

    // The image index of the mark of a row whose time or days cannot be read.
    static constexpr int kUnreadableTimeImage = 0;
    // The text of a cell as the list shows it.
    std::wstring CellText(int row, Column column) const;
    // LVN_GETDISPINFOW, sent to the parent: fills in the text and image the control asks for.
    void OnGetDispInfo(NMLVDISPINFOW& info) const;
    // NM_CUSTOMDRAW, sent to the parent: the result for the dialog procedure. Disabled rows draw grey.
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;

private:
    // Tells the control the store's row count, keeping its scroll position and the rows it has drawn.
    void SyncCount() const;

    TaskStore& m_store;
};

}  // namespace core
