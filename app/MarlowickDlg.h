#pragma once
// The main window: a view of the task service's tasks, with the commands that change them, the banner, the
// status bar and the tray icon. The program lives as long as this window's modal loop.
#include "app/ListCtrlEx.h"
#include "app/StopWarningWindows.h"
#include "app/TrayIcon.h"
#include "cli/CommandPipe.h"
#include "cli/Commands.h"
#include "core/TaskService.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/UiTaskQueue.h"

#include <memory>
#include <string>
#include <vector>

namespace app {

// The address of the online help page.
inline constexpr wchar_t kHelpAddress[] = L"https://www.korvane.com/category/marlowick-help";
// The question after a task was added or changed.
inline constexpr wchar_t kTestRunQuestion[] = L"Do you want to test run the task now?";
inline constexpr wchar_t kNoTaskbarList[] = L"Failed   to get ITaskbarList   interface. ";
// The main window's timers.
enum class WindowTimer : UINT_PTR {
    // Runs the service's events that wait because no message could reach this window for them, and shows the next
    // runs anew as time moves on.
    Events = 1,
};
inline constexpr UINT kEventsTimerPeriodMs = 30000;
// Posted when the service's events wait in the window's queue.
inline constexpr UINT kServiceEventsMessage = WM_APP + 16;
// Posted when a command through the pipe asks Marlowick to save and exit.
inline constexpr UINT kExitRequestMessage = WM_APP + 17;
// Shown at start-up when other users can change the profile.
std::wstring UntrustedProfileQuestion(const std::wstring& folder);

// The program's main window.
class CMarlowickDlg : public fw::CDialog {
public:
    CMarlowickDlg();
    ~CMarlowickDlg() override;

    // Opens the help page in the default browser; both arguments are ignored.
    void WinHelp(DWORD_PTR data, UINT command) override;

    const CListCtrlEx& TaskList() const { return m_taskList; }
    core::TaskService& Service() { return m_service; }
    const core::TaskService& Service() const { return m_service; }
    // Tasks loaded from a profile that others can change run only once the user has confirmed them.
    bool TasksHeld() const { return m_tasksHeld; }
    const CTrayIcon& TrayIcon() const { return m_trayIcon; }
    const StopWarningWindows& Warnings() const { return m_warnings; }

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
    void OnRunNow();
    void OnToggleEnabled();
    void OnOptions();
    void OnAbout();
    // The History window: of the selected tasks (from the task list's menu), or of all (from the tray's).
    void OnTaskHistory();
    void OnTrayHistory();
    void ShowHistory(std::vector<core::TaskId> tasks);
    LRESULT OnDblclkTaskList(NMHDR* header);
    LRESULT OnQueryEndSession();
    void OnEndSession(WPARAM ending, LPARAM flags);
    LRESULT OnPowerBroadcast(WPARAM event, LPARAM);
    void OnTimer(WPARAM id, LPARAM);
    // kServiceEventsMessage: runs the service's events, in order, on this thread.
    LRESULT OnServiceEvents(WPARAM, LPARAM);
    void OnServiceEvent(const core::ServiceEvent& event);
    void OnDestroy();
    // The pipe's commands, on the pipe's threads.
    cli::CommandAnswer OnPipeCommand(const std::vector<std::wstring>& words);
    // kExitRequestMessage: saves and exits without asking, as the command asked.
    LRESULT OnExitRequest(WPARAM, LPARAM);
    // Ends the waits of the pipe's commands and their threads.
    void StopCommandServer();

    LRESULT OnTrayNotify(WPARAM id, LPARAM mouseMessage);
    void OnTaskbarCreated();
    void OnTrayShow();
    void OnHide();
    void OnTrayExit();
    void OnClose();

    // Offers a test run of the task.
    void PromptTestRun(core::TaskId id);
    // Names the next task in the tray tip.
    void UpdateTrayTip();

    // The application icon, shared by the system: it is not destroyed.
    HICON m_hIcon;
    // The one road from the service's threads to this window.
    fw::UiTaskQueue m_events;
    // Outlives the service, which tells it the results of runs, and the pipe, whose commands wait on it.
    cli::RunResults m_runResults;
    core::TaskService m_service;
    // Made once the tasks are loaded; goes before the service, whose commands it carries out.
    std::unique_ptr<cli::CommandServer> m_commandServer;
    CListCtrlEx m_taskList;
    fw::CStatusBar m_statusBar;
    CTrayIcon m_trayIcon;
    // The warnings before stops that are up; they go with the window, and their runs keep their times.
    StopWarningWindows m_warnings;
    bool m_tasksHeld = false;
};

}  // namespace app
