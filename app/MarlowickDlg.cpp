#include "app/MarlowickDlg.h"

#include "app/AboutDlg.h"
#include "app/ExitConfirmDialog.h"
#include "app/HistoryDlg.h"
#include "cli/History.h"
#include "control/ConfigDialog.h"
#include "control/ProgramRunner.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "ui/ActionConfigDialog.h"

#include <shellapi.h>

namespace app {

namespace {

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

// The height of the status bar and its distance from the bottom of the client area.
constexpr int kStatusBarHeight = 20;

}  // namespace

std::wstring UntrustedProfileQuestion(const std::wstring& folder) {
    return L"The folder " + folder +
           L" or the Profile.txt in it can be changed by users other than SYSTEM, the Administrators and you, "
           L"so its tasks may not be yours. Marlowick shows them but runs none of them until you confirm "
           L"them.\n\nRun these tasks?";
}

CMarlowickDlg::CMarlowickDlg()
    : fw::CDialog(IDD_MARLOWICK_DIALOG),
      m_hIcon(::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MARLOWICK))),
      m_service(std::make_unique<control::ProgramRunner>(),
                [this](const core::ServiceEvent& event) {
                    m_runResults.Notice(event);
                    fw::IgnoreResult(m_events.Post([this, event] { OnServiceEvent(event); }));
                }),
      m_taskList(m_service.Tasks()),
      m_warnings([this](const core::StopWarning& warning, core::WarningAnswer answer) {
          // Read at each answer: a change on the Options page counts from the next one.
          fw::IgnoreResult(m_service.AnswerWarning(warning.id, warning.due, answer, control::PostponeMinutes()));
      }) {}

CMarlowickDlg::~CMarlowickDlg() {
    // The service's threads end before the road they post to goes.
    m_service.Shutdown();
}

const fw::MessageMap* CMarlowickDlg::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnMessage<&CMarlowickDlg::OnSysCommand>(WM_SYSCOMMAND),
        fw::OnMessage<&CMarlowickDlg::OnPaint>(WM_PAINT),
        fw::OnMessage<&CMarlowickDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::OnCommand<&CMarlowickDlg::OnAddTask>(IDM_ADD_TASK),
        fw::OnCommand<&CMarlowickDlg::OnModifyTask>(IDM_MODIFY_TASK),
        fw::OnCommand<&CMarlowickDlg::OnRemoveTask>(IDM_REMOVE_TASK),
        fw::OnCommand<&CMarlowickDlg::OnRunNow>(IDM_RUN_NOW),
        fw::OnCommand<&CMarlowickDlg::OnToggleEnabled>(IDM_TOGGLE_ENABLED),
        fw::OnCommand<&CMarlowickDlg::OnOptions>(IDC_OPTIONS),
        fw::OnCommand<&CMarlowickDlg::OnAbout>(IDM_ABOUT),
        fw::OnCommand<&CMarlowickDlg::OnTaskHistory>(IDM_TASK_HISTORY),
        fw::OnCommand<&CMarlowickDlg::OnTrayHistory>(IDM_TRAY_HISTORY),
        fw::OnCommand<&CMarlowickDlg::OnTrayExit>(IDM_TRAY_EXIT),
        fw::OnCommand<&CMarlowickDlg::OnHide>(IDM_TRAY_HIDE),
        fw::OnCommand<&CMarlowickDlg::OnTrayShow>(IDM_TRAY_SHOW),
        fw::OnCommand<&CMarlowickDlg::OnHide>(IDC_HIDE),
        fw::OnNotify<&CMarlowickDlg::OnDblclkTaskList>(IDC_TASK_LIST, NM_DBLCLK),
        fw::OnRegisteredMessage<&CMarlowickDlg::OnTrayNotify>(g_trayMessage),
        fw::OnRegisteredMessage<&CMarlowickDlg::OnTaskbarCreated>(g_taskbarCreatedMessage),
        fw::OnMessage<&CMarlowickDlg::OnClose>(WM_CLOSE),
        fw::OnMessage<&CMarlowickDlg::OnTimer>(WM_TIMER),
        fw::OnMessage<&CMarlowickDlg::OnQueryEndSession>(WM_QUERYENDSESSION),
        fw::OnMessage<&CMarlowickDlg::OnEndSession>(WM_ENDSESSION),
        fw::OnMessage<&CMarlowickDlg::OnPowerBroadcast>(WM_POWERBROADCAST),
        fw::OnMessage<&CMarlowickDlg::OnServiceEvents>(kServiceEventsMessage),
        fw::OnMessage<&CMarlowickDlg::OnExitRequest>(kExitRequestMessage),
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
        const std::wstring about = fw::LoadResourceString(IDS_ABOUTBOX);
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

    m_events.Attach(m_hWnd, kServiceEventsMessage);
    fw::IgnoreResult(::SetTimer(m_hWnd, static_cast<UINT_PTR>(WindowTimer::Events), kEventsTimerPeriodMs, nullptr));
    m_service.Load();
    // From now on marlowick.com's commands come here. A pipe that cannot be made leaves the window as it is.
    m_commandServer = std::make_unique<cli::CommandServer>(
        [this](const std::vector<std::wstring>& words) { return OnPipeCommand(words); });
    fw::IgnoreResult(m_commandServer->Start());
    // What the load had to say shows now, while the window is still hidden.
    m_events.Drain();
    if (!m_service.ProfileTrusted()) {
        // Nothing fires before the answer: the scheduler starts only after it.
        m_tasksHeld = fw::AfxMessageBox(UntrustedProfileQuestion(core::GetConfigFolder()), MB_YESNO) != IDYES;
    }
    if (!m_tasksHeld) {
        m_service.StartScheduler();
    }
    UpdateTrayTip();
    return true;
}

