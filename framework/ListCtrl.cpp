#include "framework/ListCtrl.h"

#include <vector>

namespace fw {

int CListCtrl::InsertColumn(int column, const std::wstring& heading, int format, int width, int subItem) const {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<wchar_t*>(heading.c_str());
    if (subItem != -1) {
        col.mask |= LVCF_SUBITEM;
        col.iSubItem = subItem;
    }
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::GetColumnCount() const {
    HWND header = GetHeaderCtrl();
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int CListCtrl::InsertItem(int item, const std::wstring& text) const {
    LVITEMW lvi{};
    lvi.mask = LVIF_TEXT;
    lvi.iItem = item;
    lvi.pszText = const_cast<wchar_t*>(text.c_str());
    return InsertItem(lvi);
}

bool CListCtrl::SetItemText(int item, int subItem, const std::wstring& text) const {
    LVITEMW lvi{};
    lvi.iSubItem = subItem;
    lvi.pszText = const_cast<wchar_t*>(text.c_str());
    return SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)) != 0;
}

std::wstring CListCtrl::GetItemText(int item, int subItem) const {
    // The control copies at most the buffer's size and says how much it copied: grow until the text fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        LVITEMW lvi{};
        lvi.iSubItem = subItem;
        lvi.pszText = buffer.data();
        lvi.cchTextMax = static_cast<int>(buffer.size());
        const auto copied = static_cast<size_t>(
            SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)));
        if (copied + 1 < buffer.size()) {
            return std::wstring(buffer.data(), copied);
        }
        buffer.resize(buffer.size() * 4);
    }
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) const {
    LVITEMW lvi{};
    lvi.state = state;
    lvi.stateMask = mask;
    return SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)) != 0;
}

int CListCtrl::GetItemImage(int item, int subItem) const {
    LVITEMW lvi{};
    lvi.mask = LVIF_IMAGE;
    lvi.iItem = item;
    lvi.iSubItem = subItem;
    return GetItem(lvi) ? lvi.iImage : -1;
}

bool CListCtrl::SetItemImage(int item, int subItem, int image) const {
    LVITEMW lvi{};
    lvi.mask = LVIF_IMAGE;
    lvi.iItem = item;
    lvi.iSubItem = subItem;
    lvi.iImage = image;
    return SetItem(lvi);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMW lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    if (SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lvi)) == 0) {
        return 0;
    }
    return static_cast<DWORD_PTR>(lvi.lParam);
}

bool CListCtrl::SetItemData(int item, DWORD_PTR data) const {
    LVITEMW lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    lvi.lParam = static_cast<LPARAM>(data);
    return SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&lvi)) != 0;
}

}  // namespace fw
