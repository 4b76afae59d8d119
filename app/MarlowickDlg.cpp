#include "app/MarlowickDlg.h"

#include "app/AboutDlg.h"
#include "app/ExitConfirmDialog.h"
#include "control/ConfigDialog.h"
#include "control/ProgramStart.h"
#include "control/ProgramStop.h"
#include "core/Profile.h"
#include "core/ProfileSecurity.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "ui/ActionConfigDialog.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace app {

namespace {

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

// The height of the status bar and its distance from the bottom of the client area.
constexpr int kStatusBarHeight = 20;

}  // namespace

std::wstring ResolveTaskProgram(const std::wstring& program, const std::wstring& action) {
    if (action == L"Start" && !::PathFileExistsW(program.c_str())) {
        // A file that is missing for now (a drive not plugged in) is no window title: when no window has
        // that title, the text stays, so the task still names its program when the file is back.
        std::wstring owner = ui::GetWindowProgramPath(program);
        if (!owner.empty()) {
            return owner;
        }
    }
    return program;
}

std::wstring UntrustedProfileQuestion(const std::wstring& folder) {
    return L"The folder " + folder +
           L" or the Profile.txt in it can be changed by users other than SYSTEM, the Administrators and you, "
           L"so its tasks may not be yours. Marlowick shows them but runs none of them until you confirm "
           L"them.\n\nRun these tasks?";
}

std::wstring NextTaskTip(const std::wstring& program, const std::wstring& when) {
    static constexpr size_t kMaxTip = 127;
    std::wstring name = ::PathFindFileNameW(program.c_str());
    if (name.empty()) {
        name = program;
    }
    const std::wstring head = std::wstring(kTrayTip) + L"\nNext: ";
    const std::wstring tail = L" at " + when;
    const size_t room = kMaxTip > head.size() + tail.size() ? kMaxTip - head.size() - tail.size() : 0;
    if (name.size() > room) {
        name = room > 0 ? name.substr(0, room - 1) + L"\u2026" : std::wstring();
    }
    return (head + name + tail).substr(0, kMaxTip);
}

bool SetTaskbarButton(HWND window, bool present) {
    fw::ComPtr<ITaskbarList> taskbar;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_SERVER, IID_ITaskbarList, taskbar.PutVoid())) ||
        !taskbar) {
        return false;
    }
    fw::IgnoreResult(taskbar->HrInit());
    fw::IgnoreResult(present ? taskbar->AddTab(window) : taskbar->DeleteTab(window));
    return true;
}

CMarlowickDlg::CMarlowickDlg()
    : fw::CDialog(IDD_MARLOWICK_DIALOG),
      m_hIcon(::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MARLOWICK))),
      m_taskList(m_tasks) {
    m_results->store = &m_tasks;
}

CMarlowickDlg::~CMarlowickDlg() {
    {
        const std::lock_guard lock(m_results->mutex);
        m_results->store = nullptr;
    }
    // The thread may be handing over stops: it ends before the queue it fills goes.
    m_schedulerThread.reset();
}

