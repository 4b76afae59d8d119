#pragma once
// The main window's icon in the notification area, and the messages that come with it.
#include <windows.h>
#include <shellapi.h>

#include "core/TaskStore.h"
#include "framework/Handle.h"

#include <functional>
#include <string>

namespace app {

// The tray callback message, registered under the program's own name during static initialisation.
extern const UINT g_trayMessage;
// The shell's "TaskbarCreated" message: the taskbar has (re)started and its icons must be added again.
extern const UINT g_taskbarCreatedMessage;

// Tip and balloon text, and the balloon's title.
inline constexpr wchar_t kTrayTip[] = L"Click Here to Show Marlowick";
inline constexpr wchar_t kBalloonTitle[] = L"Tip";
// The balloon that names the kept original of a damaged Profile.txt: the text is followed by the copy's path.
inline constexpr wchar_t kKeptAsideText[] = L"Profile.txt was damaged. Its original is kept as ";
inline constexpr wchar_t kKeptAsideTitle[] = L"Marlowick";
// The balloon that tells of a run that failed: the text names the task and what happened.
inline constexpr wchar_t kRunFailedTitle[] = L"Marlowick: a task failed";
// The one icon identifier the program uses.
inline constexpr UINT kTrayIconId = 1;

// The tray tip: the program's own line, then the task that falls due next and when (its time text, with
// its day's name in front when that is not today); the program is named by its file name. At most 127
// characters: a longer program name is cut with an ellipsis.
std::wstring NextTaskTip(const std::wstring& program, const std::wstring& when);
// The tip for the tasks as they are now: the next one due, or the program's own line alone when none is due or
// the tasks are held.
std::wstring TasksTip(const core::TaskStore& tasks, bool held);

// Adds the window's taskbar button back (true) or removes it (false) through the shell's taskbar list, as the
// window comes back from the tray or goes there; false when the taskbar list object is not available.
bool SetTaskbarButton(HWND window, bool present);

// Hears every balloon shown, before the shell does; for tests, which cannot see the shell's balloons. Returns the
// previous listener.
using BalloonListener = std::function<void(const std::wstring& text, const std::wstring& title)>;
BalloonListener SetBalloonListener(BalloonListener listener);

// The record of the one notification-area icon: the window it reports to, its identifier, its picture and
// its tip. Every call to the shell is made and its result ignored; the icon goes when the record goes.
class CTrayIcon {
public:
    CTrayIcon() = default;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;
    ~CTrayIcon();

    // Adds the icon for the window, with the tray callback message; no picture and no tip yet.
    void Add(HWND window);
    // Gives the icon its picture and the tip text. The icon handle stays the caller's.
    void SetIcon(HICON icon);
    // Gives the icon the picture of the module's icon resource, at the size the notification area shows for the
    // DPI the window is drawn at (the small icon's), and the tip text; the picture is owned here. Again after the DPI
    // changed.
    void SetIconResource(HINSTANCE instance, UINT id, UINT dpi);
    // Changes the tip (at most 127 characters are shown); the picture stays.
    void SetTip(const std::wstring& tip);
    // Shows a balloon with this text and title at the icon (at most 255 and 63 characters are shown).
    void ShowBalloon(const std::wstring& text, const std::wstring& title) const;
    // Adds the icon again, picture and tip included: after the shell's taskbar has restarted.
    void Restore();
    // The tray callback message: a double-click hides the window or shows it again (as the commands Hide and
    // Show do), a right-click opens the tray menu, whose commands go to the window.
    void OnNotify(WPARAM id, LPARAM mouseMessage) const;

    HWND Window() const { return m_hWnd; }
    UINT Id() const { return m_uID; }
    HICON Icon() const { return m_hIcon; }
    const std::wstring& Tip() const { return m_tip; }

private:
    // The icon data in the first, short layout, for every call but the balloon.
    NOTIFYICONDATAW ShortData(UINT flags) const;
    void SendAdd() const;
    void SendIconAndTip() const;

    HWND m_hWnd = nullptr;
    UINT m_uID = kTrayIconId;
    HICON m_hIcon = nullptr;
    // The picture loaded by SetIconResource, while it is the one shown.
    fw::UniqueIcon m_loadedIcon;
    std::wstring m_tip;
};

}  // namespace app
