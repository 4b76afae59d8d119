#include "framework/MessageBox.h"

#include <utility>

namespace fw {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

// A plain pointer: a thread-local object with a destructor corrupts the heap when MinGW's threads end.
thread_local MessageBoxRedirect* t_redirect = nullptr;

}  // namespace

MessageBoxRedirect::MessageBoxRedirect(Target target)
    : m_outer(std::exchange(t_redirect, this)), m_target(std::move(target)) {}

MessageBoxRedirect::~MessageBoxRedirect() {
    t_redirect = m_outer;
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (const MessageBoxHook& hook = Hook()) {
        return hook(MessageBoxRequest{owner, text, caption, type});
    }
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

int AfxMessageBox(const std::wstring& text, UINT type) {
    if (t_redirect && t_redirect->m_target) {
        return t_redirect->m_target(text, type);
    }
    if ((type & MB_ICONMASK) == 0) {
        const UINT buttons = type & MB_TYPEMASK;
        if (buttons == MB_OK) {
            type |= MB_ICONEXCLAMATION;
        } else if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
            type |= MB_ICONQUESTION;
        }
    }
    return ShowMessageBox(::GetActiveWindow(), text, kAppName, type | MB_APPLMODAL);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

}  // namespace fw
