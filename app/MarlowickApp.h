#pragma once
// The application object: refuses a second instance, prepares the platform and runs the main window.
#include "app/SingleInstance.h"
#include "cli/ProfileLock.h"
#include "framework/WinApp.h"

namespace app {

// Marlowick's application. Its whole life is the main window's modal loop inside InitInstance.
class CMarlowickApp : public fw::CWinAppEx {
public:
    CMarlowickApp();

    // Always false: the framework then skips its message loop and the process ends.
    bool InitInstance() override;
    int ExitInstance() override;

private:
    // The first instance holds its marks until the process ends.
    InstanceMarks m_instanceMarks;
    // Held from before the profile is read until the process ends: marlowick.com writes the profile itself only
    // while no Marlowick holds it.
    cli::ProfileWriterLock m_profileLock;
};

}  // namespace app
