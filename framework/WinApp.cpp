#include "framework/WinApp.h"

#include "framework/MessageBox.h"
#include "framework/Wnd.h"

#include <exception>
#include <new>

#include <winuser.h>

namespace fw {
namespace {

CWinApp* g_app = nullptr;

void ReportFatalError(const std::wstring& text) {
    try {
        AfxMessageBox(text, MB_OK | MB_ICONSTOP);
    } catch (...) {
        // The box itself failed (no memory left): the exit code still tells.
    }
}

}  // namespace

CWinApp::CWinApp() {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

CWinApp* CWinApp::Current() {
    return g_app;
}

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        if (!CWnd::WalkPreTranslateTree(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        RethrowPendingException();
    }
    m_exitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

bool CWinApp::OnCmdMsg(UINT id) {
    if (id == kIdHelp) {
        OnHelp();
        return true;
    }
    return false;
}

void CWinApp::OnHelp() {
    if (m_pMainWnd) {
        m_pMainWnd->WinHelp(0, HELP_CONTEXT);
    }
}

int AfxWinMain() {
    CWinApp* app = CWinApp::Current();
    if (!app) {
        return -1;
    }
    // Whatever goes wrong ends the program with a message and its own exit code, never with an abort.
    try {
        if (!app->InitInstance()) {
            return app->ExitInstance();
        }
        return app->Run();
    } catch (const std::bad_alloc&) {
        ReportFatalError(L"Marlowick ran out of memory and has to end.");
    } catch (const std::exception& error) {
        std::wstring what;
        for (const char* c = error.what(); c && *c; ++c) {
            what.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
        }
        ReportFatalError(L"Marlowick met an unexpected error and has to end: " + what);
    } catch (...) {
        ReportFatalError(L"Marlowick met an unexpected error and has to end.");
    }
    return kFatalErrorExitCode;
}

std::wstring GetProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        // A path that filled the buffer may have been cut: try again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace fw
