#include "app/HistoryDlg.h"

#include "framework/Dpi.h"
#include "res/resource.h"

#include <algorithm>
#include <unordered_set>

namespace app {

namespace history = core::history;

std::vector<history::Line> NewestFirst(std::vector<history::Line> lines, const std::vector<core::TaskId>& tasks) {
    if (!tasks.empty()) {
        const std::unordered_set<core::TaskId> wanted(tasks.begin(), tasks.end());
        std::erase_if(lines, [&wanted](const history::Line& line) { return !wanted.contains(line.id); });
    }
    // The file is in the order things happened.
    std::reverse(lines.begin(), lines.end());
    return lines;
}

CHistoryDlg::CHistoryDlg(HWND parent, std::vector<core::TaskId> tasks, std::wstring folder)
    : fw::CDialog(IDD_HISTORY, parent), m_tasks(std::move(tasks)), m_folder(std::move(folder)) {}

const fw::MessageMap* CHistoryDlg::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnNotify<&CHistoryDlg::OnGetDispInfo>(IDC_HISTORY_LIST, LVN_GETDISPINFOW),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

void CHistoryDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_HISTORY_LIST, m_list);
    fw::DDX_Control(dx, IDC_HISTORY_COUNT, m_count);
}

bool CHistoryDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    // The widths are designed at 96 DPI; the list's font is at the window's.
    const UINT dpi = fw::DpiOf(m_hWnd);
    m_list.InsertColumn(static_cast<int>(Column::Time), L"Time", LVCFMT_LEFT, fw::ScaleToDpi(180, dpi));
    m_list.InsertColumn(static_cast<int>(Column::Program), L"Program", LVCFMT_LEFT, fw::ScaleToDpi(210, dpi));
    m_list.InsertColumn(static_cast<int>(Column::Action), L"Action", LVCFMT_LEFT, fw::ScaleToDpi(55, dpi));
    m_list.InsertColumn(static_cast<int>(Column::Event), L"Event", LVCFMT_LEFT, fw::ScaleToDpi(95, dpi));
    m_list.InsertColumn(static_cast<int>(Column::Detail), L"Detail", LVCFMT_LEFT, fw::ScaleToDpi(260, dpi));
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_lines = NewestFirst(history::Read(m_folder), m_tasks);
    m_list.SendMessage(LVM_SETITEMCOUNT, m_lines.size(), 0);
    const std::wstring count = std::to_wstring(m_lines.size()) + (m_lines.size() == 1 ? L" event" : L" events");
    m_count.SetWindowText(m_tasks.empty() ? count + L", all tasks" : count + L", selected tasks");
    return true;
}

std::wstring CHistoryDlg::CellText(int row, Column column) const {
    if (row < 0 || static_cast<size_t>(row) >= m_lines.size()) {
        return {};
    }
    const history::Line& line = m_lines[static_cast<size_t>(row)];
    switch (column) {
        case Column::Time:
            return line.time;
        case Column::Program:
            return line.program;
        case Column::Action:
            return line.action;
        case Column::Event:
            return line.event;
        case Column::Detail:
            return line.detail;
    }
    return {};
}

LRESULT CHistoryDlg::OnGetDispInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        // The list's buffer bounds what a cell shows; the line itself is kept whole.
        const std::wstring text = CellText(item.iItem, static_cast<Column>(item.iSubItem));
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::copy_n(text.data(), length, item.pszText);
        item.pszText[length] = L'\0';
    }
    return 0;
}

}  // namespace app
