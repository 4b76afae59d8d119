#include "core/ListCtrlEx.h"

#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "framework/Handle.h"

#include <algorithm>

namespace core {

std::wstring LastRunText(const std::optional<UtcSeconds>& lastRun, const std::wstring& result) {
    if (!lastRun) {
        return result;
    }
    const std::optional<long long> localSeconds = SystemTimeZone().toLocal(*lastRun);
    const std::optional<SYSTEMTIME> fields = localSeconds ? FromSeconds(*localSeconds) : std::nullopt;
    if (!fields) {
        return result;
    }
    const SYSTEMTIME local = *fields;
    wchar_t date[64]{};
    wchar_t time[64]{};
    fw::IgnoreResult(::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64));
    fw::IgnoreResult(::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 64));
    std::wstring text = std::wstring(date) + L" " + time;
    return result.empty() ? text : text + L", " + result;
}

void CListCtrlEx::SetupTaskColumns() const {
    InsertColumn(static_cast<int>(TaskColumn::Program), L"Program ", LVCFMT_LEFT, 250);
    InsertColumn(static_cast<int>(TaskColumn::Action), L"Action", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(TaskColumn::Time), L"Time", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(Column::Days), L"Days", LVCFMT_LEFT, 100);
    InsertColumn(static_cast<int>(Column::LastRun), L"Last run", LVCFMT_LEFT, 220);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);

    fw::UniqueImageList images(::ImageList_Create(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  ILC_COLOR32 | ILC_MASK, 1, 0));
    // The system's warning icon is shared: it is copied into the list and never destroyed.
    if (images && ::ImageList_AddIcon(images.Get(), ::LoadIconW(nullptr, IDI_WARNING)) == kUnreadableTimeImage) {
        // Without LVS_SHAREIMAGELISTS the control destroys the list with itself.
        fw::IgnoreResult(SetImageList(images.Release(), LVSIL_SMALL));
    }
}

void CListCtrlEx::SyncCount() const {
    SendMessage(LVM_SETITEMCOUNT, static_cast<WPARAM>(m_store.GetTaskCount()),
                LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void CListCtrlEx::AppendTask(const Task& task) {
    m_store.AppendTask(task);
    SyncCount();
}

void CListCtrlEx::AppendTasks(const std::vector<Task>& tasks) {
    m_store.AppendTasks(tasks);
    SyncCount();
}

void CListCtrlEx::ReplaceTask(int row, const Task& task) {
    if (row < 0 || row >= m_store.GetTaskCount()) {
        return;
    }
    m_store.ReplaceTask(row, task);
    SetItemState(row, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

void CListCtrlEx::RemoveTask(int row) {
    if (row < 0 || row >= m_store.GetTaskCount()) {
        return;
    }
    m_store.RemoveTask(row);
    // The control moves the selection of later rows up with them and lowers its count by one.
    if (!DeleteItem(row)) {
        SyncCount();
    }
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

std::wstring CListCtrlEx::CellText(int row, Column column) const {
    switch (column) {
        case Column::Program:
        case Column::Action:
        case Column::Time:
            return m_store.GetTaskText(row, static_cast<TaskColumn>(column));
        case Column::Days: {
            // A text that names no days is shown as it stands, with the mark.
            const std::optional<DayMask> days = m_store.GetDays(row);
            return days ? DaysDisplayText(*days) : m_store.GetTask(row).days;
        }
        case Column::LastRun:
            return LastRunText(m_store.GetTask(row).lastRun, m_store.GetLastResult(row));
    }
    return {};
}

void CListCtrlEx::OnGetDispInfo(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    const auto column = static_cast<Column>(item.iSubItem);
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = CellText(item.iItem, column);
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::copy_n(text.data(), length, item.pszText);
        item.pszText[length] = L'\0';
    }
    if (item.mask & LVIF_IMAGE) {
        const bool unreadable = (column == Column::Time && m_store.GetSecondOfDay(item.iItem) < 0) ||
                                (column == Column::Days && !m_store.GetDays(item.iItem));
        item.iImage = unreadable ? kUnreadableTimeImage : I_IMAGENONE;
    }
}

LRESULT CListCtrlEx::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            if (!m_store.GetTask(static_cast<int>(draw.nmcd.dwItemSpec)).enabled) {
                draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        default:
            return CDRF_DODEFAULT;
    }
}

}  // namespace core
