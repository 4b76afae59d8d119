#pragma once
// The main window's task list control: a view of the task service's store, which holds the tasks.
#include "core/TaskStore.h"
#include "framework/ListCtrl.h"

#include <vector>

namespace app {

// A local wall-clock second as the user's short date and time formats write it.
std::wstring LocalDateTimeText(long long localSeconds);
// The Last run cell: when the task last ran, on the local clock in the user's formats, and what came of it
// when that is known in this run of the program.
std::wstring LastRunText(const std::optional<core::UtcSeconds>& lastRun, const std::wstring& result);
// The Repeat cell: "every 15 min until 18:00:00", "every 15 min" up to the end of the day, empty without a repeat;
// an Every text that names no minutes, as it stands.
std::wstring RepeatText(const core::TaskRow& row);
// The Next run cell: the date and time of the next run after now, or "—" when the task never runs again.
inline constexpr wchar_t kNeverText[] = L"\u2014";
std::wstring NextRunText(const core::TaskRow& row, long long nowLocal);
// A row draws grey: the task is disabled, or it runs once on a date and never will again.
bool DrawsGrey(const core::TaskRow& row, long long nowLocal);

// A report-view list control with owner data (LVS_OWNERDATA): it asks for each cell's text as it draws it,
// so a list of ten thousand rows costs what the visible rows cost. It shows the tasks in the order they had when
// it last took them from the store (Refresh), each row naming its task by id, so that a row and its selection
// stay with their task whatever another thread does to the store meanwhile. A row whose time, days, repeat or date
// text cannot be read shows a warning image in that cell; its text stays as it is. Disabled rows are grey, and so
// are tasks of one date whose run is done or whose date has passed.
class CListCtrlEx : public fw::CListCtrl {
public:
    explicit CListCtrlEx(const core::TaskStore& store) : m_store(store) {}

    // The columns: the task's three texts, then its days (or date), its last run, its repeat and its next run. The
    // list shows the repeat after the days.
    enum class Column { Program = 0, Action = 1, Time = 2, Days = 3, LastRun = 4, Repeat = 5, NextRun = 6 };

    // Creates the seven columns, adds grid lines, sub-item images and full-row select, and the image list
    // of the unreadable-text mark.
    void SetupTaskColumns() const;
    // Takes the store's rows as they are now. The tasks that were selected stay selected, wherever they went.
    void Refresh();

    int GetTaskCount() const { return static_cast<int>(m_ids.size()); }
    // The task of a row; 0 and an empty task for a row that is not there (or a task gone from the store).
    core::TaskId GetTaskId(int row) const;
    core::Task GetTask(int row) const;
    std::wstring GetTaskText(int row, core::TaskColumn column) const;
    // The first selected row, or -1; and its task, or 0.
    int GetFirstSelectedTask() const { return GetNextItem(-1, LVNI_SELECTED); }
    core::TaskId GetFirstSelectedId() const { return GetTaskId(GetFirstSelectedTask()); }
    // The tasks of every selected row, in row order.
    std::vector<core::TaskId> GetSelectedIds() const;
    // Selects the task's row alone, when it is shown.
    void SelectOnly(core::TaskId id);

    // The image index of the mark of a row whose time or days cannot be read.
    static constexpr int kUnreadableTimeImage = 0;
    // The text of a cell as the list shows it.
    std::wstring CellText(int row, Column column) const;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

private:
    // The notifications the parent hands back to the list. LVN_GETDISPINFOW: the text and image of a cell.
    LRESULT OnGetDispInfo(NMLVDISPINFOW* info);
    // NM_CUSTOMDRAW: disabled rows draw grey.
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    // NM_RCLICK on a row: Run Now, Enable or Disable, Modify Task, Remove Task, as commands to the parent.
    LRESULT OnRightClick(NMHDR* header);

    std::optional<core::TaskRow> RowOf(int row) const;

    const core::TaskStore& m_store;
    std::vector<core::TaskId> m_ids;
};

}  // namespace app
