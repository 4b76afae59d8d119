#pragma once
// The About box: the program's icon, name and version, and the maker's rights notice.
#include "framework/Controls.h"
#include "framework/Dialog.h"

namespace app {

// Shows the About box; its one behaviour is to fill in the rights notice.
class CAboutDlg : public fw::CDialog {
public:
    explicit CAboutDlg(HWND parent = nullptr);

protected:
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    fw::CStatic m_rights;
};

}  // namespace app
