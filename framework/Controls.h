#pragma once
// The small controls of the program's dialogs, and the image list and type icons that their rows and fields show.
#include "framework/Handle.h"
#include "framework/Wnd.h"

#include <commctrl.h>

#include <string>

namespace fw {

// The string resource of the program, whole; empty when there is none.
std::wstring LoadResourceString(UINT id);

// The two sizes of the shell's icons: small for a list's rows, large for an icon field.
enum class IconSize { Small, Large };

// The shell's icon for the file's type as told by its name; the file is not opened, so every executable
// gets the same generic icon. The icon is the caller's; empty when the shell has none.
UniqueIcon GetFileTypeIcon(const std::wstring& path, IconSize size);

// The framework's standard identifier of a window's status bar.
inline constexpr UINT kIdStatusBar = 59393;

// A drop-down list of texts.
class CComboBox : public CWnd {
public:
    int AddString(const std::wstring& text) const {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    // The text of an entry; empty for an index that does not exist.
    std::wstring GetLBText(int index) const;
};

// A date-time picker; its value goes in and out through DDX_DateTimeCtrl.
class CDateTimeCtrl : public CWnd {};

// A static control; the icon it shows stays its caller's.
class CStatic : public CWnd {
public:
    HICON SetIcon(HICON icon) const {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
};

// A push button or check box.
class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

// An image list that the object owns: it is destroyed with the object. A list view that shows it must
// have LVS_SHAREIMAGELISTS, so that the control does not destroy it too.
class CImageList {
public:
    bool Create(int width, int height, UINT flags, int initial, int grow) {
        m_list.Reset(::ImageList_Create(width, height, flags, initial, grow));
        return static_cast<bool>(m_list);
    }
    HIMAGELIST GetSafeHandle() const { return m_list.Get(); }
    // Adds a copy of the icon; its index, or -1.
    int Add(HICON icon) const { return m_list ? ::ImageList_ReplaceIcon(m_list.Get(), -1, icon) : -1; }
    int GetImageCount() const { return m_list ? ::ImageList_GetImageCount(m_list.Get()) : 0; }

private:
    UniqueImageList m_list;
};

// A status bar docked at the bottom of its parent; panes are named by string resource ids.
class CStatusBar : public CWnd {
public:
    // Creates the bar as a child of the parent; the parent's destruction destroys it.
    bool Create(HWND parent, DWORD style = WS_CHILD | WS_VISIBLE | CCS_BOTTOM, UINT id = kIdStatusBar);
    // One pane for each id, with the string resource of that id as its text.
    bool SetIndicators(const UINT* ids, int count);
    // Gives a pane an id, a style (SBT_*) and a width in pixels; the following panes move along.
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    std::wstring GetPaneText(int index) const;

private:
    void ApplyPanes() const;

    struct Pane {
        UINT id;
        UINT style;
        int width;
        std::wstring text;
    };
    Pane m_panes[8]{};
    int m_paneCount = 0;
};

}  // namespace fw
