#pragma once
// The one door through which every message box of the program passes.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

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

// While an object of this class lives, the OK-only boxes that AfxMessageBox would show on this thread are
// kept instead (AfxMessageBox answers IDOK at once) and shown by Show or at the object's end, in their
// order. So a box raised by one of several things done together waits until all of them are done,
// instead of holding back the rest until someone presses OK. A box that asks a question is shown at once.
class DeferredMessageBoxes {
public:
    DeferredMessageBoxes();
    DeferredMessageBoxes(const DeferredMessageBoxes&) = delete;
    DeferredMessageBoxes& operator=(const DeferredMessageBoxes&) = delete;
    ~DeferredMessageBoxes();

    // Stops keeping boxes and shows those kept.
    void Show();

private:
    friend int AfxMessageBox(const std::wstring& text, UINT type);
    DeferredMessageBoxes* m_outer;
    bool m_active = true;
    std::vector<std::pair<std::wstring, UINT>> m_boxes;
};

// Tests replace the real box: the hook receives each request and returns the answer.
// An empty hook restores the real message box. Returns the previous hook.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace fw