LRESULT CMarlowickDlg::OnServiceEvents(WPARAM, LPARAM) {
    m_events.Drain();
    return 0;
}

void CMarlowickDlg::OnServiceEvent(const core::ServiceEvent& event) {
    using Kind = core::ServiceEvent::Kind;
    switch (event.kind) {
        case Kind::ListChanged:
            m_taskList.Refresh();
            UpdateTrayTip();
            break;
        case Kind::TaskRan:
            UpdateTrayTip();
            [[fallthrough]];
        case Kind::ResultArrived:
            ::InvalidateRect(m_taskList.GetSafeHwnd(), nullptr, FALSE);
            break;
        case Kind::SaveFailed:
        case Kind::Message:
            fw::AfxMessageBox(event.text, event.boxType);
            break;
        case Kind::StopPending:
            break;
        case Kind::FileKeptAside:
            m_trayIcon.ShowBalloon(kKeptAsideText + event.text, kKeptAsideTitle);
            break;
        case Kind::WarningBegins:
            m_warnings.Show(event.warning);
            break;
        case Kind::WarningEnds:
            m_warnings.End(event.warning->id, event.warning->due);
            break;
        case Kind::RunFailed:
            // Read at each failure: a change on the Options page counts from the next one.
            if (control::NotifyFailuresOn()) {
                m_trayIcon.ShowBalloon(event.text, kRunFailedTitle);
            }
            break;
    }
}

void CMarlowickDlg::UpdateTrayTip() {
    m_trayIcon.SetTip(TasksTip(m_service.Tasks(), m_tasksHeld));
}

void CMarlowickDlg::OnDestroy() {
    StopCommandServer();
    // Nothing reaches the window after this, not even a stop still waiting.
    m_service.Shutdown();
    m_events.Close();
    Default();
}

cli::CommandAnswer CMarlowickDlg::OnPipeCommand(const std::vector<std::wstring>& words) {
    const HWND window = m_hWnd;
    cli::CommandHost host{m_service, m_runResults,
                          [window] { fw::IgnoreResult(::PostMessageW(window, kExitRequestMessage, 0, 0)); },
                          &cli::ReadHistoryLines};
    return cli::RunCommandQuietly(words, host);
}

LRESULT CMarlowickDlg::OnExitRequest(WPARAM, LPARAM) {
    // The pipe keeps serving until the window goes: a command that comes meanwhile is still written at once.
    m_service.Exit();
    m_events.Drain();
    ::PostQuitMessage(0);
    return 0;
}

void CMarlowickDlg::StopCommandServer() {
    m_runResults.Cancel();
    if (m_commandServer) {
        m_commandServer->Stop();
        m_commandServer.reset();
    }
}

void CMarlowickDlg::OnTimer(WPARAM id, LPARAM) {
    if (id == static_cast<UINT_PTR>(WindowTimer::Events)) {
        if (m_events.Pending()) {
            m_events.Drain();
        }
        // Time moves on without a run: the next runs, and the tasks of a date now past, are shown as they now are.
        ::InvalidateRect(m_taskList.GetSafeHwnd(), nullptr, FALSE);
        UpdateTrayTip();
        return;
    }
    Default();
}

void CMarlowickDlg::OnAddTask() {
    ui::CActionConfigDialog dialog;
    // Anything but OK (Cancel, or a dialog that could not be shown) adds nothing.
    if (dialog.DoModal() != IDOK) {
        return;
    }
    const core::TaskId id = m_service.Add(dialog.GetTask({}));
    m_events.Drain();
    PromptTestRun(id);
}

void CMarlowickDlg::OnModifyTask() {
    const core::TaskId id = m_taskList.GetFirstSelectedId();
    const std::optional<core::TaskRow> before = m_service.Tasks().Find(id);
    if (!before) {
        return;
    }
    ui::CActionConfigDialog dialog;
    dialog.SetTask(before->task);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    // Only what the user changed: a run or a catch-up meanwhile is kept, and the task is found by its id.
    fw::IgnoreResult(m_service.Modify(id, core::TaskChange::Between(before->task, dialog.GetTask(before->task))));
    m_events.Drain();
    PromptTestRun(id);
}

