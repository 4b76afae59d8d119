#include "app/AboutDlg.h"

#include "res/resource.h"

namespace app {

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero length the call hands out a pointer into the resource itself.
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

CAboutDlg::CAboutDlg(HWND parent) : fw::CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_ABOUT_RIGHTS, m_rights);
}

bool CAboutDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_rights.SetWindowText(LoadResourceString(IDS_RIGHTS));
    return true;
}

}  // namespace app
