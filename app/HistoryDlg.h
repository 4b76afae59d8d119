#pragma once
// The History window: what happened to the tasks, newest first, as History.txt (and the file before it) keeps it.
#include "core/History.h"
#include "core/Task.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/ListCtrl.h"

#include <string>
#include <vector>

namespace app {

// The lines to show: those of the tasks named (all when none is), newest first.
std::vector<core::history::Line> NewestFirst(std::vector<core::history::Line> lines,
                                             const std::vector<core::TaskId>& tasks);

// Shows the history of some tasks, or of all, in a list with owner data: the file is read once when the window
// opens, and the list asks for the text of the rows it draws, so ten thousand lines open as fast as ten.
class CHistoryDlg : public fw::CDialog {
public:
    // The columns, in order.
    enum class Column { Time = 0, Program = 1, Action = 2, Event = 3, Detail = 4 };

    // tasks: the ids whose lines are shown; empty for every line. folder: where History.txt is.
    CHistoryDlg(HWND parent, std::vector<core::TaskId> tasks, std::wstring folder);

    size_t LineCount() const { return m_lines.size(); }
    std::wstring CellText(int row, Column column) const;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    LRESULT OnGetDispInfo(NMLVDISPINFOW* info);

    std::vector<core::TaskId> m_tasks;
    std::wstring m_folder;
    std::vector<core::history::Line> m_lines;
    fw::CListCtrl m_list;
    fw::CStatic m_count;
};

}  // namespace app