const fw::MessageMap* CMarlowickDlg::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnMessage<&CMarlowickDlg::OnSysCommand>(WM_SYSCOMMAND),
        fw::OnMessage<&CMarlowickDlg::OnPaint>(WM_PAINT),
        fw::OnMessage<&CMarlowickDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::OnCommand<&CMarlowickDlg::OnAddTask>(IDM_ADD_TASK),
        fw::OnCommand<&CMarlowickDlg::OnModifyTask>(IDM_MODIFY_TASK),
        fw::OnRegisteredMessage<&CMarlowickDlg::OnTrayNotify>(g_trayMessage),
        fw::OnMessage<&CMarlowickDlg::OnClose>(WM_CLOSE),
        fw::OnCommand<&CMarlowickDlg::OnTrayExit>(IDM_TRAY_EXIT),
        fw::OnCommand<&CMarlowickDlg::OnHide>(IDM_TRAY_HIDE),
        fw::OnCommand<&CMarlowickDlg::OnAbout>(IDM_ABOUT),
        fw::OnCommand<&CMarlowickDlg::OnTrayShow>(IDM_TRAY_SHOW),
        fw::OnCommand<&CMarlowickDlg::OnHide>(IDC_HIDE),
        fw::OnMessage<&CMarlowickDlg::OnTimer>(WM_TIMER),
        fw::OnCommand<&CMarlowickDlg::OnRemoveTask>(IDM_REMOVE_TASK),
        fw::OnCommand<&CMarlowickDlg::OnOptions>(IDC_OPTIONS),
        fw::OnNotify<&CMarlowickDlg::OnDblclkTaskList>(IDC_TASK_LIST, NM_DBLCLK),
        fw::OnMessage<&CMarlowickDlg::OnQueryEndSession>(WM_QUERYENDSESSION),
        fw::OnMessage<&CMarlowickDlg::OnEndSession>(WM_ENDSESSION),
        fw::OnRegisteredMessage<&CMarlowickDlg::OnTaskbarCreated>(g_taskbarCreatedMessage),
        fw::OnNotify<&CMarlowickDlg::OnGetDispInfo>(IDC_TASK_LIST, LVN_GETDISPINFOW),
        fw::OnMessage<&CMarlowickDlg::OnDueStops>(kDueStopsMessage),
        fw::OnMessage<&CMarlowickDlg::OnTasksRan>(kTasksRanMessage),
        fw::OnNotify<&CMarlowickDlg::OnCustomDrawTaskList>(IDC_TASK_LIST, NM_CUSTOMDRAW),
        fw::OnNotify<&CMarlowickDlg::OnRClickTaskList>(IDC_TASK_LIST, NM_RCLICK),
        fw::OnCommand<&CMarlowickDlg::OnRunNow>(IDM_RUN_NOW),
        fw::OnCommand<&CMarlowickDlg::OnToggleEnabled>(IDM_TOGGLE_ENABLED),
        fw::OnMessage<&CMarlowickDlg::OnPowerBroadcast>(WM_POWERBROADCAST),
        fw::OnMessage<&CMarlowickDlg::OnDestroy>(WM_DESTROY),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

void CMarlowickDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_TASK_LIST, m_taskList);
}

bool CMarlowickDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_taskList.SetupTaskColumns();
    {
        const std::lock_guard lock(m_results->mutex);
        m_results->list = m_taskList.GetSafeHwnd();
    }

    // The status bar shows string 102: the rights notice pushed to the right by its leading blanks.
    m_statusBar.Create(m_hWnd);
    static constexpr UINT kIndicators[] = {IDC_STATUS_PANE_PADDED, IDC_STATUS_PANE};
    m_statusBar.SetIndicators(kIndicators, static_cast<int>(std::size(kIndicators)));
    const RECT client = GetClientRect();
    m_statusBar.MoveWindow(0, client.bottom - kStatusBarHeight, client.right, kStatusBarHeight);
    m_statusBar.SetPaneInfo(0, IDC_STATUS_PANE_PADDED, 0, client.right);

    m_trayIcon.Add(m_hWnd);
    // The notification area shows small icons: take the small image of the application icon.
    m_trayIcon.SetIcon(
        static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_MARLOWICK), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)));

    fw::IgnoreResult(::SetTimer(m_hWnd, kProfileRetryTimerId, kProfileRetryPeriodMs, nullptr));

    // A first start finds an empty file instead of reporting a missing one.
    core::EnsureProfileFile();
    m_profile.Load(m_taskList);
    const std::wstring folder = core::GetConfigFolder();
    if (!folder.empty() && !core::IsProfileTrusted(folder, folder + L"\\Profile.txt")) {
        // Nothing fires before the answer: the scheduler starts only after it.
        m_tasksHeld = fw::AfxMessageBox(UntrustedProfileQuestion(folder), MB_YESNO) != IDYES;
    }
    if (!m_tasksHeld) {
        StartScheduler();
    }
    UpdateTrayTip();
    return true;
}

