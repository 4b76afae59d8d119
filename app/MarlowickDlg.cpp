#include "app/MarlowickDlg.h"

#include "app/AboutDlg.h"
#include "app/ExitConfirmDialog.h"
#include "control/ConfigDialog.h"
#include "control/ProgramStart.h"
#include "control/ProgramStop.h"
#include "core/Profile.h"
#include "core/ProfileSecurity.h"
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
      m_taskList(m_tasks) {}

CMarlowickDlg::~CMarlowickDlg() {
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
    return true;
}

void CMarlowickDlg::StartScheduler() {
    m_scheduler = std::make_unique<core::Scheduler>(
        m_tasks, &core::SystemClock, [this](const std::vector<core::ScheduledTask>& due) { RunDueTasks(due); });
    m_schedulerThread = std::make_unique<core::SchedulerThread>([this] { m_scheduler->SchedulerTick(); });
}

void CMarlowickDlg::RunDueTasks(const std::vector<core::ScheduledTask>& due) {
    std::vector<core::Task> stops;
    for (const core::ScheduledTask& task : due) {
        if (core::IsStartAction(task.action)) {
            control::StartProgramInBackground(task.program, {}, {}, {});
        } else {
            stops.push_back({task.program, task.action, {}});
        }
    }
    if (stops.empty()) {
        return;
    }
    {
        const std::lock_guard lock(m_dueStopsMutex);
        m_dueStops.push_back(std::move(stops));
    }
    // A window that is gone handles nothing more; the queue goes with the window object.
    fw::IgnoreResult(::PostMessageW(m_hWnd, kDueStopsMessage, 0, 0));
}

LRESULT CMarlowickDlg::OnDueStops(WPARAM, LPARAM) {
    for (;;) {
        std::vector<core::Task> stops;
        {
            const std::lock_guard lock(m_dueStopsMutex);
            if (m_dueStops.empty()) {
                return 0;
            }
            stops = std::move(m_dueStops.front());
            m_dueStops.pop_front();
        }
        fw::DeferredMessageBoxes boxes;
        for (const core::Task& stop : stops) {
            control::StopProgram(stop.program, m_pendingStops, {});
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
    const std::wstring action = dialog.GetAction();
    const std::wstring program = ResolveTaskProgram(dialog.GetProgram(), action);
    m_taskList.AppendTask(program, action, core::FormatTaskTime(dialog.m_time));
    SaveTaskList();
    PromptTestRun(program, action);
}

void CMarlowickDlg::OnModifyTask() {
    if (m_taskList.GetSelectedCount() == 0) {
        return;
    }
    const int row = m_taskList.GetFirstSelectedTask();
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(m_taskList.GetTaskText(row, core::TaskColumn::Program));
    dialog.SetAction(m_taskList.GetTaskText(row, core::TaskColumn::Action));
    dialog.m_time = core::ParseTaskTime(m_taskList.GetTaskText(row, core::TaskColumn::Time));
    if (dialog.DoModal() != IDOK) {
        return;
    }
    const std::wstring action = dialog.GetAction();
    const std::wstring program = ResolveTaskProgram(dialog.GetProgram(), action);
    m_taskList.ReplaceTask(row, program, action, core::FormatTaskTime(dialog.m_time));
    SaveTaskList();
    PromptTestRun(program, action);
}

LRESULT CMarlowickDlg::OnDblclkTaskList(NMHDR*) {
    OnModifyTask();
    return 0;
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

void CMarlowickDlg::PromptTestRun(const std::wstring& program, const std::wstring& action) {
    // A plain box without owner: the main window stays usable while it shows.
    if (fw::ShowMessageBox(nullptr, kTestRunQuestion, L"", MB_YESNO) != IDYES) {
        return;
    }
    core::RunTask(program, action, m_pendingStops);
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
