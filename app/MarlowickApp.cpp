#include "app/MarlowickApp.h"

#include "app/MarlowickDlg.h"
#include "app/Skin.h"
#include "framework/MessageBox.h"

#include <commctrl.h>
#include <objbase.h>

namespace app {

CMarlowickApp::CMarlowickApp() : fw::CWinAppEx(true) {}

bool AnotherInstanceRuns(const wchar_t* name, fw::UniqueHandle& mutex) {
    ::SetLastError(ERROR_SUCCESS);
    mutex.Reset(::CreateMutexW(nullptr, FALSE, name));
    const DWORD error = ::GetLastError();
    // A first instance that runs elevated (or as another user in this logon) made a mutex this one may not
    // open: it runs all the same.
    if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) {
        mutex.Reset();
        return true;
    }
    return false;
}

bool CMarlowickApp::InitInstance() {
    fw::UniqueHandle mutex;
    if (AnotherInstanceRuns(kInstanceMutexName, mutex)) {
        fw::AfxMessageBox(kAlreadyRunning, MB_OK);
        return false;
    }
    // Without a mutex at all the program still starts, unprotected against a second copy.
    m_instanceMutex = std::move(mutex);

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