void CMarlowickDlg::StartScheduler() {
    m_scheduler = std::make_unique<core::Scheduler>(
        m_tasks, &core::SystemClock, [this](const std::vector<core::ScheduledTask>& due) { RunDueTasks(due); },
        core::SystemTimeZone(), [this](std::optional<core::UtcSeconds> moment) { m_wakeTimer.Set(moment); });
    m_schedulerThread = std::make_unique<core::SchedulerThread>([this] { m_scheduler->SchedulerTick(); });
}

void CMarlowickDlg::RunDueTasks(const std::vector<core::ScheduledTask>& due) {
    std::vector<core::ScheduledTask> stops;
    for (const core::ScheduledTask& task : due) {
        if (core::IsStartAction(task.action)) {
            Carry(task.id, task.program, task.action, task.arguments, task.folder);
        } else {
            stops.push_back(task);
        }
    }
    // A window that is gone handles nothing more; the queue goes with the window object.
    if (!stops.empty()) {
        {
            const std::lock_guard lock(m_dueStopsMutex);
            m_dueStops.push_back(std::move(stops));
        }
        fw::IgnoreResult(::PostMessageW(m_hWnd, kDueStopsMessage, 0, 0));
    }
    if (!m_tasksRanPosted.exchange(true)) {
        fw::IgnoreResult(::PostMessageW(m_hWnd, kTasksRanMessage, 0, 0));
    }
}

void CMarlowickDlg::Carry(const core::TaskId id,
                          const std::wstring& program,
                          const std::wstring& action,
                          const std::wstring& arguments,
                          const std::wstring& folder) {
    // Called on the thread of the start, or on this window's for a stop.
    control::RunReport report = [results = m_results, id](const std::wstring& result) {
        const std::lock_guard lock(results->mutex);
        if (results->store && results->store->SetLastResult(id, result) && results->list) {
            ::InvalidateRect(results->list, nullptr, FALSE);
        }
    };
    core::RunTask(program, action, arguments, folder, m_pendingStops, std::move(report));
}

LRESULT CMarlowickDlg::OnTasksRan(WPARAM, LPARAM) {
    m_tasksRanPosted = false;
    ::InvalidateRect(m_taskList.GetSafeHwnd(), nullptr, FALSE);
    SaveLastRuns();
    UpdateTrayTip();
    return 0;
}

void CMarlowickDlg::SaveLastRuns() {
    const ULONGLONG now = ::GetTickCount64();
    if (now - m_lastRunSaved < kLastRunSavePeriodMs) {
        if (!m_lastRunSaveDue) {
            m_lastRunSaveDue = true;
            fw::IgnoreResult(::SetTimer(m_hWnd, kLastRunSaveTimerId,
                                        static_cast<UINT>(kLastRunSavePeriodMs - (now - m_lastRunSaved)), nullptr));
        }
        return;
    }
    m_lastRunSaveDue = false;
    m_lastRunSaved = now;
    // No box: the list is written at the next retry when the file cannot be written now.
    SaveTaskList(false);
}

void CMarlowickDlg::UpdateTrayTip() {
    const core::ClockReading now = core::SystemClock();
    const std::optional<long long> local = core::ToSeconds(now.local);
    const auto next = local ? core::NextDueTask(*m_tasks.CurrentSchedule(), *local) : std::nullopt;
    if (!next || m_tasksHeld) {
        m_trayIcon.SetTip(kTrayTip);
        return;
    }
    std::wstring when = m_tasks.GetTaskText(next->first.row, core::TaskColumn::Time);
    if (next->second / core::kSecondsPerDay != *local / core::kSecondsPerDay) {
        when = core::DaysDisplayText(core::DayOfWeekBit(next->second)) + L" " + when;
    }
    m_trayIcon.SetTip(NextTaskTip(next->first.program, when));
}

