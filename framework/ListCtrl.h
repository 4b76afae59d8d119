#pragma once
// The list-view control, as the program's windows use it.
#include "framework/Wnd.h"

#include <commctrl.h>

#include <string>

namespace fw {

// A list-view control bound to an existing window.
class CListCtrl : public CWnd {
public:
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int GetSelectedCount() const { return static_cast<int>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    int GetNextItem(int item, UINT flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
    }

    int InsertColumn(int column, const std::wstring& heading, int format, int width, int subItem = -1) const;
    int GetColumnCount() const;

    // Inserts a row with its text only; returns its index or -1.
    int InsertItem(int item, const std::wstring& text) const;
    int InsertItem(const LVITEMW& item) const {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    bool SetItemText(int item, int subItem, const std::wstring& text) const;
    // The whole text of a cell, of any length.
    std::wstring GetItemText(int item, int subItem) const;
    bool DeleteItem(int item) const { return SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item)) != 0; }
    bool DeleteAllItems() const { return SendMessage(LVM_DELETEALLITEMS) != 0; }

    bool SetItemState(int item, UINT state, UINT mask) const;
    UINT GetItemState(int item, UINT mask) const {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
    }
    bool GetItem(LVITEMW& item) const { return SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0; }
    bool SetItem(const LVITEMW& item) const {
        return SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
    }
    // The image index of a cell, or -1 when it cannot be read.
    int GetItemImage(int item, int subItem) const;
    bool SetItemImage(int item, int subItem, int image) const;
    DWORD_PTR GetItemData(int item) const;
    bool SetItemData(int item, DWORD_PTR data) const;

    DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    // Sets extended style bits; a mask of 0 means all bits, as the control defines it.
    DWORD SetExtendedStyle(DWORD style, DWORD mask = 0) const {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
    }
    HIMAGELIST SetImageList(HIMAGELIST list, int kind) const {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list)));
    }
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
};

}  // namespace fw
