#pragma once
// Dialogs made from templates, modal or modeless, and the exchange of data with their controls.
#include "framework/Wnd.h"

#include <commctrl.h>

#include <string>

namespace fw {

class CDialog;

// One pass of data exchange: into the controls (save false) or out of them (save true).
class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool save) : m_dialog(dialog), m_bSaveAndValidate(save) {}
    CDialog& Dialog() const { return m_dialog; }
    HWND Control(int id) const;
    bool Saving() const { return m_bSaveAndValidate; }

private:
    CDialog& m_dialog;
    bool m_bSaveAndValidate;
};

// A dialog window made from a template of the program's resources.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr) : m_nIDTemplate(templateId), m_hParent(parent) {}
    ~CDialog() override;

    // Runs the dialog in its own message loop until EndDialog; the result given to EndDialog, or -1 when
    // the window cannot be made. An exception thrown by a handler ends the dialog and leaves here.
    virtual INT_PTR DoModal();
    // Makes the dialog as a modeless window.
    bool Create(HWND parent = nullptr);
    void EndDialog(int result);

    // Copies the members into the controls (false) or the controls into the members (true).
    bool UpdateData(bool save = true);

    bool PreTranslateMessage(MSG& msg) override;

    // The one dialog procedure of every dialog; lParam of WM_INITDIALOG is the object.
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    static const MessageMap* StaticMessageMap();
    const MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

    // Exchanges data with the controls, in one pass.
    virtual void DoDataExchange(CDataExchange&) {}
    // The framework's initialisation: one exchange into the controls. True lets the platform set the focus.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Runs one message of the dialog procedure with the result rules of dialog procedures.
    INT_PTR RunDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    HWND m_hParent;

private:
    // Messages whose result a dialog procedure returns itself; every other result goes through DWLP_MSGRESULT.
    static bool ReturnsResultDirectly(UINT message);
    static HWND GetSafeOwner(HWND parent);
    void RunModalLoop();

    bool m_inModalLoop = false;
    bool m_endModal = false;
    INT_PTR m_nModalResult = -1;
    bool m_skipDialogProc = false;
};

// Data exchange helpers. Each does one control in the direction of the pass.
// Text of any control.
void DDX_Text(CDataExchange& dx, int id, std::wstring& value);
// A combo box: into the control, select the first entry that begins with the text, ignoring case (nothing
// changes when none does); out of it, the text of the selected entry (empty when none is selected).
void DDX_CBString(CDataExchange& dx, int id, std::wstring& value);
// A check box's state.
void DDX_Check(CDataExchange& dx, int id, int& value);
// A two-state check box and a flag: ticked is true.
void DDX_Check(CDataExchange& dx, int id, bool& value);
// A check box that stands for one bit of a set of flags: into the control, ticked when the bit is set; out of
// it, only that bit changes, so that several boxes can share one set.
void DDX_CheckBit(CDataExchange& dx, int id, unsigned& flags, unsigned bit);
// Binds the control to a member object the first time (the object then receives its messages).
void DDX_Control(CDataExchange& dx, int id, CWnd& control);
// A date-time picker and a value with IsValid, IsNull, Null, ToSystemTime and FromSystemTime: into the control
// only a valid value is written, or a null one as no value (a picker with DTS_SHOWNONE shows its box unticked); out
// of it the picker's value, or null when it has none.
template <typename DateTime>
void DDX_DateTimeCtrl(CDataExchange& dx, int id, DateTime& value) {
    HWND control = dx.Control(id);
    SYSTEMTIME time{};
    if (dx.Saving()) {
        const LRESULT got = ::SendMessageW(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
        if (got == GDT_VALID) {
            value = DateTime::FromSystemTime(time);
        } else if (got == GDT_NONE) {
            value = DateTime::Null();
        }
    } else if (value.IsValid() && value.ToSystemTime(time)) {
        ::SendMessageW(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
    } else if (value.IsNull()) {
        ::SendMessageW(control, DTM_SETSYSTEMTIME, GDT_NONE, 0);
    }
}

}  // namespace fw
