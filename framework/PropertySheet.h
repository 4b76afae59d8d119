#pragma once
// Property sheets with their pages: the platform's sheet, pages run by the one dialog procedure.
#include "framework/Dialog.h"

#include <prsht.h>

#include <string>
#include <vector>

namespace fw {

// One page of a sheet, made from a child dialog template.
class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT templateId) : CDialog(templateId) {}

    // Tells the sheet that the page has changes (enables Apply) or has none.
    void SetModified(bool changed = true) const;
    // The platform's page description, pointing back to this object.
    PROPSHEETPAGEW MakePageDescription();

protected:
    // The sheet's notifications, after the derived class's own message map.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // OK or Apply: true accepts the page. The default accepts it.
    virtual bool OnApply() { return true; }
    // Leaving the page (and before OnApply): copies the controls into the members.
    virtual bool OnKillActive() { return UpdateData(true); }
    void OnOK() override {}
    void OnCancel() override {}

private:
    LRESULT OnNotifyApply();
    LRESULT OnNotifyKillActive();
    LRESULT OnNotifyReset();
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// A modal sheet with pages; its window is subclassed once the platform has made it.
class CPropertySheet : public CWnd {
public:
    explicit CPropertySheet(std::wstring caption, HWND parent = nullptr, UINT selectPage = 0)
        : m_caption(std::move(caption)), m_hParent(parent), m_startPage(selectPage) {}

    void AddPage(CPropertyPage& page) { m_pages.push_back(&page); }
    // Runs the sheet modally: IDOK or IDCANCEL, or -1 when it cannot be shown.
    INT_PTR DoModal();

protected:
    // The framework's sheet initialisation; runs once the sheet window and its first page exist.
    virtual bool OnInitDialog() { return true; }

private:
    static int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM lParam);

    std::wstring m_caption;
    HWND m_hParent;
    UINT m_startPage;
    std::vector<CPropertyPage*> m_pages;
};

}  // namespace fw
