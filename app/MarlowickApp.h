#pragma once
// The application object: refuses a second instance, prepares the platform and runs the main window.
#include "framework/Handle.h"
#include "framework/WinApp.h"

namespace app {

// The single-instance mutex; without a namespace prefix, so one instance runs in each logon.
inline constexpr wchar_t kInstanceMutexName[] = L"E08BDD87-F342-48de-AA47-3F8F6FA49F2F";
inline constexpr wchar_t kAlreadyRunning[] = L"This application already running,please check.";

// Creates the single-instance mutex with this name into mutex; true (and no handle) when another instance
// holds it, whether it could be opened or access to it was denied.
bool AnotherInstanceRuns(const wchar_t* name, fw::UniqueHandle& mutex);

// Marlowick's application. Its whole life is the main window's modal loop inside InitInstance.
class CMarlowickApp : public fw::CWinAppEx {
public:
    CMarlowickApp();

    // Always false: the framework then skips its message loop and the process ends.
    bool InitInstance() override;
    int ExitInstance() override;

private:
    // The first instance holds the mutex until the process ends.
    fw::UniqueHandle m_instanceMutex;
};

}  // namespace app
