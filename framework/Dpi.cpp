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
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

}  // namespace fw
