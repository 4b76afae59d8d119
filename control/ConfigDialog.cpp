#include "control/ConfigDialog.h"

#include "control/StopOptions.h"
#include "core/Profile.h"
#include "res/resource.h"

namespace control {

CConfigPage::CConfigPage() : fw::CPropertyPage(IDD_CONFIG_PAGE) {}

const fw::MessageMap* CConfigPage::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnControl<&CConfigPage::OnTimeOutChange>(IDC_TIMEOUT_EDIT, EN_CHANGE),
        fw::OnControl<&CConfigPage::OnForceQuitClicked>(IDC_FORCE_QUIT, BN_CLICKED),
    };
    static const fw::MessageMap map{fw::CPropertyPage::StaticMessageMap(), kEntries};
    return &map;
}

void CConfigPage::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Text(dx, IDC_TIMEOUT_EDIT, m_strTimeOut);
    fw::DDX_Control(dx, IDC_FORCE_QUIT, m_btnForceQuit);
}

bool CConfigPage::OnInitDialog() {
    m_filling = true;
    fw::CPropertyPage::OnInitDialog();
    LoadStopOptions();
    m_filling = false;
    return true;
}

bool CConfigPage::OnApply() {
    SaveStopOptions();
    return fw::CPropertyPage::OnApply();
}

void CConfigPage::LoadStopOptions() {
    m_strTimeOut = core::GetSetting(kStopSection, kTimeOutKey);
    if (m_strTimeOut.empty()) {
        m_strTimeOut = std::to_wstring(kDefaultStopTimeOutSeconds);
    }
    m_btnForceQuit.SetCheck(IsForceQuitText(core::GetSetting(kStopSection, kForceQuitKey)) ? BST_CHECKED
                                                                                           : BST_UNCHECKED);
    UpdateData(false);
}

void CConfigPage::SaveStopOptions() {
    fw::IgnoreResult(core::SetSetting(kStopSection, kTimeOutKey, m_strTimeOut));
    fw::IgnoreResult(core::SetSetting(kStopSection, kForceQuitKey, m_btnForceQuit.GetCheck() ? L"TRUE" : L"FALSE"));
}

void CConfigPage::OnTimeOutChange() {
    if (!m_filling) {
        SetModified(true);
    }
}

void CConfigPage::OnForceQuitClicked() {
    SetModified(true);
}

CConfigDialog::CConfigDialog() : fw::CPropertySheet(L"Config") {
    AddPage(m_page);
}

bool CConfigDialog::OnInitDialog() {
    const bool result = fw::CPropertySheet::OnInitDialog();
    if (HWND help = GetDlgItem(IDHELP)) {
        ::ShowWindow(help, SW_HIDE);
        ::EnableWindow(help, FALSE);
    }
    return result;
}

}  // namespace control
