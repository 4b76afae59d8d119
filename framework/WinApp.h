#pragma once
// The application object: one per program, started from the program's entry point.
#include <windows.h>

namespace fw {

class CWnd;

// The framework's standard help command.
inline constexpr UINT kIdHelp = 57670;

// The program's one application object. InitInstance prepares and runs the program; returning false skips
// the message loop. ExitInstance gives the process exit code.
class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    static CWinApp* Current();

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return m_exitCode; }
    // The message loop, for a program whose InitInstance returns true.
    virtual int Run();

    // Commands that no window handled. The help command goes to OnHelp.
    virtual bool OnCmdMsg(UINT id);
    // Asks the main window for help.
    virtual void OnHelp();

    CWnd* m_pMainWnd = nullptr;

protected:
    int m_exitCode = 0;
};

// The run entry: InitInstance, then the message loop when it returned true, then ExitInstance.
int AfxWinMain();

}  // namespace fw
