#include "app/MarlowickApp.h"

#include "app/MarlowickDlg.h"
#include "app/Skin.h"

#include <commctrl.h>
#include <objbase.h>

namespace app {

CMarlowickApp::CMarlowickApp() : fw::CWinAppEx(true) {}

bool CMarlowickApp::InitInstance() {
    // Decided before anything else exists, so that a refused copy neither shows a window nor schedules a task.
    if (!StartAsOnlyInstance(ThisInstance(), m_instanceMarks)) {
        return false;
    }
    // A command of marlowick.com that is writing the profile ends first: its change is then in what is read.
    fw::IgnoreResult(m_profileLock.Acquire(INFINITE));

    fw::IgnoreResult(::CoInitialize(nullptr));
    // Before any window exists, so that every window gets the skin; without the library, the plain look.
    fw::IgnoreResult(AttachSkin());

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    fw::IgnoreResult(::InitCommonControlsEx(&controls));

    fw::CWinAppEx::InitInstance();
    // The dialogs host no ActiveX controls, so there is no control container to enable.
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    CMarlowickDlg dialog;
    m_pMainWnd = &dialog;
    fw::IgnoreResult(dialog.DoModal());
    m_pMainWnd = nullptr;
    return false;
}

int CMarlowickApp::ExitInstance() {
    return fw::CWinAppEx::ExitInstance();
}

}  // namespace app
