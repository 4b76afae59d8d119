#pragma once
// The application object: one per program, started from the program's entry point.
#include <windows.h>

#include <string>

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

    // Names the registry key under HKEY_CURRENT_USER\Software where the framework would keep its own
    // state. The framework keeps no state there, so the name is not kept either.
    void SetRegistryKey(const std::wstring&) {}

    CWnd* m_pMainWnd = nullptr;

protected:
    int m_exitCode = 0;
};

// The extended application base. Resource smart update would let saved toolbar and menu layouts follow
// changed resources; the framework saves no layouts, so the flag changes nothing.
class CWinAppEx : public CWinApp {
public:
    explicit CWinAppEx(bool /*resourceSmartUpdate*/) {}
};

// The full path of the running program's executable, however long; empty when the platform cannot tell.
std::wstring GetProgramPath();

// The exit code of a program that an exception ended.
inline constexpr int kFatalErrorExitCode = 3;

// The run entry: InitInstance, then the message loop when it returned true, then ExitInstance. An exception
// that reaches it is shown in a message box and gives kFatalErrorExitCode.
int AfxWinMain();

}  // namespace fw
