#pragma once
// The small windows that warn before a stop closes a program: "Closing soon", a countdown, and Close now, Postpone
// and Skip this time. They never take the focus from what the user is typing: they are shown without activation,
// and their buttons are pressed without activating them.
#include "core/TaskService.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace app {

inline constexpr wchar_t kWarningClass[] = L"MarlowickWarning";
inline constexpr wchar_t kWarningCaption[] = L"Closing soon";
inline constexpr wchar_t kCloseNowText[] = L"Close now";
inline constexpr wchar_t kPostponeText[] = L"Postpone";
inline constexpr wchar_t kSkipText[] = L"Skip this time";
// The controls of a warning window.
enum WarningControl : int { kWarningTextId = 100, kCloseNowId = 101, kPostponeId = 102, kSkipId = 103 };

// "Marlowick will close game.exe in 60 s."
std::wstring WarningText(const std::wstring& name, int seconds);

// The warnings that are up, stacked upwards from the bottom right corner of the work area, newest on top. Create and
// destroy it on the thread that shows the warnings; its windows go with it.
class StopWarningWindows {
public:
    // Hears the user's answer to a warning; the window has gone by then.
    using Answer = std::function<void(const core::StopWarning& warning, core::WarningAnswer answer)>;

    explicit StopWarningWindows(Answer answer);
    StopWarningWindows(const StopWarningWindows&) = delete;
    StopWarningWindows& operator=(const StopWarningWindows&) = delete;
    ~StopWarningWindows();

    // Shows the warning, in place of one already up for the same run.
    void Show(std::shared_ptr<const core::StopWarning> warning);
    // The warning of the task's run due at that second goes, if it is up.
    void End(core::TaskId id, long long due);
    size_t Count() const { return m_windows.size(); }

    // One warning's window and what it shows.
    struct Window;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Each countdown step: the seconds shown, or the window gone with its program.
    static void Count(HWND hwnd, Window& state);
    static void Answered(HWND hwnd, const Window& state, int id);
    // A window has been destroyed: the others close up.
    void Forget(HWND hwnd);
    void Restack() const;
    HWND Find(core::TaskId id, long long due) const;

    Answer m_answer;
    // Oldest first, each with its window.
    std::vector<std::unique_ptr<Window>> m_windows;
};

}  // namespace app
