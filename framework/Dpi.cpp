#include "framework/Dpi.h"

#include "framework/Gdi.h"

namespace fw {
namespace {

// Windows 10 1607 and later, and Wine; older systems have only the system DPI.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

GetDpiForWindowFunction DpiForWindowFunction() {
    static const auto function = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return function;
}

// Windows 10 1607 and later, and Wine, give the frame at any DPI; older systems only at the system's, which is scaled.
using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

AdjustForDpiFunction AdjustForDpi() {
    static const auto function = reinterpret_cast<AdjustForDpiFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    return function;
}

UINT SystemDpi() {
    const ClientDC screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT DpiOf(HWND window) {
    if (window) {
        if (const GetDpiForWindowFunction function = DpiForWindowFunction()) {
            if (const UINT dpi = function(window); dpi != 0) {
                return dpi;
            }
        }
    }
    return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    return Rescale(::GetSystemMetrics(index), dpi, SystemDpi());
}

HICON LoadIconForDpi(HINSTANCE instance, UINT id, int widthMetric, int heightMetric, UINT dpi) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           SystemMetricForDpi(widthMetric, dpi), SystemMetricForDpi(heightMetric, dpi),
                                           LR_DEFAULTCOLOR));
}

SIZE WindowSizeForClient(HWND window, SIZE client, UINT dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    const BOOL menu = ::GetMenu(window) != nullptr;
    if (const AdjustForDpiFunction adjust = AdjustForDpi()) {
        if (adjust(&rect, style, menu, exStyle, dpi)) {
            return {rect.right - rect.left, rect.bottom - rect.top};
        }
    }
    static_cast<void>(::AdjustWindowRectEx(&rect, style, menu, exStyle));
    const SIZE frame =
        Rescale(SIZE{rect.right - rect.left - client.cx, rect.bottom - rect.top - client.cy}, dpi, SystemDpi());
    return {client.cx + frame.cx, client.cy + frame.cy};
}

}  // namespace fw
