#pragma once
// The one door through which every message box of the program passes.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>

namespace fw {

// The application's name, the caption of its message boxes.
inline constexpr wchar_t kAppName[] = L"Marlowick";

struct MessageBoxRequest {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Shows a platform message box (or hands it to the installed hook) and returns the button pressed.
// The text is shown as it is: it is never used as a format string.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// The class library's message box: caption "Marlowick", owned by the active window, application-modal.
// An OK-only box without an icon of its own gets the exclamation icon, a Yes/No box the question icon.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);

// While an object of this class lives, the boxes that AfxMessageBox would show on its thread go to the target
// instead, which gives the answer. Work done on behalf of a window, on a thread that must never wait for someone to
// press a button, hands its messages on this way; the window shows them. Objects nest: the inner one takes the boxes
// while it lives.
class MessageBoxRedirect {
public:
    using Target = std::function<int(const std::wstring& text, UINT type)>;

    explicit MessageBoxRedirect(Target target);
    MessageBoxRedirect(const MessageBoxRedirect&) = delete;
    MessageBoxRedirect& operator=(const MessageBoxRedirect&) = delete;
    ~MessageBoxRedirect();

private:
    friend int AfxMessageBox(const std::wstring& text, UINT type);
    MessageBoxRedirect* m_outer;
    Target m_target;
};

// Tests replace the real box: the hook receives each request and returns the answer.
// An empty hook restores the real message box. Returns the previous hook.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace fw
