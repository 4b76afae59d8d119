#pragma once
// The main window: the task list with its commands, the banner, the status bar, the tray icon and the
// scheduler's timer. The program lives as long as this window's modal loop.
#include "app/TrayIcon.h"
#include "control/PendingStops.h"
#include "core/ListCtrlEx.h"
#include "core/Profile.h"
#include "core/Scheduler.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <string>

namespace app {

// The address of the online help page.
inline constexpr wchar_t kHelpAddress[] = L"https://www.korvane.com/category/marlowick-help";
// The question after a task was added or changed.
inline constexpr wchar_t kTestRunQuestion[] = L"Do you want to test run the task now?";
inline constexpr wchar_t kNoTaskbarList[] = L"Failed   to get ITaskbarList   interface. ";
// The main window's timers.
enum class WindowTimer : UINT_PTR {
    Scheduler = 0,
    // Reads a profile that could not be read, or writes a list that could not be written.
    ProfileRetry = 1,
};
inline constexpr UINT_PTR kSchedulerTimerId = static_cast<UINT_PTR>(WindowTimer::Scheduler);
inline constexpr UINT kSchedulerPeriodMs = 1000;
inline constexpr UINT_PTR kProfileRetryTimerId = static_cast<UINT_PTR>(WindowTimer::ProfileRetry);
inline constexpr UINT kProfileRetryPeriodMs = 30000;
// Shown at start-up when other users can change the profile.
std::wstring UntrustedProfileQuestion(const std::wstring& folder);

// The program text a task stores: a Start task whose text names no existing file or folder takes it as a
// window title and stores the image path of the process that owns that window. When no window has that
// title (or its program's path cannot be read), and for every other task, the text stays as it is.
std::wstring ResolveTaskProgram(const std::wstring& program, const std::wstring& action);

// Adds the window's taskbar button back (true) or removes it (false) through the shell's taskbar list;
// false when the taskbar list object is not available.
bool SetTaskbarButton(HWND window, bool present);

// The program's main window.
class CMarlowickDlg : public fw::CDialog {
public:
    CMarlowickDlg();
    ~CMarlowickDlg() override;

    // Opens the help page in the default browser; both arguments are ignored.
    void WinHelp(DWORD_PTR data, UINT command) override;

    const core::CListCtrlEx& TaskList() const { return m_taskList; }
    const core::ProfileState& Profile() const { return m_profile; }
    // Tasks loaded from a profile that others can change run only once the user has confirmed them.
    bool TasksHeld() const { return m_tasksHeld; }
    const CTrayIcon& TrayIcon() const { return m_trayIcon; }

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }

    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;
    // Enter and Esc (and File, Exit) leave the program as the close box does.
    void OnOK() override;
    void OnCancel() override;

private:
    void OnSysCommand(WPARAM command, LPARAM position);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnAddTask();
    void OnModifyTask();
    void OnRemoveTask();
    void OnOptions();
    void OnAbout();
    LRESULT OnDblclkTaskList(NMHDR* header);
    LRESULT OnQueryEndSession();
    void OnEndSession(WPARAM ending, LPARAM flags);
    // The WM_TIMER handler: a scheduler tick, or a retry of the profile.
    void OnTimer(WPARAM id, LPARAM);
    void SchedulerTick();

    LRESULT OnTrayNotify(WPARAM id, LPARAM mouseMessage);
    void OnTaskbarCreated();
    void OnTrayShow();
    void OnHide();
    void OnTrayExit();
    void OnClose();
    void ToggleShowHide();
    void ShowTrayMenu();

    // Keeps the task list in the profile file after each change, so that no edit waits for the exit.
    // Never writes over a profile that could not be read (see core::ProfileState).
    void SaveTaskList(bool report = true);
    void PromptTestRun(const std::wstring& program, const std::wstring& action);

    // The application icon, shared by the system: it is not destroyed.
    HICON m_hIcon;
    core::CListCtrlEx m_taskList;
    fw::CStatusBar m_statusBar;
    CTrayIcon m_trayIcon;
    // Stops waiting for their programs to end; abandoned, not waited for, when the window object goes.
    control::PendingStops m_pendingStops;
    core::Scheduler m_scheduler;
    core::ProfileState m_profile;
    bool m_tasksHeld = false;
};

}  // namespace app
