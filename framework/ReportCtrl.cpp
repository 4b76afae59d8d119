#include "framework/ReportCtrl.h"

#include "framework/Handle.h"
#include "framework/ReportCompare.h"

#include <memory>
#include <algorithm>
#include <numeric>

namespace fw {
namespace {

CReportItemData* RecordOf(DWORD_PTR data) {
    return reinterpret_cast<CReportItemData*>(data);
}

}  // namespace

CReportCtrl::~CReportCtrl() {
    // A window that outlives the object keeps no pointers to freed records.
    if (IsWindow()) {
        FreeRecords();
    }
}

const fw::MessageMap* CReportCtrl::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnNotifyReflect<&CReportCtrl::OnCustomDraw>(NM_CUSTOMDRAW),
        fw::OnNotifyReflect<&CReportCtrl::OnColumnClick>(LVN_COLUMNCLICK),
        fw::OnNotifyReflect<&CReportCtrl::OnDeleteItem>(LVN_DELETEITEM),
        fw::OnMessage<&CReportCtrl::OnDestroy>(WM_DESTROY),
    };
    static const fw::MessageMap map{fw::CListCtrl::StaticMessageMap(), kEntries};
    return &map;
}

void CReportCtrl::PreSubclassWindow() {
    // Report view with both scroll bars; no small icons, label editing or disabled scrolling.
    constexpr DWORD kCleared = LVS_SMALLICON | LVS_EDITLABELS | LVS_NOSCROLL;
    constexpr DWORD kSet = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LVS_REPORT;
    const DWORD style = (GetStyle() & ~kCleared) | kSet;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    // Exactly full-row select and sub-item images; a window that wants more adds it afterwards.
    SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES, 0xFFFFFFFF);
    fw::CListCtrl::PreSubclassWindow();
}

int CReportCtrl::InsertColumn(int column, const std::wstring& heading, int format, int width, int subItem) {
    const int index = fw::CListCtrl::InsertColumn(column, heading, format, width, subItem);
    if (index < 0) {
        return -1;
    }
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF back = ::GetSysColor(COLOR_WINDOW);
    const int rows = GetItemCount();
    for (int row = 0; row < rows; ++row) {
        if (CReportItemData* record = RecordOf(GetItemData(row))) {
            const auto at = static_cast<size_t>(index);
            record->textColors.insert(
                record->textColors.begin() + static_cast<ptrdiff_t>(std::min(at, record->textColors.size())), text);
            record->backColors.insert(
                record->backColors.begin() + static_cast<ptrdiff_t>(std::min(at, record->backColors.size())), back);
        }
    }
    return index;
}

int CReportCtrl::InsertItem(int item, const std::wstring& text) {
    m_nSortCol = -1;
    m_bSortAscending = true;
    const int index = fw::CListCtrl::InsertItem(item, text);
    if (index < 0) {
        return -1;
    }
    auto record = std::make_unique<CReportItemData>();
    const auto columns = static_cast<size_t>(GetColumnCount());
    record->textColors.assign(columns, ::GetSysColor(COLOR_WINDOWTEXT));
    record->backColors.assign(columns, ::GetSysColor(COLOR_WINDOW));
    if (SetItemData(index, reinterpret_cast<DWORD_PTR>(record.get()))) {
        fw::IgnoreResult(record.release());  // the row owns it now; freed at LVN_DELETEITEM or WM_DESTROY
    }
    return index;
}

bool CReportCtrl::SetCellColors(int item, int column, COLORREF text, COLORREF back) const {
    CReportItemData* record = RecordOf(GetItemData(item));
    if (!record || column < 0 || static_cast<size_t>(column) >= record->textColors.size()) {
        return false;
    }
    record->textColors[static_cast<size_t>(column)] = text;
    record->backColors[static_cast<size_t>(column)] = back;
    return true;
}

const CReportItemData* CReportCtrl::GetItemRecord(int item) const {
    return RecordOf(GetItemData(item));
}

