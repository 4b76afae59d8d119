#pragma once
// The window picker: the titles of other programs' taskbar windows, with the chosen window marked.
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "control/WindowTitle.h"
#include "framework/ReportCtrl.h"

#include <string>

namespace control {

// The listing rule: a window with the application-window style, or an unowned, visible top-level window
// that is not a tool window.
bool IsTaskbarWindow(HWND hwnd);

// Inverts the outermost 3 pixels of the window, frame and caption included; a second call restores them.
void HighlightWindowFrame(HWND hwnd);

// The modal dialog "Please select a Window"; after OK, GetSelection is the chosen window's title.
class CWindowListDialog : public fw::CDialog {
public:
    CWindowListDialog();

    std::wstring GetSelection() const { return m_strSelection; }

    // Adds one row for a listed window of another process, or nothing.
    void AddWindowRow(HWND hwnd);

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    LRESULT OnItemChanged(NMHDR*);
    LRESULT OnDblClk(NMHDR*);
    static BOOL CALLBACK AddWindowProc(HWND hwnd, LPARAM lParam);

    fw::CReportCtrl m_list;
    fw::CImageList m_imageList;
    std::wstring m_strSelection;
};

}  // namespace control
