// Closes a running Marlowick from inside its Wine desktop, the way a user's close box would: waits until its
// main window is visible and answers messages, then posts WM_CLOSE to it. Exits with 0 when a window was
// closed, 1 when none came within the time (the first argument, in milliseconds; 60000 by default).
#include "res/resource.h"

#include <windows.h>

#include <cwchar>

namespace {

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM lParam) {
    wchar_t name[16]{};
    ::GetClassNameW(hwnd, name, 16);
    if (::lstrcmpW(name, L"#32770") == 0 && ::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, IDC_TASK_LIST)) {
        reinterpret_cast<Search*>(lParam)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const DWORD limit = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 60000;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < limit) {
        Search search;
        ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&search));
        DWORD_PTR ignored = 0;
        // A window that answers a sent message has finished its initialisation.
        if (search.found && ::SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored) != 0) {
            return ::PostMessageW(search.found, WM_CLOSE, 0, 0) ? 0 : 1;
        }
        ::Sleep(100);
    }
    return 1;
}
