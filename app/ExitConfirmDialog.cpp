#include "app/ExitConfirmDialog.h"

#include "res/resource.h"

namespace app {

CExitConfirmDialog::CExitConfirmDialog(HWND parent) : fw::CDialog(IDD_EXIT_CONFIRM, parent) {}

const fw::MessageMap* CExitConfirmDialog::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnCommand<&CExitConfirmDialog::OnHideButton>(IDC_CONFIRM_HIDE),
        fw::OnCommand<&CExitConfirmDialog::OnExitButton>(IDC_CONFIRM_EXIT),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

ExitAnswer CExitConfirmDialog::Ask() {
    return DoModal() == IDC_CONFIRM_HIDE ? ExitAnswer::Hide : ExitAnswer::Exit;
}

void CExitConfirmDialog::OnHideButton() {
    EndDialog(IDC_CONFIRM_HIDE);
}

void CExitConfirmDialog::OnExitButton() {
    EndDialog(IDC_CONFIRM_EXIT);
}

// Enter and Esc (and the close box, which sends Cancel) mean Hide: only the Exit button ends the program.
void CExitConfirmDialog::OnOK() {
    EndDialog(IDC_CONFIRM_HIDE);
}

void CExitConfirmDialog::OnCancel() {
    EndDialog(IDC_CONFIRM_HIDE);
}

}  // namespace app
