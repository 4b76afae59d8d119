#include "framework/MessageBox.h"

#include <utility>

namespace fw {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

thread_local DeferredMessageBoxes* t_deferred = nullptr;

}  // namespace

DeferredMessageBoxes::DeferredMessageBoxes() : m_outer(std::exchange(t_deferred, this)) {}

DeferredMessageBoxes::~DeferredMessageBoxes() {
    Show();
}

void DeferredMessageBoxes::Show() {
    if (!m_active) {
        return;
    }
    m_active = false;
    // Boxes kept by nested objects went to this one's list through the active pointer; restore the outer.
    t_deferred = m_outer;
    for (const auto& [text, type] : std::exchange(m_boxes, {})) {
        AfxMessageBox(text, type);
    }
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (const MessageBoxHook& hook = Hook()) {
        return hook(MessageBoxRequest{owner, text, caption, type});
    }
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

int AfxMessageBox(const std::wstring& text, UINT type) {
    if (t_deferred && (type & MB_TYPEMASK) == MB_OK) {
        t_deferred->m_boxes.emplace_back(text, type);
        return IDOK;
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
