#pragma once
// "Please Confirm": asked before the program ends while it still has tasks.
#include "framework/Dialog.h"

namespace app {

// Asks whether to exit or only hide. Every way out of the dialog but the Exit button means Hide.
class CExitConfirmDialog : public fw::CDialog {
public:
    explicit CExitConfirmDialog(HWND parent = nullptr);

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

    void OnOK() override;
    void OnCancel() override;

private:
    void OnHideButton();
    void OnExitButton();
};

}  // namespace app
