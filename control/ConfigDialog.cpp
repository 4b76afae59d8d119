#include "control/ConfigDialog.h"

#include "control/LogonStart.h"
#include "control/StopOptions.h"
#include "core/Profile.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"
#include "res/resource.h"

namespace control {

bool NotifyFailuresOn() {
    return IsOnByDefaultText(core::GetSetting(kOptionsSection, kNotifyFailuresKey));
}

std::optional<int> ParsePostponeMinutes(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return std::nullopt;
    }
    const std::wstring digits = text.substr(first, text.find_last_not_of(L" \t") - first + 1);
    // Four digits at most: the number cannot overflow, and leading zeros ("010") are still read.
    if (digits.size() > 4 || digits.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const int minutes = std::stoi(digits);
    return minutes >= 1 && minutes <= kMaxPostponeMinutes ? std::optional<int>(minutes) : std::nullopt;
}

int PostponeMinutes() {
    return ParsePostponeMinutes(core::GetSetting(kOptionsSection, kPostponeMinutesKey))
        .value_or(kDefaultPostponeMinutes);
}

CConfigPage::CConfigPage() : fw::CPropertyPage(IDD_CONFIG_PAGE), m_programPath(fw::GetProgramPath()) {}

const fw::MessageMap* CConfigPage::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnControl<&CConfigPage::OnFieldEdited>(IDC_TIMEOUT_EDIT, EN_CHANGE),
        fw::OnControl<&CConfigPage::OnFieldEdited>(IDC_POSTPONE_EDIT, EN_CHANGE),
        fw::OnControl<&CConfigPage::OnForceQuitClicked>(IDC_FORCE_QUIT, BN_CLICKED),
        fw::OnControl<&CConfigPage::OnStartAtLogonClicked>(IDC_START_AT_LOGON, BN_CLICKED),
        fw::OnControl<&CConfigPage::OnNotifyFailuresClicked>(IDC_NOTIFY_FAILURES, BN_CLICKED),
    };
    static const fw::MessageMap map{fw::CPropertyPage::StaticMessageMap(), kEntries};
    return &map;
}

void CConfigPage::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Text(dx, IDC_TIMEOUT_EDIT, m_strTimeOut);
    fw::DDX_Text(dx, IDC_POSTPONE_EDIT, m_strPostpone);
    fw::DDX_Control(dx, IDC_FORCE_QUIT, m_btnForceQuit);
    fw::DDX_Control(dx, IDC_START_AT_LOGON, m_btnStartAtLogon);
    fw::DDX_Control(dx, IDC_NOTIFY_FAILURES, m_btnNotifyFailures);
}

bool CConfigPage::OnInitDialog() {
    m_filling = true;
    fw::CPropertyPage::OnInitDialog();
    LoadStopOptions();
    LoadPostponeMinutes();
    LoadStartAtLogon();
    LoadNotifyFailures();
    m_filling = false;
    return true;
}

bool CConfigPage::OnApply() {
    SaveStopOptions();
    SavePostponeMinutes();
    SaveNotifyFailures();
    SaveStartAtLogon();
    return fw::CPropertyPage::OnApply();
}

bool CConfigPage::OnKillActive() {
    // The sheet asks here before it applies any page: a refusal writes nothing and keeps the page as typed.
    wchar_t typed[16]{};
    ::GetDlgItemTextW(m_hWnd, IDC_POSTPONE_EDIT, typed, static_cast<int>(std::size(typed)));
    if (!ParsePostponeMinutes(typed)) {
        fw::IgnoreResult(fw::AfxMessageBox(kPostponeRangeText, MB_OK));
        ::SetFocus(::GetDlgItem(m_hWnd, IDC_POSTPONE_EDIT));
        return false;
    }
    return fw::CPropertyPage::OnKillActive();
}

void CConfigPage::LoadPostponeMinutes() {
    m_strPostpone = std::to_wstring(PostponeMinutes());
    UpdateData(false);
}

void CConfigPage::SavePostponeMinutes() {
    // OnKillActive let only valid minutes through; they are stored without the blanks around them.
    if (const std::optional<int> minutes = ParsePostponeMinutes(m_strPostpone)) {
        fw::IgnoreResult(core::SetSetting(kOptionsSection, kPostponeMinutesKey, std::to_wstring(*minutes)));
    }
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

void CConfigPage::LoadStartAtLogon() {
    m_btnStartAtLogon.SetCheck(IsStartAtLogonSet(m_programPath) ? BST_CHECKED : BST_UNCHECKED);
}

void CConfigPage::SaveStartAtLogon() {
    const bool start = m_btnStartAtLogon.GetCheck() == BST_CHECKED;
    const LSTATUS result = SetStartAtLogon(start, m_programPath);
    if (result != ERROR_SUCCESS) {
        // Like a profile that cannot be written, this does not keep the sheet open: the user is told and the
        // box shows the Run key's real state at the next opening.
        fw::IgnoreResult(
            fw::AfxMessageBox(std::wstring(start ? L"Can not make Marlowick start when you log on"
                                                 : L"Can not stop Marlowick from starting when you log on") +
                              L" (error " + std::to_wstring(result) + L")."));
    }
}

void CConfigPage::LoadNotifyFailures() {
    m_btnNotifyFailures.SetCheck(NotifyFailuresOn() ? BST_CHECKED : BST_UNCHECKED);
}

void CConfigPage::SaveNotifyFailures() {
    fw::IgnoreResult(core::SetSetting(kOptionsSection, kNotifyFailuresKey,
                                      m_btnNotifyFailures.GetCheck() == BST_CHECKED ? L"TRUE" : L"FALSE"));
}

void CConfigPage::OnFieldEdited() {
    if (!m_filling) {
        SetModified(true);
    }
}

void CConfigPage::OnForceQuitClicked() {
    SetModified(true);
}

void CConfigPage::OnStartAtLogonClicked() {
    SetModified(true);
}

void CConfigPage::OnNotifyFailuresClicked() {
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
