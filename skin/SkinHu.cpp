// The skin: a hook on the attaching thread watches windows being created and gives every dialog
// (property sheets and their pages included) a soft blue background behind itself and its static texts,
// group boxes, check boxes and read-only fields. Push buttons and edit fields keep the system's look.
#include "skin/SkinHu.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kSubclassId = 0x536B696E;  // "Skin"
HHOOK g_hook = nullptr;
HBRUSH g_background = nullptr;

LRESULT CALLBACK SkinDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_CTLCOLORDLG:
            return reinterpret_cast<LRESULT>(g_background);
        case WM_CTLCOLORSTATIC:
            ::SetBkColor(reinterpret_cast<HDC>(wParam), SKINHU_BACKGROUND);
            return reinterpret_cast<LRESULT>(g_background);
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, SkinDialogProc, kSubclassId);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

bool IsDialog(HWND hwnd) {
    wchar_t name[16]{};
    return ::GetClassNameW(hwnd, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (IsDialog(hwnd)) {
            ::SetWindowSubclass(hwnd, SkinDialogProc, kSubclassId, 0);
        }
    }
    return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" int WINAPI SkinH_Attach() {
    if (g_hook) {
        return 0;
    }
    if (!g_background) {
        g_background = ::CreateSolidBrush(SKINHU_BACKGROUND);
    }
    g_hook = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    return g_hook ? 0 : static_cast<int>(::GetLastError());
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process end the system reclaims everything; on an explicit unload the hook and brush go.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        if (g_hook) {
            ::UnhookWindowsHookEx(g_hook);
            g_hook = nullptr;
        }
        if (g_background) {
            ::DeleteObject(g_background);
            g_background = nullptr;
        }
    }
    return TRUE;
}
