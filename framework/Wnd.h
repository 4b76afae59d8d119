#pragma once
// The base of every window class: a window handle and the calls the program makes on any window.
#include <windows.h>

#include <string>

namespace fw {

// A window the program talks to through its handle. The object does not destroy the window.
class CWnd {
  public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Binds the object to an existing window; the window stays the creator's.
    virtual void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND Detach() {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        return hwnd;
    }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

  protected:
    HWND m_hWnd = nullptr;
};

}  // namespace fw
