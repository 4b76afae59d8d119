#pragma once
// Guards for paired drawing calls: each undoes its call when it goes.
#include <windows.h>

#include <utility>

namespace fw {

// A device context of a window, released by the guard: from GetWindowDC (the whole window, frame included) or
// from GetDC (the client area, or the screen for a null window).
template <HDC(WINAPI* Acquire)(HWND)>
class BasicWindowDC {
public:
    explicit BasicWindowDC(HWND hwnd) : m_hwnd(hwnd), m_dc(Acquire(hwnd)) {}
    BasicWindowDC(const BasicWindowDC&) = delete;
    BasicWindowDC& operator=(const BasicWindowDC&) = delete;
    ~BasicWindowDC() {
        if (m_dc) {
            ::ReleaseDC(m_hwnd, m_dc);
        }
    }
    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

using WindowDC = BasicWindowDC<::GetWindowDC>;
using ClientDC = BasicWindowDC<::GetDC>;

// BeginPaint and EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND hwnd) : m_hwnd(hwnd) { m_dc = ::BeginPaint(hwnd, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { ::EndPaint(m_hwnd, &m_paint); }
    HDC Get() const { return m_dc; }
    const PAINTSTRUCT& Paint() const { return m_paint; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_paint{};
    HDC m_dc = nullptr;
};

// Selects an object into a device context and selects the previous one back when it goes.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;
    ~SelectObjectGuard() {
        if (m_old && m_old != HGDI_ERROR) {
            ::SelectObject(m_dc, m_old);
        }
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

}  // namespace fw