LRESULT CMarlowickDlg::OnDueStops(WPARAM, LPARAM) {
    for (;;) {
        std::vector<core::ScheduledTask> stops;
        {
            const std::lock_guard lock(m_dueStopsMutex);
            if (m_dueStops.empty()) {
                return 0;
            }
            stops = std::move(m_dueStops.front());
            m_dueStops.pop_front();
        }
        fw::DeferredMessageBoxes boxes;
        for (const core::ScheduledTask& stop : stops) {
            Carry(stop.id, stop.program, stop.action, stop.arguments, stop.folder);
        }
        // While these boxes are open, stops due later run in their message loop.
        boxes.Show();
    }
}

void CMarlowickDlg::OnDestroy() {
    // No tick may hand anything to a window that is going.
    m_schedulerThread.reset();
    Default();
}

LRESULT CMarlowickDlg::OnGetDispInfo(NMLVDISPINFOW* info) {
    m_taskList.OnGetDispInfo(*info);
    return 0;
}

void CMarlowickDlg::OnSysCommand(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        fw::IgnoreResult(about.DoModal());
        return;
    }
    if (command == SC_MINIMIZE) {
        Default();
        if (!SetTaskbarButton(m_hWnd, false)) {
            fw::AfxMessageBox(kNoTaskbarList, MB_OK);
        }
        return;
    }
    if (command == SC_RESTORE) {
        // Shown again (from the tray, after a hide or a minimise): the taskbar button comes back with it.
        Default();
        fw::IgnoreResult(SetTaskbarButton(m_hWnd, true));
        return;
    }
    Default();
}

