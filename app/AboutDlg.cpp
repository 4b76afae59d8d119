#include "app/AboutDlg.h"

#include "res/resource.h"

namespace app {

CAboutDlg::CAboutDlg(HWND parent) : fw::CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_ABOUT_RIGHTS, m_rights);
}

bool CAboutDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_rights.SetWindowText(fw::LoadResourceString(IDS_RIGHTS));
    return true;
}

}  // namespace app
