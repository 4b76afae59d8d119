#pragma once
// The main window's task list control: a view of the task service's store, which holds the tasks.
#include "core/TaskStore.h"
#include "framework/ListCtrl.h"

#include <functional>
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

    static constexpr int kColumnCount = 7;

    // Creates the seven columns, adds grid lines, sub-item images and full-row select, and the image list
    // of the unreadable-text mark, at the DPI of the list.
    void SetupTaskColumns(UINT dpi = 96);
    // The list at another DPI (its font is already that DPI's): the mark at that DPI's small-icon size, the widths
    // the user gave at that DPI, and the other columns fitted anew.
    void SetDpi(UINT dpi);
    // The columns the user has not sized become as wide as their heading and the visible rows need; with growOnly,
    // a column only widens, so that the columns do not jump about while the user works.
    void FitColumns(bool growOnly);
    // The widths the user gave the columns by dragging or double-clicking a divider, at 96 DPI; 0 for a column that
    // fits its contents.
    const std::vector<int>& UserWidths() const { return m_userWidths; }
    // Widths read back from an earlier run (same form); they win over the contents at once.
    void SetUserWidths(const std::vector<int>& designWidths);
    // Told each time the user changes a column's width.
    void SetUserWidthListener(std::function<void()> listener) { m_userWidthListener = std::move(listener); }
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
    // Enter belongs to the list while it has the focus (it modifies the selected task), not to the dialog.
    LRESULT OnGetDlgCode(WPARAM key, LPARAM message);
    // The header's notifications: a width that changes while the program is not setting one is the user's.
    LRESULT OnNotify(WPARAM id, LPARAM header);

    std::optional<core::TaskRow> RowOf(int row) const;
    // The cell shows the unreadable-text mark.
    bool ShowsMark(const core::TaskRow& row, Column column) const;
    // The width the column's heading and its visible rows need, in pixels at the list's DPI.
    int ContentWidth(int column) const;
    // The room the cell keeps for an image before its text, in pixels.
    int ImageRoom(int row, int column) const;
    void SetColumnWidth(int column, int width);
    // The mark's image list at the DPI's small-icon size, in place of the previous one.
    void MakeImages();

    const core::TaskStore& m_store;
    std::vector<core::TaskId> m_ids;
    UINT m_dpi = 96;
    std::vector<int> m_userWidths = std::vector<int>(kColumnCount, 0);
    // True while the program sets widths itself: those are not the user's.
    bool m_settingWidths = false;
    std::function<void()> m_userWidthListener;
};

}  // namespace app
