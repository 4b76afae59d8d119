#include "framework/PropertySheet.h"

#include <commctrl.h>

namespace fw {
namespace {

// The sheet being shown on this thread: the platform's callback carries no pointer of its own.
thread_local CPropertySheet* t_sheetBeingMade = nullptr;

}  // namespace

bool CPropertyPage::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (CDialog::OnWndMsg(message, wParam, lParam, result)) {
        return true;
    }
    if (message != WM_NOTIFY || !lParam) {
        return false;
    }
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_APPLY:
            result = OnNotifyApply();
            return true;
        case PSN_KILLACTIVE:
            result = OnNotifyKillActive();
            return true;
        case PSN_RESET:
            result = OnNotifyReset();
            return true;
        default:
            return false;
    }
}

void CPropertyPage::SetModified(bool changed) const {
    ::SendMessageW(GetParent(), changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

// The sheet reads these answers from DWLP_MSGRESULT: the dialog procedure puts them there.
LRESULT CPropertyPage::OnNotifyApply() {
    return OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
}

LRESULT CPropertyPage::OnNotifyKillActive() {
    return OnKillActive() ? FALSE : TRUE;
}

LRESULT CPropertyPage::OnNotifyReset() {
    OnCancel();
    return 0;
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // A page receives its description; the object is in its lParam.
        lParam = reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam;
    }
    return DialogProc(hwnd, message, wParam, lParam);
}

PROPSHEETPAGEW CPropertyPage::MakePageDescription() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.hInstance = ::GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(m_nIDTemplate);
    page.pfnDlgProc = &CPropertyPage::PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

int CALLBACK CPropertySheet::SheetCallback(HWND hwnd, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && t_sheetBeingMade) {
        CPropertySheet* sheet = t_sheetBeingMade;
        t_sheetBeingMade = nullptr;
        sheet->SubclassWindow(hwnd);
        try {
            sheet->OnInitDialog();
        } catch (...) {
            KeepPendingException(std::current_exception());
        }
    }
    return 0;
}

INT_PTR CPropertySheet::DoModal() {
    std::vector<PROPSHEETPAGEW> pages;
    pages.reserve(m_pages.size());
    for (CPropertyPage* page : m_pages) {
        pages.push_back(page->MakePageDescription());
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    header.hwndParent = m_hParent ? m_hParent : ::GetActiveWindow();
    header.hInstance = ::GetModuleHandleW(nullptr);
    header.pszCaption = m_caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = m_startPage;
    header.ppsp = pages.data();
    header.pfnCallback = &CPropertySheet::SheetCallback;
    t_sheetBeingMade = this;
    const INT_PTR result = ::PropertySheetW(&header);
    t_sheetBeingMade = nullptr;
    RethrowPendingException();
    if (result < 0) {
        return -1;
    }
    return result > 0 ? IDOK : IDCANCEL;
}

}  // namespace fw
