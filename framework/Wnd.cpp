#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <commctrl.h>

#include <memory>
#include <new>
#include <utility>

namespace fw {
namespace {

constexpr wchar_t kObjectProperty[] = L"Marlowick.CWnd";

// A plain pointer, not an exception_ptr: a thread-local object with a destructor is destroyed at thread
// exit by the MinGW runtime after its storage may already have been freed, which corrupts the heap of
// every program whose threads come and go (the scheduler's starts, the pool's waits). The exception is
// on the heap only while it is pending.
thread_local std::exception_ptr* t_pendingException = nullptr;

bool Matches(const MsgEntry& entry, MsgKind kind, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (kind) {
        case MsgKind::Message:
            return (entry.kind == MsgKind::Message && entry.message == message) ||
                   (entry.kind == MsgKind::RegisteredMessage && *entry.registered == message);
        case MsgKind::Command: {
            const UINT id = LOWORD(wParam);
            const UINT code = HIWORD(wParam);
            if (entry.id != id) {
                return false;
            }
            // A menu item (0), an accelerator (1) and a button click (BN_CLICKED, 0) share one entry.
            if (entry.kind == MsgKind::Command) {
                return code == 0 || (code == 1 && lParam == 0);
            }
            return entry.kind == MsgKind::ControlCommand && entry.code == code && lParam != 0;
        }
        case MsgKind::Notify: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            return entry.kind == MsgKind::Notify && entry.id == header->idFrom && entry.code == header->code;
        }
        case MsgKind::ReflectedNotify: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            return entry.kind == MsgKind::ReflectedNotify && entry.code == header->code;
        }
        default:
            return false;
    }
}

}  // namespace

void KeepPendingException(std::exception_ptr exception) {
    if (!t_pendingException && exception) {
        t_pendingException = new (std::nothrow) std::exception_ptr(std::move(exception));
    }
}

void RethrowPendingException() {
    if (t_pendingException) {
        const std::unique_ptr<std::exception_ptr> pending(std::exchange(t_pendingException, nullptr));
        std::rethrow_exception(*pending);
    }
}

bool HasPendingException() {
    return t_pendingException != nullptr;
}

CWnd::~CWnd() {
    // A window that outlives its object gets its own procedure back.
    if (m_oldProc && m_hWnd && ::IsWindow(m_hWnd)) {
        UnsubclassWindow();
    } else if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        ClearPermanent(m_hWnd);
    }
}

const MessageMap* CWnd::StaticMessageMap() {
    static const MessageMap map{nullptr, {}};
    return &map;
}

void CWnd::SetPermanent(HWND hwnd) {
    ::SetPropW(hwnd, kObjectProperty, this);
}

void CWnd::ClearPermanent(HWND hwnd) {
    ::RemovePropW(hwnd, kObjectProperty);
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

bool CWnd::SubclassWindow(HWND hwnd) {
    if (m_hWnd || !hwnd || !::IsWindow(hwnd) || FromHandlePermanent(hwnd)) {
        return false;
    }
    m_hWnd = hwnd;
    PreSubclassWindow();
    SetPermanent(hwnd);
    m_oldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
    return true;
}

HWND CWnd::UnsubclassWindow() {
    HWND hwnd = m_hWnd;
    if (hwnd && m_oldProc) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        ClearPermanent(hwnd);
    }
    m_oldProc = nullptr;
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return wnd->WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const CurrentMessage saved = std::exchange(m_current, CurrentMessage{message, wParam, lParam});
    LRESULT result = 0;
    bool handled = false;
    try {
        handled = OnWndMsg(message, wParam, lParam, result);
    } catch (...) {
        KeepPendingException(std::current_exception());
        handled = false;
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the loop that throws it again
    }
    if (!handled) {
        result = DefWindowProc(message, wParam, lParam);
    }
    m_current = saved;
    if (message == WM_NCDESTROY) {
        HWND hwnd = m_hWnd;
        if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &CWnd::StaticWindowProc) {
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        }
        ClearPermanent(hwnd);
        m_oldProc = nullptr;
        m_hWnd = nullptr;
        PostNcDestroy();
    }
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_oldProc) {
        return ::CallWindowProcW(m_oldProc, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

bool CWnd::Dispatch(MsgKind kind, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MsgEntry& entry : map->entries) {
            if (Matches(entry, kind, message, wParam, lParam)) {
                result = entry.thunk(*this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_NOTIFY && lParam) {
        // The control that sent the notification answers it first, when it has a handler for it.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        CWnd* child = FromHandlePermanent(header->hwndFrom);
        if (child && child != this && child->OnChildNotify(message, wParam, lParam, result)) {
            return true;
        }
        if (Dispatch(MsgKind::Notify, message, wParam, lParam, result)) {
            return true;
        }
    } else if (message == WM_COMMAND) {
        if (Dispatch(MsgKind::Command, message, wParam, lParam, result)) {
            return true;
        }
        // Commands that no window handles go to the application (the help command among them).
        if (lParam == 0 && ::GetAncestor(m_hWnd, GA_ROOT) == m_hWnd) {
            if (CWinApp* app = CWinApp::Current(); app && app->OnCmdMsg(LOWORD(wParam))) {
                result = 0;
                return true;
            }
        }
    }
    return Dispatch(MsgKind::Message, message, wParam, lParam, result);
}

bool CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_NOTIFY) {
        return false;
    }
    try {
        return Dispatch(MsgKind::ReflectedNotify, message, wParam, lParam, result);
    } catch (...) {
        KeepPendingException(std::current_exception());
        return false;
    }
}

bool CWnd::PreTranslateMessage(MSG&) {
    return false;
}

bool CWnd::WalkPreTranslateTree(MSG& msg) {
    for (HWND hwnd = msg.hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
        if (CWnd* wnd = FromHandlePermanent(hwnd); wnd && wnd->PreTranslateMessage(msg)) {
            return true;
        }
        if (::GetAncestor(hwnd, GA_ROOT) == hwnd) {
            break;
        }
    }
    return false;
}

void CWnd::WinHelp(DWORD_PTR, UINT) {}

bool CWnd::ModifyStyle(DWORD remove, DWORD add) const {
    const DWORD style = GetStyle();
    const DWORD changed = (style & ~remove) | add;
    if (changed == style) {
        return false;
    }
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    return true;
}

RECT CWnd::GetClientRect() const {
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

RECT CWnd::GetWindowRect() const {
    RECT rect{};
    ::GetWindowRect(m_hWnd, &rect);
    return rect;
}

std::wstring CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

}  // namespace fw
