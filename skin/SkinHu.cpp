// The skin: a hook on the attaching thread watches windows being created and gives every dialog
// (property sheets and their pages included) a soft blue background behind itself and its static texts,
// group boxes, check boxes and read-only fields. Push buttons and edit fields keep the system's look.
#include "skin/SkinHu.h"

#include "framework/Handle.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kSubclassId = 0x536B696E;  // "Skin"

// Both live as long as the library: a dialog created while the hook runs may use the brush until it goes.
fw::UniqueHook g_hook;
fw::UniqueBrush g_background;

bool HasClass(HWND hwnd, const wchar_t* className) {
    wchar_t name[16]{};
    return ::GetClassNameW(hwnd, name, 16) > 0 && lstrcmpiW(name, className) == 0;
}

// The answer to a control's colour question. Texts and check boxes draw with a transparent background so
// that nothing but the skin's colour shows behind their letters, whatever the control paints first. A
// read-only edit keeps an opaque background of the same colour: it redraws its text in place without
// erasing, and transparent letters would pile up on the old ones.
LRESULT ControlColour(HDC dc, HWND control) {
    ::SetBkColor(dc, SKINHU_BACKGROUND);
    if (!HasClass(control, L"Edit")) {
        ::SetBkMode(dc, TRANSPARENT);
    }
    return reinterpret_cast<LRESULT>(g_background.Get());
}

LRESULT CALLBACK SkinDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_CTLCOLORDLG:
            return reinterpret_cast<LRESULT>(g_background.Get());
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_ERASEBKGND: {
            // A themed property page would paint the tab's own face here, and the themed check boxes and
            // group boxes copy their parent's background through this message: both must see the skin.
            RECT client{};
            ::GetClientRect(hwnd, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, g_background.Get());
            return TRUE;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, SkinDialogProc, kSubclassId);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (HasClass(hwnd, L"#32770")) {
            ::SetWindowSubclass(hwnd, SkinDialogProc, kSubclassId, 0);
        }
    }
    return ::CallNextHookEx(g_hook.Get(), code, wParam, lParam);
}

}  // namespace

extern "C" int WINAPI SkinH_Attach() {
    if (g_hook) {
        return 0;
    }
    if (!g_background) {
        g_background.Reset(::CreateSolidBrush(SKINHU_BACKGROUND));
    }
    g_hook.Reset(::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId()));
    return g_hook ? 0 : static_cast<int>(::GetLastError());
}