void CMarlowickDlg::OnPaint() {
    fw::PaintDC dc(m_hWnd);
    if (::IsIconic(m_hWnd)) {
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
        const RECT client = GetClientRect();
        const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc.Get(), x, y, m_hIcon);
        return;
    }
    // The banner is loaded for each paint and freed afterwards.
    fw::UniqueBitmap banner(static_cast<HBITMAP>(
        ::LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    if (banner) {
        BITMAP info{};
        fw::UniqueMemoryDC memory(::CreateCompatibleDC(dc.Get()));
        if (memory && ::GetObjectW(banner.Get(), sizeof info, &info) == sizeof info) {
            fw::SelectObjectGuard select(memory.Get(), banner.Get());
            ::BitBlt(dc.Get(), 0, 10, info.bmWidth, info.bmHeight, memory.Get(), 0, 0, SRCCOPY);
        }
    }
    Default();
}

HICON CMarlowickDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CMarlowickDlg::OnAddTask() {
    ui::CActionConfigDialog dialog;
    // Anything but OK (Cancel, or a dialog that could not be shown) adds nothing.
    if (dialog.DoModal() != IDOK) {
        return;
    }
    m_taskList.AppendTask(TaskOf(dialog, {}));
    SaveTaskList();
    UpdateTrayTip();
    PromptTestRun(m_taskList.GetTaskCount() - 1);
}

void CMarlowickDlg::OnModifyTask() {
    if (m_taskList.GetSelectedCount() == 0) {
        return;
    }
    const int row = m_taskList.GetFirstSelectedTask();
    const core::Task task = m_taskList.GetTask(row);
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(task.program);
    dialog.SetAction(task.action);
    dialog.m_time = core::ParseTaskTime(task.time);
    // Days the dialog cannot show (a text that names none) stay as they are unless the user ticks others.
    dialog.m_days = core::ParseDays(task.days).value_or(core::kEveryDay);
    dialog.m_arguments = task.arguments;
    dialog.m_folder = task.folder;
    dialog.m_enabled = task.enabled;
    dialog.m_runIfMissed = task.runIfMissed;
    dialog.m_wake = task.wake;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    m_taskList.ReplaceTask(row, TaskOf(dialog, task));
    SaveTaskList();
    UpdateTrayTip();
    PromptTestRun(row);
}

LRESULT CMarlowickDlg::OnDblclkTaskList(NMHDR*) {
    OnModifyTask();
    return 0;
}

core::Task CMarlowickDlg::TaskOf(const ui::CActionConfigDialog& dialog, const core::Task& before) {
    core::Task task = before;
    task.action = dialog.GetAction();
    task.program = ResolveTaskProgram(dialog.GetProgram(), task.action);
    task.time = core::FormatTaskTime(dialog.m_time);
    // Days the dialog could not show are kept when the user left the boxes as they were shown.
    const std::optional<core::DayMask> daysBefore = core::ParseDays(before.days);
    if (daysBefore || dialog.m_days != core::kEveryDay) {
        task.days = core::FormatDays(dialog.m_days);
    }
    task.arguments = dialog.m_arguments;
    task.folder = dialog.m_folder;
    task.enabled = dialog.m_enabled;
    task.runIfMissed = dialog.m_runIfMissed;
    task.wake = dialog.m_wake;
    return task;
}

void CMarlowickDlg::OnRemoveTask() {
    if (m_taskList.GetTaskCount() <= 0) {
        return;
    }
    // Only the first selected row goes, even when several are selected.
    const int row = m_taskList.GetFirstSelectedTask();
    if (row < 0) {
        return;
    }
    m_taskList.RemoveTask(row);
    SaveTaskList();
}

void CMarlowickDlg::PromptTestRun(int row) {
    // The task as it is now: a change made while the box was open would move the row.
    const core::TaskId id = m_tasks.GetTaskId(row);
    // A plain box without owner: the main window stays usable while it shows.
    if (fw::ShowMessageBox(nullptr, kTestRunQuestion, L"", MB_YESNO) != IDYES) {
        return;
    }
    RunTaskNow(m_tasks.FindTask(id));
}

void CMarlowickDlg::RunTaskNow(int row) {
    if (row < 0) {
        return;
    }
    const core::Task task = m_taskList.GetTask(row);
    const core::TaskId id = m_tasks.GetTaskId(row);
    const std::optional<long long> now = core::ToSeconds(core::SystemClock().utc);
    if (now) {
        fw::IgnoreResult(m_tasks.SetLastRun(id, *now));
    }
    Carry(id, task.program, task.action, task.arguments, task.folder);
    OnTasksRan(0, 0);
}

void CMarlowickDlg::OnRunNow() {
    RunTaskNow(m_taskList.GetFirstSelectedTask());
}

void CMarlowickDlg::OnToggleEnabled() {
    const int row = m_taskList.GetFirstSelectedTask();
    if (row < 0) {
        return;
    }
    core::Task task = m_taskList.GetTask(row);
    task.enabled = !task.enabled;
    m_taskList.ReplaceTask(row, task);
    // The same task, only greyed or not: it stays selected.
    m_taskList.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    SaveTaskList();
    UpdateTrayTip();
}

LRESULT CMarlowickDlg::OnCustomDrawTaskList(NMHDR* header) {
    return m_taskList.OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(header));
}

LRESULT CMarlowickDlg::OnRClickTaskList(NMHDR*) {
    // The list has selected the row under the pointer; a click beside the rows offers nothing.
    const int row = m_taskList.GetFirstSelectedTask();
    if (row < 0) {
        return 0;
    }
    fw::UniqueMenu menu(::LoadMenuW(Instance(), MAKEINTRESOURCEW(IDM_TASK_MENU)));
    if (!menu) {
        return 0;
    }
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    if (!m_taskList.GetTask(row).enabled) {
        fw::IgnoreResult(
            ::ModifyMenuW(popup, IDM_TOGGLE_ENABLED, MF_BYCOMMAND | MF_STRING, IDM_TOGGLE_ENABLED, L"Enable"));
    }
    POINT cursor{};
    fw::IgnoreResult(::GetCursorPos(&cursor));
    // The command comes as WM_COMMAND, to the same handlers as the buttons and the main menu.
    fw::IgnoreResult(::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hWnd, nullptr));
    return 0;
}

LRESULT CMarlowickDlg::OnPowerBroadcast(WPARAM event, LPARAM) {
    if (event == PBT_APMRESUMEAUTOMATIC && m_scheduler) {
        m_scheduler->NoticeResume();
    }
    return TRUE;
}

