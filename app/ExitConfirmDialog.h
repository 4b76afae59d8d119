#pragma once
// "Please Confirm": asked before the program ends while it still has tasks.
#include "framework/Dialog.h"

namespace app {

enum class ExitAnswer { Exit, Hide };

// Asks whether to exit or only hide. Every way out of the dialog but the Exit button means Hide.
class CExitConfirmDialog : public fw::CDialog {
public:
    explicit CExitConfirmDialog(HWND parent = nullptr);

    // Shows the question and gives the answer. A question that could not be shown at all does not keep the
    // program from ending.
    ExitAnswer Ask();

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
