#pragma once
// Lengths are designed at 96 DPI; a window draws them at the DPI of the monitor it is on.
#include <windows.h>

namespace fw {

inline constexpr UINT kDesignDpi = 96;

// The DPI the window is drawn at: its monitor's for a per-monitor aware process, else the system's. Without a
// window, the system's.
UINT DpiOf(HWND window);

// A length drawn at one DPI, at another. An unknown DPI (0) counts as 96.
inline int Rescale(int pixels, UINT to, UINT from) {
    return ::MulDiv(pixels, static_cast<int>(to), static_cast<int>(from == 0 ? kDesignDpi : from));
}
inline SIZE Rescale(SIZE size, UINT to, UINT from) {
    return {Rescale(size.cx, to, from), Rescale(size.cy, to, from)};
}

// A length designed at 96 DPI, at dpi.
inline int ScaleToDpi(int designPixels, UINT dpi) {
    return Rescale(designPixels, dpi, kDesignDpi);
}

// A length drawn at dpi, back at 96 DPI: what is stored, so that it restores the same at any DPI.
inline int ScaleToDesign(int pixels, UINT dpi) {
    return Rescale(pixels, kDesignDpi, dpi);
}

// A system metric (SM_CXSMICON and the like) at dpi: the metric the system reports is at the system DPI.
int SystemMetricForDpi(int index, UINT dpi);

// The icon resource at the size of a system metric (SM_CXICON, SM_CXSMICON: width, and the matching height) at
// dpi; null when it cannot be loaded.
HICON LoadIconForDpi(HINSTANCE instance, UINT id, int widthMetric, int heightMetric, UINT dpi);

// The window's outer size for a client size: its frame, caption and menu bar at dpi.
SIZE WindowSizeForClient(HWND window, SIZE client, UINT dpi);

}  // namespace fw