void CMarlowickDlg::OnOptions() {
    control::CConfigDialog sheet;
    fw::IgnoreResult(sheet.DoModal());
}

void CMarlowickDlg::OnAbout() {
    CAboutDlg about;
    fw::IgnoreResult(about.DoModal());
}

void CMarlowickDlg::WinHelp(DWORD_PTR, UINT) {
    fw::IgnoreResult(::ShellExecuteW(nullptr, L"open", kHelpAddress, nullptr, nullptr, SW_SHOWNORMAL));
}

LRESULT CMarlowickDlg::OnQueryEndSession() {
    return Default() ? TRUE : FALSE;
}

void CMarlowickDlg::OnEndSession(WPARAM ending, LPARAM) {
    // The session ends without the close handler: keep the list as it is now. No box: nobody would see it.
    if (ending) {
        SaveTaskList(false);
    }
}

void CMarlowickDlg::OnTimer(WPARAM id, LPARAM) {
    if (id == kLastRunSaveTimerId) {
        fw::IgnoreResult(::KillTimer(m_hWnd, kLastRunSaveTimerId));
        m_lastRunSaveDue = false;
        SaveLastRuns();
        return;
    }
    if (id == kProfileRetryTimerId) {
        // A retry may put the file's tasks in front and so move every row: not while a dialog of this
        // window (which disables it) holds a row number.
        if (::IsWindowEnabled(m_hWnd)) {
            m_profile.Retry(m_taskList);
        }
        return;
    }
    Default();
}

void CMarlowickDlg::SaveTaskList(bool report) {
    fw::IgnoreResult(m_profile.Save(m_taskList, report));
}

LRESULT CMarlowickDlg::OnTrayNotify(WPARAM id, LPARAM mouseMessage) {
    if (id != m_trayIcon.Id()) {
        return 0;
    }
    switch (static_cast<UINT>(mouseMessage)) {
        case WM_LBUTTONDBLCLK:
            ToggleShowHide();
            break;
        case WM_RBUTTONUP:
            ShowTrayMenu();
            break;
        default:
            break;
    }
    return 0;
}

void CMarlowickDlg::OnTaskbarCreated() {
    // The shell's taskbar has restarted and lost every icon: add ours again.
    m_trayIcon.Restore();
}

void CMarlowickDlg::ShowTrayMenu() {
    POINT cursor{};
    fw::IgnoreResult(::GetCursorPos(&cursor));
    fw::UniqueMenu menu(::LoadMenuW(Instance(), MAKEINTRESOURCEW(IDM_TRAY)));
    if (!menu) {
        return;
    }
    ::SetForegroundWindow(m_hWnd);
    fw::IgnoreResult(::TrackPopupMenu(::GetSubMenu(menu.Get(), 0), 0, cursor.x, cursor.y, 0, m_hWnd, nullptr));
    PostMessage(WM_NULL);
}

void CMarlowickDlg::ToggleShowHide() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    fw::IgnoreResult(::GetWindowPlacement(m_hWnd, &placement));
    if (placement.showCmd == SW_SHOWNORMAL) {
        OnHide();
    } else {
        OnTrayShow();
    }
}

void CMarlowickDlg::OnTrayShow() {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE);
}

void CMarlowickDlg::OnHide() {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    m_trayIcon.ShowBalloon();
}

void CMarlowickDlg::OnClose() {
    if (m_taskList.GetTaskCount() > 0) {
        CExitConfirmDialog confirm(m_hWnd);
        if (confirm.DoModal() == IDC_CONFIRM_HIDE) {
            OnHide();
            return;
        }
    }
    SaveTaskList();
    ::PostQuitMessage(0);
}

void CMarlowickDlg::OnOK() {
    OnClose();
}

void CMarlowickDlg::OnCancel() {
    OnClose();
}

void CMarlowickDlg::OnTrayExit() {
    OnClose();
    fw::AfxMessageBox(L"OnTrayExit", MB_OK);
}

}  // namespace app