LRESULT CMarlowickDlg::OnDblclkTaskList(NMHDR*) {
    OnModifyTask();
    return 0;
}

void CMarlowickDlg::OnRemoveTask() {
    // Only the first selected row goes, even when several are selected.
    fw::IgnoreResult(m_service.Remove(m_taskList.GetFirstSelectedId()));
    m_events.Drain();
}

void CMarlowickDlg::PromptTestRun(core::TaskId id) {
    // A plain box without owner: the main window stays usable while it shows.
    if (fw::ShowMessageBox(nullptr, kTestRunQuestion, L"", MB_YESNO) == IDYES) {
        fw::IgnoreResult(m_service.RunNow(id));
        m_events.Drain();
    }
}

void CMarlowickDlg::OnRunNow() {
    fw::IgnoreResult(m_service.RunNow(m_taskList.GetFirstSelectedId()));
    m_events.Drain();
}

void CMarlowickDlg::OnToggleEnabled() {
    const core::TaskId id = m_taskList.GetFirstSelectedId();
    if (const std::optional<core::TaskRow> row = m_service.Tasks().Find(id)) {
        // The same task, only greyed or not: it stays selected.
        fw::IgnoreResult(m_service.SetEnabled(id, !row->task.enabled));
        m_events.Drain();
    }
}

LRESULT CMarlowickDlg::OnPowerBroadcast(WPARAM event, LPARAM) {
    if (event == PBT_APMRESUMEAUTOMATIC) {
        m_service.NoticeResume();
    }
    return TRUE;
}

LRESULT CMarlowickDlg::OnQueryEndSession() {
    return Default() ? TRUE : FALSE;
}

void CMarlowickDlg::OnEndSession(WPARAM ending, LPARAM) {
    // The session ends without the close handler: keep the list as it is now. No box: nobody would see it.
    if (ending) {
        m_service.SessionEnding();
    }
}

void CMarlowickDlg::OnOptions() {
    control::CConfigDialog sheet;
    fw::IgnoreResult(sheet.DoModal());
}

void CMarlowickDlg::OnAbout() {
    CAboutDlg about;
    fw::IgnoreResult(about.DoModal());
}

void CMarlowickDlg::OnTaskHistory() {
    std::vector<core::TaskId> tasks = m_taskList.GetSelectedIds();
    if (!tasks.empty()) {
        ShowHistory(std::move(tasks));
    }
}

void CMarlowickDlg::OnTrayHistory() {
    ShowHistory({});
}

void CMarlowickDlg::ShowHistory(std::vector<core::TaskId> tasks) {
    // Modal, as the program's other windows are; runs and their events go on meanwhile. A window in the tray owns
    // nothing that shows: the History window then stands alone.
    CHistoryDlg history(::IsIconic(m_hWnd) ? nullptr : m_hWnd, std::move(tasks), core::GetConfigFolder());
    fw::IgnoreResult(history.DoModal());
}

void CMarlowickDlg::WinHelp(DWORD_PTR, UINT) {
    fw::IgnoreResult(::ShellExecuteW(nullptr, L"open", kHelpAddress, nullptr, nullptr, SW_SHOWNORMAL));
}

void CMarlowickDlg::OnSysCommand(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
        return;
    }
    Default();
    // Minimised (to the tray, by a hide), the window leaves the taskbar; shown again, it comes back.
    if (command == SC_MINIMIZE && !SetTaskbarButton(m_hWnd, false)) {
        fw::AfxMessageBox(kNoTaskbarList, MB_OK);
    } else if (command == SC_RESTORE) {
        fw::IgnoreResult(SetTaskbarButton(m_hWnd, true));
    }
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
    fw::DrawResourceBitmap(dc.Get(), Instance(), IDB_BANNER, 0, 10);
    Default();
}

HICON CMarlowickDlg::OnQueryDragIcon() {
    return m_hIcon;
}

LRESULT CMarlowickDlg::OnTrayNotify(WPARAM id, LPARAM mouseMessage) {
    m_trayIcon.OnNotify(id, mouseMessage);
    return 0;
}

void CMarlowickDlg::OnTaskbarCreated() {
    // The shell's taskbar has restarted and lost every icon: add ours again.
    m_trayIcon.Restore();
}

void CMarlowickDlg::OnTrayShow() {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE);
}

void CMarlowickDlg::OnHide() {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    m_trayIcon.ShowBalloon(kTrayTip, kBalloonTitle);
}

void CMarlowickDlg::OnClose() {
    if (m_taskList.GetTaskCount() > 0) {
        CExitConfirmDialog confirm(m_hWnd);
        if (confirm.Ask() == ExitAnswer::Hide) {
            OnHide();
            return;
        }
    }
    m_service.Exit();
    // A list that could not be written says so before the program ends.
    m_events.Drain();
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
