#pragma once
// The main window: the task list with its commands, the banner, the status bar and the tray icon. The
// scheduler runs on its own thread and hands the window only the stops, which need its thread. The program
// lives as long as this window's modal loop.
#include "app/TrayIcon.h"
#include "control/PendingStops.h"
#include "control/RunResult.h"
#include "core/ListCtrlEx.h"
#include "core/Profile.h"
#include "core/Scheduler.h"
#include "core/WakeTimer.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/ActionConfigDialog.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
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
    // Reads a profile that could not be read, or writes a list that could not be written.
    ProfileRetry = 1,
    // Writes the last runs that came within a second of the last such write.
    LastRunSave = 2,
};
inline constexpr UINT_PTR kProfileRetryTimerId = static_cast<UINT_PTR>(WindowTimer::ProfileRetry);
inline constexpr UINT kProfileRetryPeriodMs = 30000;
inline constexpr UINT_PTR kLastRunSaveTimerId = static_cast<UINT_PTR>(WindowTimer::LastRunSave);
// The last runs are written at most once in this time, for all tasks together.
inline constexpr DWORD kLastRunSavePeriodMs = 1000;
// Posted by the scheduler's thread when stops are due.
inline constexpr UINT kDueStopsMessage = WM_APP + 16;
// Posted when tasks have run: their last run goes into the profile, and the tray tip names the next task.
inline constexpr UINT kTasksRanMessage = WM_APP + 17;
// Shown at start-up when other users can change the profile.
std::wstring UntrustedProfileQuestion(const std::wstring& folder);

// The program text a task stores: a Start task whose text names no existing file or folder takes it as a
// window title and stores the image path of the process that owns that window. When no window has that
// title (or its program's path cannot be read), and for every other task, the text stays as it is.
std::wstring ResolveTaskProgram(const std::wstring& program, const std::wstring& action);

// The tray tip: the program's own line, then the task that falls due next and when (its time text, with
// its day's name in front when that is not today); the program is named by its file name. At most 127
// characters: a longer program name is cut with an ellipsis.
std::wstring NextTaskTip(const std::wstring& program, const std::wstring& when);

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
    const core::TaskStore& Tasks() const { return m_tasks; }
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
    // The WM_TIMER handler: a retry of the profile.
    void OnTimer(WPARAM id, LPARAM);
    LRESULT OnGetDispInfo(NMLVDISPINFOW* info);
    LRESULT OnCustomDrawTaskList(NMHDR* header);
    // A right-click on a row: Run Now, Enable or Disable, Modify Task, Remove Task.
    LRESULT OnRClickTaskList(NMHDR* header);
    void OnRunNow();
    // The task the dialog describes, on top of the one it edited (its last run kept).
    static core::Task TaskOf(const ui::CActionConfigDialog& dialog, const core::Task& before);
    void OnToggleEnabled();
    LRESULT OnPowerBroadcast(WPARAM event, LPARAM);
    // kTasksRanMessage: the profile keeps the last runs, and the tip names the next task.
    LRESULT OnTasksRan(WPARAM, LPARAM);
    // Writes the last runs now, or once a second has passed since they were last written.
    void SaveLastRuns();
    void OnDestroy();

    // Starts the scheduler's thread; the first tick comes at the start of the next second.
    void StartScheduler();
    // On the scheduler's thread: starts the second's Start tasks at once, each on a thread of its own, and
    // hands its Stop tasks to this window.
    void RunDueTasks(const std::vector<core::ScheduledTask>& due);
    // kDueStopsMessage: carries out the stops of each second handed over, one second at a time. The boxes
    // a second's stops raise are shown after all of them ran, so no box holds back another stop.
    LRESULT OnDueStops(WPARAM, LPARAM);

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
    // Offers a test run of the row's task.
    void PromptTestRun(int row);
    // Runs the row's task now, whatever its time, days or state, and notes the run.
    void RunTaskNow(int row);
    // Starts or stops the task; what comes of it is shown in its Last run cell.
    void Carry(const core::TaskId id,
               const std::wstring& program,
               const std::wstring& action,
               const std::wstring& arguments,
               const std::wstring& folder);
    // Names the next task in the tray tip.
    void UpdateTrayTip();

    // The application icon, shared by the system: it is not destroyed.
    HICON m_hIcon;
    core::TaskStore m_tasks;
    core::CListCtrlEx m_taskList;
    fw::CStatusBar m_statusBar;
    CTrayIcon m_trayIcon;
    // Stops waiting for their programs to end; abandoned, not waited for, when the window object goes.
    control::PendingStops m_pendingStops;
    core::ProfileState m_profile;
    bool m_tasksHeld = false;
    // The stops of each due second, from the scheduler's thread to this window's.
    std::mutex m_dueStopsMutex;
    std::deque<std::vector<core::ScheduledTask>> m_dueStops;
    // Where the result of a run goes. A start reports from a thread of its own, which may end after this
    // window: the window lets go of the store here first, and a late report then goes nowhere.
    struct ResultSink {
        std::mutex mutex;
        core::TaskStore* store = nullptr;
        HWND list = nullptr;
    };
    std::shared_ptr<ResultSink> m_results = std::make_shared<ResultSink>();
    // Set while a kTasksRanMessage is on its way, so that runs in quick succession make one save.
    std::atomic<bool> m_tasksRanPosted{false};
    core::WakeTimer m_wakeTimer;
    // When the last runs were last written (GetTickCount64), and whether a later write is waiting.
    ULONGLONG m_lastRunSaved = 0;
    bool m_lastRunSaveDue = false;
    std::unique_ptr<core::Scheduler> m_scheduler;
    // Last: its thread ends first, before anything it uses goes.
    std::unique_ptr<core::SchedulerThread> m_schedulerThread;
};

}  // namespace app
