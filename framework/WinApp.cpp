#include "framework/WinApp.h"

#include "framework/Wnd.h"

#include <winuser.h>

namespace fw {
namespace {

CWinApp* g_app = nullptr;

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
    if (!app->InitInstance()) {
        return app->ExitInstance();
    }
    return app->Run();
}

}  // namespace fw
