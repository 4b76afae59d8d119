#include "core/ListCtrlEx.h"

#include "framework/Handle.h"

#include <algorithm>

namespace core {

void CListCtrlEx::SetupTaskColumns() const {
    InsertColumn(static_cast<int>(TaskColumn::Program), L"Program ", LVCFMT_LEFT, 250);
    InsertColumn(static_cast<int>(TaskColumn::Action), L"Action", LVCFMT_LEFT, 80);
    InsertColumn(static_cast<int>(TaskColumn::Time), L"Time", LVCFMT_LEFT, 80);
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

void CListCtrlEx::AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) {
    m_store.AppendTask(program, action, time);
    SyncCount();
}

void CListCtrlEx::AppendTasks(const std::vector<Task>& tasks) {
    m_store.AppendTasks(tasks);
    SyncCount();
}

void CListCtrlEx::ReplaceTask(int row,
                              const std::wstring& program,
                              const std::wstring& action,
                              const std::wstring& time) {
    if (row < 0 || row >= m_store.GetTaskCount()) {
        return;
    }
    m_store.ReplaceTask(row, program, action, time);
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

void CListCtrlEx::OnGetDispInfo(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    const auto column = static_cast<TaskColumn>(item.iSubItem);
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = m_store.GetTaskText(item.iItem, column);
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::copy_n(text.data(), length, item.pszText);
        item.pszText[length] = L'\0';
    }
    if (item.mask & LVIF_IMAGE) {
        const bool unreadable = column == TaskColumn::Time && m_store.GetSecondOfDay(item.iItem) < 0;
        item.iImage = unreadable ? kUnreadableTimeImage : I_IMAGENONE;
    }
}

}  // namespace core
