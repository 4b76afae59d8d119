#include "app/MarlowickDlg.h"

#include "app/AboutDlg.h"
#include "app/ExitConfirmDialog.h"
#include "app/HistoryDlg.h"
#include "cli/History.h"
#include "control/ConfigDialog.h"
#include "control/ProgramRunner.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "ui/ActionConfigDialog.h"

#include <shellapi.h>

#include <algorithm>
#include <utility>

namespace app {

namespace {

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

// The height of the status bar at 96 DPI; it lies on the bottom of the client area.
constexpr int kStatusBarHeight = 20;
// Where the banner is drawn at 96 DPI.
constexpr POINT kBannerOrigin{0, 10};

// The rectangle of a child window in its parent's client coordinates.
RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void MoveChild(HWND child, const RECT& rect) {
    ::SetWindowPos(child, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// Windows 10 1703 and later rescale a per-monitor dialog's controls and fonts themselves when its DPI changes; this
// window does that itself, once, and must not have it done twice.
void LeaveDpiChangesToTheWindow(HWND window) {
    using SetBehavior = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
    static const auto function = reinterpret_cast<SetBehavior>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
    if (function) {
        fw::IgnoreResult(function(window, DDC_DISABLE_ALL, DDC_DISABLE_ALL));
    }
}

}  // namespace

std::wstring RemoveTasksQuestion(size_t count) {
    return count == 1 ? std::wstring(L"Do you want to remove the selected task?")
                      : L"Do you want to remove the " + std::to_wstring(count) + L" selected tasks?";
}

std::wstring UntrustedProfileQuestion(const std::wstring& folder) {
    return L"The folder " + folder +
           L" or the Profile.txt in it can be changed by users other than SYSTEM, the Administrators and you, "
           L"so its tasks may not be yours. Marlowick shows them but runs none of them until you confirm "
           L"them.\n\nRun these tasks?";
}

CMarlowickDlg::CMarlowickDlg()
    : fw::CDialog(IDD_MARLOWICK_DIALOG),
      m_service(std::make_unique<control::ProgramRunner>(),
                [this](const core::ServiceEvent& event) {
                    m_runResults.Notice(event);
                    fw::IgnoreResult(m_events.Post([this, event] { OnServiceEvent(event); }));
                }),
      m_taskList(m_service.Tasks()),
      m_warnings([this](const core::StopWarning& warning, core::WarningAnswer answer) {
          // Read at each answer: a change on the Options page counts from the next one.
          fw::IgnoreResult(m_service.AnswerWarning(warning.id, warning.due, answer, control::PostponeMinutes()));
      }),
      m_banner(IDB_BANNER) {}

CMarlowickDlg::~CMarlowickDlg() {
    // The service's threads end before the road they post to goes.
    m_service.Shutdown();
}

const fw::MessageMap* CMarlowickDlg::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnMessage<&CMarlowickDlg::OnSysCommand>(WM_SYSCOMMAND),
        fw::OnMessage<&CMarlowickDlg::OnPaint>(WM_PAINT),
        fw::OnMessage<&CMarlowickDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::OnMessage<&CMarlowickDlg::OnSize>(WM_SIZE),
        fw::OnMessage<&CMarlowickDlg::OnExitSizeMove>(WM_EXITSIZEMOVE),
        fw::OnMessage<&CMarlowickDlg::OnGetMinMaxInfo>(WM_GETMINMAXINFO),
        fw::OnMessage<&CMarlowickDlg::OnDpiChanged>(WM_DPICHANGED),
        fw::OnNotify<&CMarlowickDlg::OnKeyDownTaskList>(IDC_TASK_LIST, LVN_KEYDOWN),
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
        fw::OnMessage<&CMarlowickDlg::OnAfterShow>(kAfterShowMessage),
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
    m_dpi = fw::DpiOf(m_hWnd);
    LoadIcons();
    m_taskList.SetupTaskColumns(m_dpi);
    SetUpLayout();

    m_trayIcon.Add(m_hWnd);
    // The notification area shows small icons: take the small image of the application icon.
    m_trayIcon.SetIconResource(Instance(), IDI_MARLOWICK, m_dpi);

    m_events.Attach(m_hWnd, kServiceEventsMessage);
    fw::IgnoreResult(::SetTimer(m_hWnd, static_cast<UINT_PTR>(WindowTimer::Events), kEventsTimerPeriodMs, nullptr));
    m_service.Load();
    fw::IgnoreResult(::PostMessageW(m_hWnd, kAfterShowMessage, 0, 0));
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
    RestoreStoredLayout();
    return true;
}

void CMarlowickDlg::SetUpLayout() {
    LeaveDpiChangesToTheWindow(m_hWnd);
    m_templateSize = TemplateSize(Instance(), m_nIDTemplate);
    RECT units{0, 0, 4, 8};
    ::MapDialogRect(m_hWnd, &units);
    m_baseUnits = {units.right, units.bottom};
    const RECT client = GetClientRect();
    const RECT list = ChildRect(m_taskList);
    m_listMargin = {client.right - list.right, client.bottom - list.bottom};

    // The status bar shows string 102: the rights notice pushed to the right by its leading blanks.
    m_statusBar.Create(m_hWnd);
    static constexpr UINT kIndicators[] = {IDC_STATUS_PANE_PADDED, IDC_STATUS_PANE};
    m_statusBar.SetIndicators(kIndicators, static_cast<int>(std::size(kIndicators)));
    LayOut();
}

void CMarlowickDlg::RestoreStoredLayout() {
    // The loaded rows are on show now: the columns fit them, unless the user gave a column its own width.
    m_taskList.FitColumns(false);
    m_taskList.SetUserWidths(ReadColumnWidths(CListCtrlEx::kColumnCount));
    m_taskList.SetUserWidthListener([this] { LayoutChangedByUser(); });

    const StoredWindow stored = ReadStoredWindow();
    if (stored.position || stored.designSize) {
        RECT window = GetWindowRect();
        const SIZE minimum = MinimumWindowSize();
        const SIZE size = stored.designSize
                              ? SIZE{std::max<LONG>(fw::ScaleToDpi(stored.designSize->cx, m_dpi), minimum.cx),
                                     std::max<LONG>(fw::ScaleToDpi(stored.designSize->cy, m_dpi), minimum.cy)}
                              : SIZE{window.right - window.left, window.bottom - window.top};
        const POINT at = stored.position.value_or(POINT{window.left, window.top});
        window = KeepOnWorkArea({at.x, at.y, at.x + size.cx, at.y + size.cy});
        ::SetWindowPos(m_hWnd, nullptr, window.left, window.top, window.right - window.left, window.bottom - window.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_userLayout = true;
}

SIZE CMarlowickDlg::MinimumWindowSize() const {
    return fw::WindowSizeForClient(m_hWnd, DialogUnitsToPixels(m_templateSize, m_baseUnits), m_dpi);
}

void CMarlowickDlg::LayOut() {
    const RECT client = GetClientRect();
    if (m_taskList.GetSafeHwnd()) {
        RECT list = ChildRect(m_taskList);
        list.right = std::max(list.left, client.right - m_listMargin.cx);
        list.bottom = std::max(list.top, client.bottom - m_listMargin.cy);
        MoveChild(m_taskList, list);
    }
    if (m_statusBar.GetSafeHwnd()) {
        // The bar sizes itself from its font and this least height of its text area, which excludes its borders.
        const int height = fw::ScaleToDpi(kStatusBarHeight, m_dpi);
        m_statusBar.SendMessage(SB_SETMINHEIGHT, static_cast<WPARAM>(height - 2 * ::GetSystemMetrics(SM_CYBORDER)));
        m_statusBar.MoveWindow(0, client.bottom - height, client.right, height);
        m_statusBar.SetPaneInfo(0, IDC_STATUS_PANE_PADDED, 0, client.right);
    }
}

void CMarlowickDlg::OnSize(WPARAM type, LPARAM) {
    if (type == SIZE_MINIMIZED) {
        return;
    }
    LayOut();
    if (m_userLayout && type == SIZE_RESTORED) {
        LayoutChangedByUser();
    }
}

void CMarlowickDlg::OnExitSizeMove() {
    // A move alone changes no size: the place the user dragged the window to is kept all the same.
    LayoutChangedByUser();
}

void CMarlowickDlg::OnGetMinMaxInfo(WPARAM, LPARAM info) {
    // Before the dialog is set up the template's own size holds.
    if (m_templateSize.cx > 0 && m_baseUnits.cx > 0) {
        const SIZE minimum = MinimumWindowSize();
        auto* limits = reinterpret_cast<MINMAXINFO*>(info);
        limits->ptMinTrackSize = {minimum.cx, minimum.cy};
    }
}

LRESULT CMarlowickDlg::OnDpiChanged(WPARAM dpis, LPARAM suggested) {
    const UINT dpi = LOWORD(dpis);
    const auto* target = reinterpret_cast<const RECT*>(suggested);
    const bool userLayout = std::exchange(m_userLayout, false);
    if (dpi != 0 && dpi != m_dpi) {
        const UINT previous = std::exchange(m_dpi, dpi);
        RescaleChildren(previous);
        m_listMargin = fw::Rescale(m_listMargin, dpi, previous);
        const SIZE measured = m_font ? DialogBaseUnits(m_font.Get()) : SIZE{};
        m_baseUnits = measured.cx > 0 ? measured : fw::Rescale(m_baseUnits, dpi, previous);
        m_taskList.SetDpi(dpi);
        LoadIcons();
        m_trayIcon.SetIconResource(Instance(), IDI_MARLOWICK, m_dpi);
    }
    if (target) {
        ::SetWindowPos(m_hWnd, nullptr, target->left, target->top, target->right - target->left,
                       target->bottom - target->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayOut();
    m_userLayout = userLayout;
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

void CMarlowickDlg::RescaleChildren(UINT previous) {
    const auto current = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    UniqueFont font = MakeDialogFont(m_font ? m_font.Get() : current, m_dpi);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        MoveChild(child, ScaleRect(ChildRect(child), m_dpi, previous));
        if (font) {
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
        }
    }
    // No control uses the previous font any more: it can go. The dialog keeps its own, which it frees itself.
    if (font) {
        m_font = std::move(font);
    }
}

void CMarlowickDlg::LoadIcons() {
    fw::UniqueIcon big(fw::LoadIconForDpi(Instance(), IDI_MARLOWICK, SM_CXICON, SM_CYICON, m_dpi));
    fw::UniqueIcon small(fw::LoadIconForDpi(Instance(), IDI_MARLOWICK, SM_CXSMICON, SM_CYSMICON, m_dpi));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Get()));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
    // The window shows the new icons now: the previous ones can go.
    m_bigIcon = std::move(big);
    m_smallIcon = std::move(small);
}

void CMarlowickDlg::LayoutChangedByUser() {
    m_layoutSavePending = true;
    fw::IgnoreResult(::SetTimer(m_hWnd, static_cast<UINT_PTR>(WindowTimer::SaveLayout), kSaveLayoutDelayMs, nullptr));
}

void CMarlowickDlg::SaveLayoutIfChanged() {
    fw::IgnoreResult(::KillTimer(m_hWnd, static_cast<UINT_PTR>(WindowTimer::SaveLayout)));
    if (!std::exchange(m_layoutSavePending, false)) {
        return;
    }
    // Minimised or maximised, the window's own rectangle is not the one to come back to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    RECT window = GetWindowRect();
    if ((::IsIconic(m_hWnd) || ::IsZoomed(m_hWnd)) && ::GetWindowPlacement(m_hWnd, &placement)) {
        window = placement.rcNormalPosition;
    }
    WriteStoredWindow(window, m_dpi);
    WriteColumnWidths(m_taskList.UserWidths());
}

LRESULT CMarlowickDlg::OnKeyDownTaskList(NMLVKEYDOWN* key) {
    if (key->wVKey == VK_DELETE) {
        RemoveSelectedTasks();
    } else if (key->wVKey == VK_RETURN) {
        OnModifyTask();
    }
    return 0;
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
            // After start-up, a column that fits its contents only widens: it does not jump about as rows come and go.
            if (m_userLayout) {
                m_taskList.FitColumns(true);
            }
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
    SaveLayoutIfChanged();
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

LRESULT CMarlowickDlg::OnAfterShow(WPARAM, LPARAM) {
    // From now on marlowick.com's commands come here; until now they waited for the pipe, as Marlowick held the
    // profile. A pipe that cannot be made leaves the window as it is.
    m_commandServer = std::make_unique<cli::CommandServer>(
        [this](const std::vector<std::wstring>& words) { return OnPipeCommand(words); });
    fw::IgnoreResult(m_commandServer->Start());
    return 0;
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
    if (id == static_cast<UINT_PTR>(WindowTimer::SaveLayout)) {
        SaveLayoutIfChanged();
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

void CMarlowickDlg::RemoveSelectedTasks() {
    const std::vector<core::TaskId> ids = m_taskList.GetSelectedIds();
    // A key is pressed by mistake more easily than a button: Del asks first.
    if (ids.empty() || fw::ShowMessageBox(m_hWnd, RemoveTasksQuestion(ids.size()), fw::kAppName,
                                          MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    for (const core::TaskId id : ids) {
        fw::IgnoreResult(m_service.Remove(id));
    }
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
        SaveLayoutIfChanged();
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
        const int x = (client.right - fw::SystemMetricForDpi(SM_CXICON, m_dpi) + 1) / 2;
        const int y = (client.bottom - fw::SystemMetricForDpi(SM_CYICON, m_dpi) + 1) / 2;
        ::DrawIcon(dc.Get(), x, y, m_bigIcon.Get());
        return;
    }
    m_banner.Draw(dc.Get(), fw::ScaleToDpi(kBannerOrigin.x, m_dpi), fw::ScaleToDpi(kBannerOrigin.y, m_dpi), m_dpi);
    Default();
}

HICON CMarlowickDlg::OnQueryDragIcon() {
    return m_bigIcon.Get();
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
