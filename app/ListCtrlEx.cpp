#include "app/ListCtrlEx.h"

#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "framework/Handle.h"
#include "res/resource.h"

#include <algorithm>
#include <unordered_set>

namespace app {

std::wstring LocalDateTimeText(long long localSeconds) {
    const std::optional<SYSTEMTIME> fields = core::FromSeconds(localSeconds);
    if (!fields) {
        return {};
    }
    const SYSTEMTIME local = *fields;
    wchar_t date[64]{};
    wchar_t time[64]{};
    fw::IgnoreResult(::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64));
    fw::IgnoreResult(::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 64));
    return std::wstring(date) + L" " + time;
}

std::wstring LastRunText(const std::optional<core::UtcSeconds>& lastRun, const std::wstring& result) {
    const std::optional<long long> localSeconds = lastRun ? core::SystemTimeZone().toLocal(*lastRun) : std::nullopt;
    const std::wstring text = localSeconds ? LocalDateTimeText(*localSeconds) : std::wstring();
    if (text.empty()) {
        return result;
    }
    return result.empty() ? text : text + L", " + result;
}

std::wstring RepeatText(const core::TaskRow& row) {
    if (row.everySeconds <= 0) {
        return row.task.every;
    }
    std::wstring text = L"every " + std::to_wstring(row.everySeconds / 60) + L" min";
    if (row.untilSecond < core::kSecondsPerDay - 1) {
        text += L" until " + core::FormatTime24(row.untilSecond);
    }
    return text;
}

std::wstring NextRunText(const core::TaskRow& row, long long nowLocal) {
    const std::optional<long long> next = core::NextRunOf(row, nowLocal);
    return next ? LocalDateTimeText(*next) : kNeverText;
}

bool DrawsGrey(const core::TaskRow& row, long long nowLocal) {
    return !row.task.enabled || (row.date && !core::NextRunOf(row, nowLocal));
}

namespace {

// Now on the local wall clock; 0 when the clock cannot be read.
long long NowLocal() {
    return core::ToSeconds(core::SystemClock().local).value_or(0);
}

}  // namespace

void CListCtrlEx::SetupTaskColumns() const {
    InsertColumn(static_cast<int>(Column::Program), L"Program ", LVCFMT_LEFT, 250);
    InsertColumn(static_cast<int>(Column::Action), L"Action", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(Column::Time), L"Time", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(Column::Days), L"Days", LVCFMT_LEFT, 100);
    InsertColumn(static_cast<int>(Column::LastRun), L"Last run", LVCFMT_LEFT, 220);
    InsertColumn(static_cast<int>(Column::Repeat), L"Repeat", LVCFMT_LEFT, 190);
    InsertColumn(static_cast<int>(Column::NextRun), L"Next run", LVCFMT_LEFT, 170);
    // The repeat is shown beside the days it qualifies.
    int order[] = {0, 1, 2, 3, 5, 4, 6};
    fw::IgnoreResult(SendMessage(LVM_SETCOLUMNORDERARRAY, std::size(order), reinterpret_cast<LPARAM>(order)));
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);

    fw::UniqueImageList images(::ImageList_Create(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  ILC_COLOR32 | ILC_MASK, 1, 0));
    // The system's warning icon is shared: it is copied into the list and never destroyed.
    if (images && ::ImageList_AddIcon(images.Get(), ::LoadIconW(nullptr, IDI_WARNING)) == kUnreadableTimeImage) {
        // Without LVS_SHAREIMAGELISTS the control destroys the list with itself.
        fw::IgnoreResult(SetImageList(images.Release(), LVSIL_SMALL));
    }
}

std::vector<core::TaskId> CListCtrlEx::GetSelectedIds() const {
    std::vector<core::TaskId> ids;
    for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED)) {
        ids.push_back(GetTaskId(row));
    }
    return ids;
}

