#pragma once
// The main window: a view of the task service's tasks, with the commands that change them, the banner, the
// status bar and the tray icon. The program lives as long as this window's modal loop.
#include "app/ListCtrlEx.h"
#include "app/MainWindowLayout.h"
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
// What Del on the list asks before the selected tasks go.
std::wstring RemoveTasksQuestion(size_t count);
inline constexpr wchar_t kNoTaskbarList[] = L"Failed   to get ITaskbarList   interface. ";
// The main window's timers.
enum class WindowTimer : UINT_PTR {
    // Runs the service's events that wait because no message could reach this window for them, and shows the next
    // runs anew as time moves on.
    Events = 1,
    // Writes the window's size and the columns' widths a moment after the user last changed them, so that a drag
    // of the frame writes them once.
    SaveLayout = 2,
};
inline constexpr UINT kEventsTimerPeriodMs = 30000;
inline constexpr UINT kSaveLayoutDelayMs = 400;
// Posted when the service's events wait in the window's queue.
inline constexpr UINT kServiceEventsMessage = WM_APP + 16;
// Posted when a command through the pipe asks Marlowick to save and exit.
inline constexpr UINT kExitRequestMessage = WM_APP + 17;
// Posted at the end of the window's initialisation: what can wait until the window shows.
inline constexpr UINT kAfterShowMessage = WM_APP + 18;
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
    // The DPI the window is drawn at: its monitor's at start, then the one each WM_DPICHANGED brings.
    UINT Dpi() const { return m_dpi; }
    // The smallest outer size the window takes: the template's size and the frame, at the window's DPI.
    SIZE MinimumWindowSize() const;

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
    void OnSize(WPARAM type, LPARAM);
    void OnExitSizeMove();
    void OnGetMinMaxInfo(WPARAM, LPARAM info);
    // WM_DPICHANGED: the new DPI in wParam, the rectangle the system suggests in lParam.
    LRESULT OnDpiChanged(WPARAM dpis, LPARAM suggested);
    // LVN_KEYDOWN: Del removes, Enter modifies, as the commands do.
    LRESULT OnKeyDownTaskList(NMLVKEYDOWN* key);
    void OnAddTask();
    void OnModifyTask();
    void OnRemoveTask();
    // Del on the list: every selected task, once the user agreed.
    void RemoveSelectedTasks();
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
    // kAfterShowMessage: opens the pipe for marlowick.com, which waits for it meanwhile.
    LRESULT OnAfterShow(WPARAM, LPARAM);
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

    // The geometry at start: the DPI, the list's margins, the status bar, then what the user left last time.
    void SetUpLayout();
    void RestoreStoredLayout();
    // The list follows the client area's size; the buttons stay where they are; the status bar stays at the bottom.
    void LayOut();
    // Each child's rectangle scaled from the previous DPI, in the font made for the window's DPI.
    void RescaleChildren(UINT previous);
    // The application icon at the sizes of the window's DPI.
    void LoadIcons();
    // Starts (again) the wait before the layout is written.
    void LayoutChangedByUser();
    // Writes the layout now when a change waits to be written.
    void SaveLayoutIfChanged();

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

    UINT m_dpi = 96;
    // The template's size in dialog units, and the dialog base units at the window's DPI.
    SIZE m_templateSize{};
    SIZE m_baseUnits{};
    // The distances of the list's right and bottom edges from those of the client area.
    SIZE m_listMargin{};
    // The dialog font for a DPI other than the one the window was made at; null until the DPI changes.
    UniqueFont m_font;
    ScaledBanner m_banner;
    fw::UniqueIcon m_bigIcon;
    fw::UniqueIcon m_smallIcon;
    // Sizes set by the program (at start, on a DPI change) are not the user's.
    bool m_userLayout = false;
    bool m_layoutSavePending = false;
};

}  // namespace app
