#pragma once
// The base of every window class: a window handle, subclassing, and message maps as static tables.
#include <windows.h>

#include <exception>
#include <span>
#include <string>
#include <type_traits>

namespace fw {

class CWnd;

// One entry of a message map: what it matches and the typed handler behind it.
using MsgThunk = LRESULT (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam);

enum class MsgKind {
    Message,            // a window message
    RegisteredMessage,  // a window message whose number is known only at run time
    Command,            // WM_COMMAND from a menu item, an accelerator or a button click (one id, one handler)
    ControlCommand,     // WM_COMMAND from a control with a given notification code (EN_CHANGE, ...)
    Notify,             // WM_NOTIFY from a control id with a notification code
    ReflectedNotify,    // WM_NOTIFY that the parent hands back to the control that sent it
};

struct MsgEntry {
    MsgKind kind;
    UINT message;
    const UINT* registered;
    UINT id;
    UINT code;
    MsgThunk thunk;
};

// A class's table, and the table of the class it derives from (searched after it).
struct MessageMap {
    const MessageMap* base;
    std::span<const MsgEntry> entries;
};

// A window the program talks to through its handle. Attach binds without taking the window's messages;
// SubclassWindow routes the window's messages through this object's message map.
class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Binds the object to an existing window; the window stays the creator's.
    virtual void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND Detach() {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        return hwnd;
    }

    // Takes over the window's procedure: its messages go through this object until the window is destroyed.
    bool SubclassWindow(HWND hwnd);
    // Gives the window its own procedure back.
    HWND UnsubclassWindow();
    // The object that receives the window's messages, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Called from the message loop before a message is dispatched; true when the message is consumed.
    virtual bool PreTranslateMessage(MSG& msg);
    // Offers a message to every object from the message's window up to its top-level window.
    static bool WalkPreTranslateTree(MSG& msg);

    // Help requests that the application routes to its main window.
    virtual void WinHelp(DWORD_PTR data, UINT command);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam) != FALSE;
    }
    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    bool ModifyStyle(DWORD remove, DWORD add) const;
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    bool ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command) != FALSE; }
    bool EnableWindow(bool enable) const { return ::EnableWindow(m_hWnd, enable) != FALSE; }
    bool MoveWindow(int x, int y, int width, int height, bool repaint = true) const {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint) != FALSE;
    }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    bool DestroyWindow() const { return ::DestroyWindow(m_hWnd) != FALSE; }

protected:
    // The message map of this class; derived classes override it with their own table.
    static const MessageMap* StaticMessageMap();
    virtual const MessageMap* GetMessageMap() const { return StaticMessageMap(); }

    // The subclassing hook: runs when the object takes over a window, before its first message.
    virtual void PreSubclassWindow() {}
    // Runs after the last message of the window (WM_NCDESTROY); the handle is already gone.
    virtual void PostNcDestroy() {}

    // Looks the message up in the maps, derived class first. True when a handler took it.
    virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A notification that the parent hands back to this control; true when this control handled it.
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The processing the window would have had without this object.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the message being handled.
    LRESULT Default();

    HWND m_hWnd = nullptr;

    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };
    CurrentMessage m_current;

    // Keeps the object reachable from its window (for reflection and the message loop).
    void SetPermanent(HWND hwnd);
    void ClearPermanent(HWND hwnd);

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool Dispatch(MsgKind kind, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    WNDPROC m_oldProc = nullptr;
};

// No C++ exception may unwind through user32 or comctl32: window and dialog procedures keep the first
// exception that a handler throws here, and the modal loop that runs them throws it again on its own side.
void KeepPendingException(std::exception_ptr exception);
// Throws the kept exception, if any, and forgets it.
void RethrowPendingException();
bool HasPendingException();

namespace detail {

template <typename>
struct Member;
template <typename C, typename R, typename... A>
struct Member<R (C::*)(A...)> {
    using Class = C;
    using Result = R;
    static constexpr size_t kArity = sizeof...(A);
};

template <typename R>
LRESULT ToResult(R value) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<LRESULT>(value);
    } else {
        return static_cast<LRESULT>(value);
    }
}

// void f(), R f(), void f(WPARAM, LPARAM), R f(WPARAM, LPARAM).
template <auto Fn>
LRESULT MessageThunk(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    using M = Member<decltype(Fn)>;
    auto& self = static_cast<typename M::Class&>(wnd);
    if constexpr (M::kArity == 0) {
        if constexpr (std::is_void_v<typename M::Result>) {
            (self.*Fn)();
            return 0;
        } else {
            return ToResult((self.*Fn)());
        }
    } else if constexpr (std::is_void_v<typename M::Result>) {
        (self.*Fn)(wParam, lParam);
        return 0;
    } else {
        return ToResult((self.*Fn)(wParam, lParam));
    }
}

template <typename>
struct NotifyArg;
template <typename C, typename R, typename T>
struct NotifyArg<R (C::*)(T*)> {
    using Type = T;
};

// R f(NMHDR*) or R f(NMLISTVIEW*) and the like: the notification structure, typed.
template <auto Fn>
LRESULT NotifyThunk(CWnd& wnd, WPARAM, LPARAM lParam) {
    using M = Member<decltype(Fn)>;
    using T = typename NotifyArg<decltype(Fn)>::Type;
    auto& self = static_cast<typename M::Class&>(wnd);
    if constexpr (std::is_void_v<typename M::Result>) {
        (self.*Fn)(reinterpret_cast<T*>(lParam));
        return 0;
    } else {
        return ToResult((self.*Fn)(reinterpret_cast<T*>(lParam)));
    }
}

}  // namespace detail

// Entries for message map tables. Each handler is a member function of the class that owns the table.
template <auto Fn>
constexpr MsgEntry OnMessage(UINT message) {
    return {MsgKind::Message, message, nullptr, 0, 0, &detail::MessageThunk<Fn>};
}
template <auto Fn>
constexpr MsgEntry OnRegisteredMessage(const UINT& message) {
    return {MsgKind::RegisteredMessage, 0, &message, 0, 0, &detail::MessageThunk<Fn>};
}
template <auto Fn>
constexpr MsgEntry OnCommand(UINT id) {
    return {MsgKind::Command, 0, nullptr, id, 0, &detail::MessageThunk<Fn>};
}
template <auto Fn>
constexpr MsgEntry OnControl(UINT id, UINT code) {
    return {MsgKind::ControlCommand, 0, nullptr, id, code, &detail::MessageThunk<Fn>};
}
template <auto Fn>
constexpr MsgEntry OnNotify(UINT id, UINT code) {
    return {MsgKind::Notify, 0, nullptr, id, code, &detail::NotifyThunk<Fn>};
}
template <auto Fn>
constexpr MsgEntry OnNotifyReflect(UINT code) {
    return {MsgKind::ReflectedNotify, 0, nullptr, 0, code, &detail::NotifyThunk<Fn>};
}

}  // namespace fw