void CListCtrlEx::Refresh() {
    const std::vector<core::TaskId> selectedIds = GetSelectedIds();
    const std::unordered_set<core::TaskId> selected(selectedIds.begin(), selectedIds.end());
    const core::TaskId focused = GetTaskId(GetNextItem(-1, LVNI_FOCUSED));
    m_ids = m_store.Ids();
    SendMessage(LVM_SETITEMCOUNT, m_ids.size(), LVSICF_NOSCROLL);
    if (selected.empty() && focused == 0) {
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        return;
    }
    SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (size_t row = 0; row < m_ids.size(); ++row) {
        const UINT state =
            (selected.count(m_ids[row]) ? LVIS_SELECTED : 0) | (m_ids[row] == focused ? LVIS_FOCUSED : 0);
        if (state != 0) {
            SetItemState(static_cast<int>(row), state, state);
        }
    }
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

core::TaskId CListCtrlEx::GetTaskId(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_ids.size() ? m_ids[static_cast<size_t>(row)] : 0;
}

std::optional<core::TaskRow> CListCtrlEx::RowOf(int row) const {
    const core::TaskId id = GetTaskId(row);
    return id != 0 ? m_store.Find(id) : std::nullopt;
}

core::Task CListCtrlEx::GetTask(int row) const {
    const std::optional<core::TaskRow> found = RowOf(row);
    return found ? found->task : core::Task{};
}

std::wstring CListCtrlEx::GetTaskText(int row, core::TaskColumn column) const {
    return CellText(row, static_cast<Column>(column));
}

void CListCtrlEx::SelectOnly(core::TaskId id) {
    SetItemState(-1, 0, LVIS_SELECTED);
    for (size_t row = 0; row < m_ids.size(); ++row) {
        if (m_ids[row] == id) {
            SetItemState(static_cast<int>(row), LVIS_SELECTED, LVIS_SELECTED);
        }
    }
}

std::wstring CListCtrlEx::CellText(int row, Column column) const {
    const std::optional<core::TaskRow> found = RowOf(row);
    if (!found) {
        return {};
    }
    const core::Task& task = found->task;
    switch (column) {
        case Column::Program:
            return task.program;
        case Column::Action:
            return task.action;
        case Column::Time:
            return task.time;
        case Column::Days:
            if (!task.date.empty()) {
                return found->date ? core::FormatDate(*found->date) : task.date;
            }
            // A text that names no days is shown as it stands, with the mark.
            return found->days ? core::DaysDisplayText(*found->days) : task.days;
        case Column::LastRun:
            return LastRunText(task.lastRun, found->result);
        case Column::Repeat:
            return RepeatText(*found);
        case Column::NextRun:
            return NextRunText(*found, NowLocal());
    }
    return {};
}

const fw::MessageMap* CListCtrlEx::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnNotifyReflect<&CListCtrlEx::OnGetDispInfo>(LVN_GETDISPINFOW),
        fw::OnNotifyReflect<&CListCtrlEx::OnCustomDraw>(NM_CUSTOMDRAW),
        fw::OnNotifyReflect<&CListCtrlEx::OnRightClick>(NM_RCLICK),
    };
    static const fw::MessageMap map{fw::CListCtrl::StaticMessageMap(), kEntries};
    return &map;
}

LRESULT CListCtrlEx::OnGetDispInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    const auto column = static_cast<Column>(item.iSubItem);
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = CellText(item.iItem, column);
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::copy_n(text.data(), length, item.pszText);
        item.pszText[length] = L'\0';
    }
    if (item.mask & LVIF_IMAGE) {
        const std::optional<core::TaskRow> found = RowOf(item.iItem);
        const bool unreadable =
            found && ((column == Column::Time && found->secondOfDay < 0) || (column == Column::Days && !found->days) ||
                      (column == Column::Repeat && !found->task.every.empty() && found->everySeconds <= 0));
        item.iImage = unreadable ? kUnreadableTimeImage : I_IMAGENONE;
    }
    return 0;
}

LRESULT CListCtrlEx::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            if (const std::optional<core::TaskRow> found = RowOf(static_cast<int>(draw->nmcd.dwItemSpec));
                found && DrawsGrey(*found, NowLocal())) {
                draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        default:
            return CDRF_DODEFAULT;
    }
}

LRESULT CListCtrlEx::OnRightClick(NMHDR*) {
    // The list has selected the row under the pointer; a click beside the rows offers nothing.
    const int row = GetFirstSelectedTask();
    fw::UniqueMenu menu(row >= 0 ? ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TASK_MENU)) : nullptr);
    if (!menu) {
        return 0;
    }
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    if (!GetTask(row).enabled) {
        fw::IgnoreResult(
            ::ModifyMenuW(popup, IDM_TOGGLE_ENABLED, MF_BYCOMMAND | MF_STRING, IDM_TOGGLE_ENABLED, L"Enable"));
    }
    POINT cursor{};
    fw::IgnoreResult(::GetCursorPos(&cursor));
    // The command comes to the parent as WM_COMMAND, to the same handlers as its buttons and menu.
    fw::IgnoreResult(::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, ::GetParent(m_hWnd), nullptr));
    return 0;
}

}  // namespace app
