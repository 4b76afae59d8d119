#include "app/ListCtrlEx.h"

#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "framework/Dpi.h"
#include "framework/Handle.h"
#include "res/resource.h"

#include <algorithm>
#include <utility>
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

// The headings, and the widths (at 96 DPI) the columns have until they are fitted to the rows.
struct ColumnDesign {
    const wchar_t* heading;
    int width;
};
constexpr ColumnDesign kColumns[CListCtrlEx::kColumnCount] = {
    {L"Program ", 250}, {L"Action", 80},  {L"Time", 80},      {L"Days", 100},
    {L"Last run", 220}, {L"Repeat", 190}, {L"Next run", 170},
};
// Room beside a text, at 96 DPI: the header and the cells draw their texts inset from both edges and cut a text
// that touches them.
constexpr int kHeadingPadding = 18;
constexpr int kCellPadding = 18;

}  // namespace

void CListCtrlEx::SetupTaskColumns(UINT dpi) {
    m_dpi = dpi;
    m_settingWidths = true;
    for (int column = 0; column < kColumnCount; ++column) {
        InsertColumn(column, kColumns[column].heading, LVCFMT_LEFT, fw::ScaleToDpi(kColumns[column].width, dpi));
    }
    m_settingWidths = false;
    // The repeat is shown beside the days it qualifies.
    int order[] = {0, 1, 2, 3, 5, 4, 6};
    fw::IgnoreResult(SendMessage(LVM_SETCOLUMNORDERARRAY, std::size(order), reinterpret_cast<LPARAM>(order)));
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);
    MakeImages();
}

void CListCtrlEx::MakeImages() {
    const int cx = fw::SystemMetricForDpi(SM_CXSMICON, m_dpi);
    const int cy = fw::SystemMetricForDpi(SM_CYSMICON, m_dpi);
    fw::UniqueImageList images(::ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 1, 0));
    // The system's warning icon is shared: it is copied into the list and never destroyed.
    const auto warning = static_cast<HICON>(::LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, cx, cy, LR_SHARED));
    if (images && ::ImageList_AddIcon(images.Get(), warning) == kUnreadableTimeImage) {
        // Without LVS_SHAREIMAGELISTS the control destroys the list it holds with itself; the one it held before
        // is ours to destroy.
        fw::UniqueImageList previous(SetImageList(images.Release(), LVSIL_SMALL));
    }
}

void CListCtrlEx::SetDpi(UINT dpi) {
    if (dpi == m_dpi || dpi == 0) {
        return;
    }
    const UINT previous = std::exchange(m_dpi, dpi);
    MakeImages();
    m_settingWidths = true;
    for (int column = 0; column < kColumnCount; ++column) {
        const int width = static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
        SetColumnWidth(column, m_userWidths[column] > 0 ? fw::ScaleToDpi(m_userWidths[column], dpi)
                                                        : fw::Rescale(width, dpi, previous));
    }
    m_settingWidths = false;
    // The texts measure differently in the new font than by the ratio alone.
    FitColumns(false);
}

void CListCtrlEx::SetUserWidths(const std::vector<int>& designWidths) {
    for (size_t column = 0; column < m_userWidths.size() && column < designWidths.size(); ++column) {
        m_userWidths[column] = std::max(designWidths[column], 0);
        if (m_userWidths[column] > 0) {
            const bool wasSetting = std::exchange(m_settingWidths, true);
            SetColumnWidth(static_cast<int>(column), fw::ScaleToDpi(m_userWidths[column], m_dpi));
            m_settingWidths = wasSetting;
        }
    }
}

void CListCtrlEx::SetColumnWidth(int column, int width) {
    fw::IgnoreResult(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
}

void CListCtrlEx::FitColumns(bool growOnly) {
    const bool wasSetting = std::exchange(m_settingWidths, true);
    for (int column = 0; column < kColumnCount; ++column) {
        if (m_userWidths[column] > 0) {
            continue;
        }
        const int current = static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
        const int needed = ContentWidth(column);
        if (needed != current && (!growOnly || needed > current)) {
            SetColumnWidth(column, needed);
        }
    }
    m_settingWidths = wasSetting;
}

int CListCtrlEx::ContentWidth(int column) const {
    const auto textWidth = [this](const std::wstring& text) {
        return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    };
    int width = textWidth(kColumns[column].heading) + fw::ScaleToDpi(kHeadingPadding, m_dpi);
    // Only the rows on show at this moment: a list of ten thousand costs what a page of it costs.
    const int top = std::max(static_cast<int>(SendMessage(LVM_GETTOPINDEX)), 0);
    const int last = std::min(top + static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE)) + 1, GetTaskCount());
    for (int row = top; row < last; ++row) {
        width = std::max(width, ImageRoom(row, column) + textWidth(CellText(row, static_cast<Column>(column))) +
                                    fw::ScaleToDpi(kCellPadding, m_dpi));
    }
    return width;
}

int CListCtrlEx::ImageRoom(int row, int column) const {
    // The control decides where a cell keeps room for an image: column 0 always, and with some versions every
    // cell of a list with sub-item images, even one that shows none.
    RECT icon{};
    icon.top = column;
    icon.left = LVIR_ICON;
    if (!SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon)) ||
        icon.right <= icon.left) {
        return 0;
    }
    return icon.right - icon.left + fw::ScaleToDpi(4, m_dpi);
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
        fw::OnMessage<&CListCtrlEx::OnGetDlgCode>(WM_GETDLGCODE),
        fw::OnMessage<&CListCtrlEx::OnNotify>(WM_NOTIFY),
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
        item.iImage = found && ShowsMark(*found, column) ? kUnreadableTimeImage : I_IMAGENONE;
    }
    return 0;
}

bool CListCtrlEx::ShowsMark(const core::TaskRow& row, Column column) const {
    return (column == Column::Time && row.secondOfDay < 0) || (column == Column::Days && !row.days) ||
           (column == Column::Repeat && !row.task.every.empty() && row.everySeconds <= 0);
}

LRESULT CListCtrlEx::OnGetDlgCode(WPARAM, LPARAM message) {
    LRESULT code = Default();
    const auto* msg = reinterpret_cast<const MSG*>(message);
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        code |= DLGC_WANTMESSAGE;
    }
    return code;
}

LRESULT CListCtrlEx::OnNotify(WPARAM, LPARAM header) {
    // The list keeps its own columns in step with the header first.
    const LRESULT result = Default();
    const auto* notice = reinterpret_cast<const NMHEADERW*>(header);
    if (!m_settingWidths && notice && notice->hdr.hwndFrom == GetHeaderCtrl() &&
        (notice->hdr.code == HDN_ITEMCHANGEDW || notice->hdr.code == HDN_ITEMCHANGEDA) && notice->pitem &&
        (notice->pitem->mask & HDI_WIDTH) && notice->iItem >= 0 && notice->iItem < kColumnCount) {
        m_userWidths[notice->iItem] = std::max(fw::ScaleToDesign(notice->pitem->cxy, m_dpi), 1);
        if (m_userWidthListener) {
            m_userWidthListener();
        }
    }
    return result;
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
            ::ModifyMenuW(popup, IDM_TOGGLE_ENABLED, MF_BYCOMMAND | MF_STRING, IDM_TOGGLE_ENABLED, L"&Enable"));
    }
    POINT cursor{};
    fw::IgnoreResult(::GetCursorPos(&cursor));
    // The command comes to the parent as WM_COMMAND, to the same handlers as its buttons and menu.
    fw::IgnoreResult(::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, ::GetParent(m_hWnd), nullptr));
    return 0;
}

}  // namespace app