LRESULT CReportCtrl::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const CReportItemData* record = RecordOf(draw->nmcd.lItemlParam);
            const auto column = static_cast<size_t>(draw->iSubItem);
            if (record && draw->iSubItem >= 0 && column < record->textColors.size()) {
                draw->clrText = record->textColors[column];
                draw->clrTextBk = record->backColors[column];
            }
            return CDRF_DODEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

bool CReportCtrl::CanSort() const {
    if (GetStyle() & LVS_NOCOLUMNHEADER) {
        return false;
    }
    HWND header = GetHeaderCtrl();
    return header && (::GetWindowLongPtrW(header, GWL_STYLE) & HDS_BUTTONS) != 0;
}

LRESULT CReportCtrl::OnColumnClick(NMLISTVIEW* view) {
    const int column = view->iSubItem;
    const bool ascending = column == m_nSortCol ? !m_bSortAscending : true;
    if (column < 0 || column >= GetColumnCount() || !CanSort()) {
        return 0;
    }
    m_nSortCol = column;
    m_bSortAscending = ascending;
    SortRows();
    ::SendMessageW(GetParent(), kSortNotifyMessage, static_cast<WPARAM>(m_nSortCol), m_bSortAscending ? 1 : 0);
    return 0;
}

void CReportCtrl::SortRows() {
    const int count = GetItemCount();
    if (count < 2) {
        return;
    }
    std::vector<int> rows(static_cast<size_t>(count));
    std::iota(rows.begin(), rows.end(), 0);
    QuickSortRows(rows, m_bSortAscending, [this](int x, int y) {
        return CompareCells(GetItemText(x, m_nSortCol), GetItemText(y, m_nSortCol));
    });

    struct Snapshot {
        UINT state;
        DWORD_PTR record;
        std::vector<int> images;
        std::vector<std::wstring> texts;
    };
    const int columns = GetColumnCount();
    std::vector<Snapshot> snapshots;
    snapshots.reserve(rows.size());
    for (int row : rows) {
        Snapshot snapshot{GetItemState(row, LVIS_SELECTED | LVIS_FOCUSED), GetItemData(row), {}, {}};
        for (int column = 0; column < columns; ++column) {
            snapshot.images.push_back(GetItemImage(row, column));
            snapshot.texts.push_back(GetItemText(row, column));
        }
        snapshots.push_back(std::move(snapshot));
    }
    for (int row = 0; row < count; ++row) {
        const Snapshot& snapshot = snapshots[static_cast<size_t>(row)];
        SetItemState(row, snapshot.state, LVIS_SELECTED | LVIS_FOCUSED);
        SetItemData(row, snapshot.record);
        for (int column = 0; column < columns; ++column) {
            LVITEMW lvi{};
            lvi.mask = LVIF_IMAGE | LVIF_TEXT;
            lvi.iItem = row;
            lvi.iSubItem = column;
            lvi.iImage = snapshot.images[static_cast<size_t>(column)];
            lvi.pszText = const_cast<wchar_t*>(snapshot.texts[static_cast<size_t>(column)].c_str());
            SetItem(lvi);
        }
    }
}

LRESULT CReportCtrl::OnDeleteItem(NMLISTVIEW* view) {
    // A row deleted by any means takes its record with it.
    delete RecordOf(static_cast<DWORD_PTR>(view->lParam));
    return 0;
}

void CReportCtrl::FreeRecords() {
    const int rows = GetItemCount();
    for (int row = 0; row < rows; ++row) {
        if (CReportItemData* record = RecordOf(GetItemData(row))) {
            SetItemData(row, 0);
            delete record;
        }
    }
}

void CReportCtrl::OnDestroy() {
    fw::IgnoreResult(::LockWindowUpdate(m_hWnd));
    FreeRecords();
    DeleteAllItems();
    fw::IgnoreResult(::LockWindowUpdate(nullptr));
    Default();
}

bool CReportCtrl::PreTranslateMessage(MSG& msg) {
    // The space bar would toggle or select rows: the pickers' lists ignore it.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_SPACE) {
        return true;
    }
    return fw::CListCtrl::PreTranslateMessage(msg);
}

}  // namespace fw
