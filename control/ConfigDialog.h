#pragma once
// The Options sheet: the stop time-out and the force-quit flag, read from and written to the settings file.
#include "framework/Controls.h"
#include "framework/PropertySheet.h"

#include <string>

namespace control {

// The one page of the Options sheet, "Options". The settings file is its only store: it reads the values
// when it opens and writes both on OK and on Apply.
class CConfigPage : public fw::CPropertyPage {
public:
    CConfigPage();

    // Fills the time-out field and the check box from the settings file.
    void LoadStopOptions();
    // Writes the time-out exactly as typed and the flag as "TRUE" or "FALSE".
    void SaveStopOptions();

    std::wstring m_strTimeOut;
    fw::CButton m_btnForceQuit;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;
    bool OnApply() override;

private:
    // Any change of the time-out or of the flag lights up Apply.
    void OnTimeOutChange();
    void OnForceQuitClicked();

    // Set while the page fills its own fields, whose change notifications are no edit of the user's.
    bool m_filling = false;
};

// The modal sheet "Config" with its one page and no Help button.
class CConfigDialog : public fw::CPropertySheet {
public:
    CConfigDialog();

    CConfigPage m_page;

protected:
    bool OnInitDialog() override;
};

}  // namespace control
