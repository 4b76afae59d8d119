// The main window, the exit confirmation and the About box in this process, on a thread of their own: what
// initialisation sets up, the program text of a Start task, and the taskbar button through a taskbar list
// object that this test registers in place of the shell's.
#include "app/AboutDlg.h"
#include "app/ExitConfirmDialog.h"
#include "app/HistoryDlg.h"
#include "app/TrayIcon.h"
#include "app/MarlowickApp.h"
#include "app/MarlowickDlg.h"
#include "core/History.h"
#include "core/Profile.h"
#include "core/ProfileSecurity.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"
#include "core/UserSettings.h"
#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "helpers/DialogThread.h"
#include "helpers/FileSecurity.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"
#include "ui/ActionConfigDialog.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::DialogThread;
using testing_support::HelperProcess;

constexpr DWORD kWait = 10000;

// What the program asked of the taskbar list, in order.
struct TaskbarCall {
    std::wstring name;
    HWND window;
    bool operator==(const TaskbarCall&) const = default;
};

class TaskbarRecord {
public:
    void Add(std::wstring name, HWND window) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({std::move(name), window});
    }
    std::vector<TaskbarCall> Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_calls, {});
    }

private:
    std::mutex m_mutex;
    std::vector<TaskbarCall> m_calls;
};

TaskbarRecord g_taskbar;

// A taskbar list that only records; it lives as long as its last reference.
class RecordingTaskbarList final : public ITaskbarList {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_ITaskbarList) {
            *object = static_cast<ITaskbarList*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) {
            delete this;
        }
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE HrInit() override {
        g_taskbar.Add(L"HrInit", nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddTab(HWND window) override {
        g_taskbar.Add(L"AddTab", window);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND window) override {
        g_taskbar.Add(L"DeleteTab", window);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }

private:
    LONG m_refs = 1;
};

// The class object registered for the taskbar list's class on the window's thread; it can refuse to make one.
class TaskbarListFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        if (m_refuse) {
            return E_OUTOFMEMORY;
        }
        auto* list = new RecordingTaskbarList;
        const HRESULT result = list->QueryInterface(iid, object);
        list->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    std::atomic<bool> m_refuse{false};
};

TaskbarListFactory g_factory;

// Records every message box and answers it.
class MessageBoxRecord {
public:
    explicit MessageBoxRecord(int answer = IDOK) {
        m_previous = fw::SetMessageBoxHook([this, answer](const fw::MessageBoxRequest& request) {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(request.text);
            return answer;
        });
    }
    ~MessageBoxRecord() { fw::SetMessageBoxHook(std::move(m_previous)); }
    std::vector<std::wstring> Texts() {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

private:
    fw::MessageBoxHook m_previous;
    std::mutex m_mutex;
    std::vector<std::wstring> m_texts;
};

std::wstring ResourceString(UINT id) {
    return fw::LoadResourceString(id);
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[512]{};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

int IconWidth(LRESULT icon) {
    ICONINFO info{};
    if (!::GetIconInfo(reinterpret_cast<HICON>(icon), &info)) {
        return 0;
    }
    const fw::UniqueBitmap mask(info.hbmMask);
    const fw::UniqueBitmap color(info.hbmColor);
    BITMAP bitmap{};
    ::GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    return bitmap.bmWidth;
}

// The width of a text in the list's font, and of a column.
int StringWidth(HWND list, const std::wstring& text) {
    return static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}
int ColumnWidth(HWND list, int column) {
    return static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

// The main window on its own thread, with the recording taskbar list in place of the shell's.
class MainWindow {
public:
    MainWindow()
        : m_thread([this] {
              fw::IgnoreResult(::CoInitialize(nullptr));
              DWORD cookie = 0;
              fw::IgnoreResult(::CoRegisterClassObject(CLSID_TaskbarList, &g_factory, CLSCTX_INPROC_SERVER,
                                                       REGCLS_MULTIPLEUSE, &cookie));
              const INT_PTR result = m_dialog.DoModal();
              fw::IgnoreResult(::CoRevokeClassObject(cookie));
              ::CoUninitialize();
              return result;
          }) {
        m_hwnd = m_thread.WaitForWindow(kWait);
    }
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow() {
        // Leaves through the close handler, answering its question with Exit when there is one.
        if (m_hwnd && ::IsWindow(m_hwnd)) {
            ::PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
            testing_support::WaitUntil(
                [&] {
                    if (HWND confirm = ::FindWindowW(nullptr, L"Please Confirm")) {
                        ::PostMessageW(confirm, WM_COMMAND, IDC_CONFIRM_EXIT, 0);
                    }
                    return m_thread.Done();
                },
                kWait);
        }
    }

    HWND Hwnd() const { return m_hwnd; }
    const app::CMarlowickDlg& Dialog() const { return m_dialog; }
    app::CMarlowickDlg& Dialog() { return m_dialog; }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hwnd, message, wParam, lParam);
    }

private:
    app::CMarlowickDlg m_dialog;
    HWND m_hwnd = nullptr;
    DialogThread m_thread;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_factory.m_refuse = false;
        g_taskbar.Take();
        ::DeleteFileW(core::GetProfilePath().c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
    }
    void TearDown() override {
        ::DeleteFileW(core::GetProfilePath().c_str());
        // Every window starts at the template's size.
        ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
    }
};

TEST_F(MainWindowTest, InitialisationSetsUpMenuIconsColumnsStatusBarTrayIconAndTasks) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\first.exe", L"Start", L"7:30:00 AM");
    tasks.AppendTask(L"Some window", L"Stop", L"11:00:05 PM");
    core::SaveTasks(tasks);

    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    EXPECT_EQ(WindowText(main.Hwnd()), L"Marlowick");
    EXPECT_TRUE(::GetWindowLongPtrW(main.Hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // The system menu ends with a separator and the About item, command 16.
    HMENU system = ::GetSystemMenu(main.Hwnd(), FALSE);
    ASSERT_TRUE(system);
    const int items = ::GetMenuItemCount(system);
    ASSERT_GE(items, 2);
    EXPECT_EQ(::GetMenuItemID(system, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
    wchar_t about[64]{};
    ::GetMenuStringW(system, items - 1, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About Marlowick...");
    EXPECT_TRUE(::GetMenuState(system, static_cast<UINT>(items - 2), MF_BYPOSITION) & MF_SEPARATOR);

    // The application icon, big and small, at the sizes of the window's DPI.
    const LRESULT big = main.Send(WM_GETICON, ICON_BIG);
    EXPECT_EQ(IconWidth(big), fw::SystemMetricForDpi(SM_CXICON, main.Dialog().Dpi()));
    EXPECT_EQ(IconWidth(main.Send(WM_GETICON, ICON_SMALL)), fw::SystemMetricForDpi(SM_CXSMICON, main.Dialog().Dpi()));
    EXPECT_EQ(main.Send(WM_QUERYDRAGICON), big);

    // The task list: the three columns of the task's texts, then its days and last run (and more), each as wide as
    // its heading and the rows need, its extended styles, and the rows of the file.
    HWND list = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    const wchar_t* const headings[] = {L"Program ", L"Action", L"Time", L"Days", L"Last run", L"Repeat", L"Next run"};
    for (int i = 0; i < 7; ++i) {
        wchar_t heading[32]{};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = heading;
        column.cchTextMax = 32;
        ASSERT_TRUE(::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(heading, headings[i]);
        EXPECT_GE(column.cx, StringWidth(list, heading) + 12) << i;
    }
    // "11:00:05 PM" and "Every day" are not cut.
    for (int row = 0; row < 2; ++row) {
        for (const auto column : {app::CListCtrlEx::Column::Program, app::CListCtrlEx::Column::Time,
                                  app::CListCtrlEx::Column::Days, app::CListCtrlEx::Column::NextRun}) {
            const std::wstring text = main.Dialog().TaskList().CellText(row, column);
            EXPECT_GE(ColumnWidth(list, static_cast<int>(column)), StringWidth(list, text) + 12) << text;
        }
    }
    const auto extended = static_cast<DWORD>(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT),
              static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT));
    const app::CListCtrlEx& rows = main.Dialog().TaskList();
    ASSERT_EQ(rows.GetTaskCount(), 2);
    EXPECT_EQ(rows.GetTaskText(1, core::TaskColumn::Program), L"Some window");
    EXPECT_EQ(rows.GetTaskText(1, core::TaskColumn::Action), L"Stop");
    EXPECT_EQ(rows.GetTaskText(0, core::TaskColumn::Time), L"7:30:00 AM");

    // The status bar: the padded notice in a pane as wide as the window, at the bottom.
    HWND bar = ::GetDlgItem(main.Hwnd(), fw::kIdStatusBar);
    ASSERT_TRUE(bar);
    RECT client{};
    ::GetClientRect(main.Hwnd(), &client);
    int edges[4]{};
    ASSERT_EQ(::SendMessageW(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], client.right);
    wchar_t pane[256]{};
    ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(pane));
    EXPECT_EQ(pane, ResourceString(IDS_RIGHTS_PADDED));
    EXPECT_EQ(ResourceString(IDS_RIGHTS_PADDED), std::wstring(53, L' ') + ResourceString(IDS_RIGHTS));
    RECT barRect{};
    ::GetWindowRect(bar, &barRect);
    ::MapWindowPoints(nullptr, main.Hwnd(), reinterpret_cast<POINT*>(&barRect), 2);
    EXPECT_EQ(barRect.bottom, client.bottom);
    EXPECT_EQ(barRect.right - barRect.left, client.right);

    // The tray icon record.
    const app::CTrayIcon& tray = main.Dialog().TrayIcon();
    EXPECT_EQ(tray.Window(), main.Hwnd());
    EXPECT_EQ(tray.Id(), 1u);
    EXPECT_TRUE(tray.Icon());
    // The tip names the next task after the program's own line.
    EXPECT_EQ(tray.Tip().rfind(L"Click Here to Show Marlowick\nNext: ", 0), 0u) << tray.Tip();
    EXPECT_TRUE(tray.Tip().find(L"first.exe at ") != std::wstring::npos ||
                tray.Tip().find(L"Some window at ") != std::wstring::npos)
        << tray.Tip();
    EXPECT_GE(app::g_trayMessage, 0xC000u);
}

TEST_F(MainWindowTest, TasksAreLoadedAfterEverythingElseIsSetUp) {
    // A folder where the file should be: loading reports it, and the report shows what is ready by then.
    const std::wstring profile = core::GetProfilePath();
    ASSERT_TRUE(::CreateDirectoryW(profile.c_str(), nullptr));
    struct Seen {
        bool window = false, aboutItem = false, icon = false, columns = false, statusBar = false;
    };
    std::mutex mutex;
    std::vector<std::wstring> texts;
    Seen seen;
    const fw::MessageBoxHook previous = fw::SetMessageBoxHook([&](const fw::MessageBoxRequest& request) {
        std::lock_guard lock(mutex);
        texts.push_back(request.text);
        if (texts.size() == 1) {
            HWND hwnd = ::FindWindowW(L"#32770", L"Marlowick");
            seen.window = hwnd && !::IsWindowVisible(hwnd);
            HMENU system = ::GetSystemMenu(hwnd, FALSE);
            seen.aboutItem = system && ::GetMenuItemID(system, ::GetMenuItemCount(system) - 1) == IDM_ABOUTBOX;
            seen.icon = ::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0) != 0;
            HWND header =
                reinterpret_cast<HWND>(::SendMessageW(::GetDlgItem(hwnd, IDC_TASK_LIST), LVM_GETHEADER, 0, 0));
            seen.columns = ::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 7;
            seen.statusBar = ::GetDlgItem(hwnd, fw::kIdStatusBar) != nullptr;
        }
        return IDOK;
    });
    {
        MainWindow main;
        ASSERT_TRUE(main.Hwnd());
        EXPECT_EQ(main.Dialog().TaskList().GetTaskCount(), 0);
        EXPECT_EQ(main.Dialog().TrayIcon().Window(), main.Hwnd());
    }
    fw::SetMessageBoxHook(previous);
    ::RemoveDirectoryW(profile.c_str());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], L"Can not open file " + profile + L" for read\n");
    EXPECT_TRUE(seen.window);
    EXPECT_TRUE(seen.aboutItem);
    EXPECT_TRUE(seen.icon);
    EXPECT_TRUE(seen.columns);
    EXPECT_TRUE(seen.statusBar);
}

TEST_F(MainWindowTest, MinimiseRemovesTheTaskbarButtonAndShowingFromTheTrayBringsItBack) {
    MessageBoxRecord boxes;
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const HWND hwnd = main.Hwnd();

    main.Send(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(::IsIconic(hwnd));
    EXPECT_EQ(g_taskbar.Take(), (std::vector<TaskbarCall>{{L"HrInit", nullptr}, {L"DeleteTab", hwnd}}));

    // The tray double-click shows the window again, with its button.
    main.Send(app::g_trayMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(::IsIconic(hwnd));
    EXPECT_EQ(g_taskbar.Take(), (std::vector<TaskbarCall>{{L"HrInit", nullptr}, {L"AddTab", hwnd}}));

    // Hide and the tray menu's Show do the same.
    main.Send(WM_COMMAND, IDC_HIDE);
    EXPECT_TRUE(::IsIconic(hwnd));
    main.Send(WM_COMMAND, IDM_TRAY_SHOW);
    EXPECT_FALSE(::IsIconic(hwnd));
    EXPECT_EQ(g_taskbar.Take(),
              (std::vector<TaskbarCall>{
                  {L"HrInit", nullptr}, {L"DeleteTab", hwnd}, {L"HrInit", nullptr}, {L"AddTab", hwnd}}));

    // Without a taskbar list the minimise says so and the window stays minimised.
    g_factory.m_refuse = true;
    main.Send(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(::IsIconic(hwnd));
    EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{L"Failed   to get ITaskbarList   interface. "}));
    g_factory.m_refuse = false;
}

TEST_F(MainWindowTest, DoubleClickOnTheListModifiesTheFirstSelectedRow) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\first.exe", L"Start", L"7:30:00 AM");
    tasks.AppendTask(L"C:\\second.exe", L"Stop", L"8:00:00 PM");
    tasks.AppendTask(L"C:\\third.exe", L"Start", L"9:15:00 PM");
    core::SaveTasks(tasks);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    HWND list = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    static NMHDR doubleClick{};
    doubleClick = {list, IDC_TASK_LIST, static_cast<UINT>(NM_DBLCLK)};

    // No row selected: nothing opens.
    EXPECT_EQ(main.Send(WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&doubleClick)), 0);
    EXPECT_FALSE(::FindWindowW(L"#32770", L"Task Option"));

    // Two rows selected: the dialog edits the upper one; Cancel leaves every row as it was.
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    ::SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));
    ::PostMessageW(main.Hwnd(), WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&doubleClick));
    HWND option = testing_support::WaitForReadyWindow(L"Task Option", kWait, L"#32770");
    ASSERT_TRUE(option);
    EXPECT_EQ(WindowText(::GetDlgItem(option, IDC_PROGRAM_EDIT)), L"C:\\second.exe");
    ::PostMessageW(option, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !::IsWindow(option); }, kWait));
    const app::CListCtrlEx& rows = main.Dialog().TaskList();
    ASSERT_EQ(rows.GetTaskCount(), 3);
    EXPECT_EQ(rows.GetTaskText(1, core::TaskColumn::Program), L"C:\\second.exe");
    EXPECT_EQ(rows.GetTaskText(1, core::TaskColumn::Time), L"8:00:00 PM");
}

// The programs of the profile's tasks, in order.
std::vector<std::wstring> StoredPrograms() {
    core::MemoryTaskList tasks;
    core::LoadTasks(tasks);
    std::vector<std::wstring> programs;
    for (const core::Task& task : tasks.AllTasks()) {
        programs.push_back(task.program);
    }
    return programs;
}

// Opens the Task Option dialog on the row, as a double-click does, and waits until it is ready.
HWND OpenModify(const MainWindow& main, int row) {
    HWND list = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&select));
    static NMHDR doubleClick{};
    doubleClick = {list, IDC_TASK_LIST, static_cast<UINT>(NM_DBLCLK)};
    ::PostMessageW(main.Hwnd(), WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&doubleClick));
    return testing_support::WaitForReadyWindow(L"Task Option", kWait, L"#32770");
}

// OK in the dialog, and the test run declined; returns once the dialog has gone.
bool PressOk(HWND option) {
    ::PostMessageW(option, WM_COMMAND, IDOK, 0);
    return testing_support::WaitUntil([&] { return !::IsWindow(option); }, kWait);
}

// A run while the task's dialog is open is kept after OK, in memory and in the file: the dialog changes only what
// the user changed.
TEST_F(MainWindowTest, ARunWhileModifyIsOpenKeepsItsLastRunAfterOk) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\no\\such\\program.exe", L"Start", L"3:00:00 AM");
    core::SaveTasks(tasks);
    MessageBoxRecord boxes(IDNO);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    HWND option = OpenModify(main, 0);
    ASSERT_TRUE(option);
    const core::TaskId id = main.Dialog().TaskList().GetTaskId(0);
    ASSERT_TRUE(main.Dialog().Service().RunNow(id));
    const std::optional<core::UtcSeconds> ran = main.Dialog().Service().Tasks().Find(id)->task.lastRun;
    ASSERT_TRUE(ran);
    ASSERT_TRUE(PressOk(option));
    // The test run is offered once the change is written.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !boxes.Texts().empty(); }, kWait));
    EXPECT_EQ(main.Dialog().Service().Tasks().Find(id)->task.lastRun, ran);
    EXPECT_EQ(core::ParseUtc(core::GetSetting(L"Task0", L"LastRun")), ran);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{app::kTestRunQuestion});
}

// A profile locked at start-up is read while the dialog of a task added meanwhile is open: its tasks come in front,
// and OK changes the task the dialog showed, not the row it had when the dialog opened.
TEST_F(MainWindowTest, TasksReadWhileModifyIsOpenAreNotOverwrittenByItsOk) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\first.exe", L"Start", L"1:00:00 AM");
    tasks.AppendTask(L"C:\\second.exe", L"Stop", L"2:00:00 AM");
    core::SaveTasks(tasks);
    fw::UniqueFile lock(
        ::CreateFileW(core::GetProfilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    MessageBoxRecord boxes(IDNO);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    fw::IgnoreResult(main.Dialog().Service().Add({L"C:\\added.exe", L"Start", L"3:00:00 AM"}));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return main.Dialog().TaskList().GetTaskCount() == 1; }, kWait));
    HWND option = OpenModify(main, 0);
    ASSERT_TRUE(option);
    EXPECT_EQ(WindowText(::GetDlgItem(option, IDC_PROGRAM_EDIT)), L"C:\\added.exe");

    lock.Reset();
    main.Dialog().Service().SessionEnding();
    ASSERT_EQ(StoredPrograms(), (std::vector<std::wstring>{L"C:\\first.exe", L"C:\\second.exe", L"C:\\added.exe"}));
    ASSERT_TRUE(PressOk(option));
    EXPECT_EQ(StoredPrograms(), (std::vector<std::wstring>{L"C:\\first.exe", L"C:\\second.exe", L"C:\\added.exe"}));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return main.Dialog().TaskList().GetTaskCount() == 3; }, kWait));
    EXPECT_EQ(main.Dialog().TaskList().GetTaskText(0, core::TaskColumn::Program), L"C:\\first.exe");
}

TEST(StartTaskProgram, AWindowTitleBecomesTheImagePathOfItsProcessOnlyForStart) {
    const std::wstring title = L"Marlowick start rule " + std::to_wstring(::GetCurrentProcessId());
    HelperProcess helper({L"--title", title, L"--lifetime", L"20000"});
    ASSERT_TRUE(testing_support::WaitForWindow(title));
    const std::wstring path = testing_support::HelperPath();

    EXPECT_EQ(::lstrcmpiW(ui::ResolveTaskProgram(title, L"Start").c_str(), path.c_str()), 0);
    // Stop, or any action that is not Start, keeps the title.
    EXPECT_EQ(ui::ResolveTaskProgram(title, L"Stop"), title);
    EXPECT_EQ(ui::ResolveTaskProgram(title, L"Pause"), title);
    // An existing file stays as it is, and so does a text that names no window: a file on a drive that is
    // not plugged in right now keeps its path.
    EXPECT_EQ(ui::ResolveTaskProgram(path, L"Start"), path);
    EXPECT_EQ(ui::ResolveTaskProgram(title + L" gone", L"Start"), title + L" gone");
    const std::wstring unplugged = L"Q:\\Unplugged drive\\backup.exe";
    EXPECT_EQ(ui::ResolveTaskProgram(unplugged, L"Start"), unplugged);
}

// Runs the confirmation, does something to it, and returns its result.
template <typename Action>
app::ExitAnswer AnswerConfirmation(Action action) {
    DialogThread thread([] {
        app::CExitConfirmDialog dialog;
        return static_cast<INT_PTR>(dialog.Ask());
    });
    HWND hwnd = thread.WaitForWindow(kWait);
    if (!hwnd) {
        ADD_FAILURE() << "no confirmation";
        return app::ExitAnswer::Exit;
    }
    EXPECT_EQ(WindowText(hwnd), L"Please Confirm");
    action(hwnd);
    return static_cast<app::ExitAnswer>(thread.Join());
}

TEST(ExitConfirmDialog, EveryWayOutButExitMeansHide) {
    EXPECT_EQ(AnswerConfirmation([](HWND h) { ::PostMessageW(h, WM_COMMAND, IDC_CONFIRM_EXIT, 0); }),
              app::ExitAnswer::Exit);
    EXPECT_EQ(AnswerConfirmation([](HWND h) { ::PostMessageW(h, WM_COMMAND, IDC_CONFIRM_HIDE, 0); }),
              app::ExitAnswer::Hide);
    EXPECT_EQ(AnswerConfirmation([](HWND h) { ::PostMessageW(h, WM_COMMAND, IDOK, 0); }), app::ExitAnswer::Hide);
    EXPECT_EQ(AnswerConfirmation([](HWND h) { ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0); }), app::ExitAnswer::Hide);
    EXPECT_EQ(AnswerConfirmation([](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); }), app::ExitAnswer::Hide);
    EXPECT_EQ(AnswerConfirmation([](HWND h) {
                  wchar_t text[128]{};
                  ::EnumChildWindows(
                      h,
                      [](HWND child, LPARAM lParam) -> BOOL {
                          wchar_t name[16]{};
                          ::GetClassNameW(child, name, 16);
                          if (::lstrcmpiW(name, L"Static") == 0) {
                              ::GetWindowTextW(child, reinterpret_cast<wchar_t*>(lParam), 128);
                          }
                          return TRUE;
                      },
                      reinterpret_cast<LPARAM>(text));
                  EXPECT_STREQ(text, L"Do you want to exit and stop all scheduled task?Click \"Hide\" if you not sure");
                  ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
              }),
              app::ExitAnswer::Hide);
}

TEST(AboutBox, ShowsTheRightsNotice) {
    DialogThread thread([] {
        app::CAboutDlg dialog;
        return dialog.DoModal();
    });
    HWND hwnd = thread.WaitForWindow(kWait);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(WindowText(hwnd), L"About Marlowick");
    EXPECT_EQ(WindowText(::GetDlgItem(hwnd, IDC_ABOUT_RIGHTS)), ResourceString(IDS_RIGHTS));
    EXPECT_FALSE(ResourceString(IDS_RIGHTS).empty());
    ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(thread.Join(), IDOK);
}

TEST_F(MainWindowTest, AProfileLockedAtStartIsReadByTheNextWriteAndNeverWrittenOverMeanwhile) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\locked.exe", L"Start", L"7:30:00 AM");
    core::SaveTasks(tasks);
    const std::wstring path = core::GetProfilePath();
    const std::string before = testing_support::ReadFileBytes(path);
    fw::UniqueFile lock(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    MessageBoxRecord boxes;
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Can not open file " + path + L" for read\n"});
    EXPECT_EQ(main.Dialog().TaskList().GetTaskCount(), 0);
    EXPECT_FALSE(main.Dialog().Service().ProfileRead());

    // The session ends while the file is still held: nothing is written.
    main.Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(main.Dialog().TaskList().GetTaskCount(), 0);
    lock.Reset();
    EXPECT_EQ(testing_support::ReadFileBytes(path), before);

    // The next write reads the file first: its task comes into the list, which shows it.
    main.Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(main.Dialog().Service().ProfileRead());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return main.Dialog().TaskList().GetTaskCount() == 1; }, kWait));
    EXPECT_EQ(main.Dialog().TaskList().GetTaskText(0, core::TaskColumn::Program), L"C:\\locked.exe");
    EXPECT_EQ(boxes.Texts().size(), 1u);
}

TEST(TrayTip, NamesTheNextTaskByItsFileNameAndCutsALongNameToFit) {
    EXPECT_EQ(app::NextTaskTip(L"C:\\Tools\\backup.exe", L"2:00:00 AM"),
              L"Click Here to Show Marlowick\nNext: backup.exe at 2:00:00 AM");
    EXPECT_EQ(app::NextTaskTip(L"Untitled - Notepad", L"Sat 11:00:00 PM"),
              L"Click Here to Show Marlowick\nNext: Untitled - Notepad at Sat 11:00:00 PM");
    const std::wstring tip = app::NextTaskTip(L"C:\\" + std::wstring(300, L'x') + L".exe", L"7:00:00 AM");
    EXPECT_EQ(tip.size(), 127u);
    EXPECT_EQ(tip.substr(tip.size() - 15), L"\u2026 at 7:00:00 AM");
}

TEST_F(MainWindowTest, TheListsCommandsRunATaskNowAndDisableItAndItsCellsShowDaysAndLastRun) {
    const std::wstring record = testing_support::TempFilePath(L"marlowick-run-now");
    core::MemoryTaskList tasks;
    core::Task helper{testing_support::HelperPath(), L"Start", L"3:00:00 AM"};
    helper.arguments = L"--record \"" + record + L"\" --lifetime 3000";
    tasks.AppendTask(helper);
    core::Task weekend{L"Some window", L"Stop", L"11:00:05 PM"};
    weekend.days = L"sat,sun";
    tasks.AppendTask(weekend);
    core::SaveTasks(tasks);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const app::CListCtrlEx& rows = main.Dialog().TaskList();
    using Column = app::CListCtrlEx::Column;
    EXPECT_EQ(rows.CellText(0, Column::Days), L"Every day");
    EXPECT_EQ(rows.CellText(1, Column::Days), L"Sat,Sun");
    EXPECT_EQ(rows.CellText(0, Column::LastRun), L"");

    HWND list = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    main.Send(WM_COMMAND, IDM_RUN_NOW);
    // The program starts with its arguments, and its row tells when and that it started.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !testing_support::ReadLines(record).empty(); }, kWait));
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] {
            const std::wstring cell = rows.CellText(0, Column::LastRun);
            return cell.size() > 9 && cell.ends_with(L", started");
        },
        kWait))
        << rows.CellText(0, Column::LastRun);
    EXPECT_NE(core::GetSetting(L"Task0", L"LastRun"), L"");

    // Disable and enable the second row: the file follows, and a disabled row is drawn grey.
    select.state = 0;
    ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    main.Send(WM_COMMAND, IDM_TOGGLE_ENABLED);
    EXPECT_FALSE(rows.GetTask(1).enabled);
    EXPECT_EQ(core::GetSetting(L"Task1", L"Enabled"), L"FALSE");
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr = {list, IDC_TASK_LIST, static_cast<UINT>(NM_CUSTOMDRAW)};
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = 1;
    EXPECT_EQ(main.Send(WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&draw)), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, ::GetSysColor(COLOR_GRAYTEXT));
    draw.nmcd.dwItemSpec = 0;
    EXPECT_EQ(main.Send(WM_NOTIFY, IDC_TASK_LIST, reinterpret_cast<LPARAM>(&draw)), CDRF_DODEFAULT);
    main.Send(WM_COMMAND, IDM_TOGGLE_ENABLED);
    EXPECT_TRUE(rows.GetTask(1).enabled);
    EXPECT_EQ(core::GetSetting(L"Task1", L"Enabled"), L"");
    ::DeleteFileW(record.c_str());
}

TEST_F(MainWindowTest, TasksOfAProfileThatOthersCanWriteRunOnlyOnceConfirmed) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\planted.exe", L"Start", L"7:30:00 AM");
    core::SaveTasks(tasks);
    const std::wstring folder = core::GetConfigFolder();
    {
        MessageBoxRecord boxes;
        MainWindow main;
        ASSERT_TRUE(main.Hwnd());
        EXPECT_TRUE(boxes.Texts().empty());
        EXPECT_FALSE(main.Dialog().TasksHeld());
    }
    // Everyone may now write the folder.
    ASSERT_TRUE(test_support::SetProtectedDacl(folder, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)"));
    for (const int answer : {IDNO, IDYES}) {
        MessageBoxRecord boxes(answer);
        MainWindow main;
        ASSERT_TRUE(main.Hwnd());
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{app::UntrustedProfileQuestion(folder)});
        EXPECT_NE(boxes.Texts()[0].find(folder), std::wstring::npos);
        // The list is shown either way.
        EXPECT_EQ(main.Dialog().TaskList().GetTaskCount(), 1);
        EXPECT_EQ(main.Dialog().TasksHeld(), answer == IDNO);
    }
    ASSERT_TRUE(test_support::SetProtectedDacl(folder, core::ProtectedFolderSddl()));
}

TEST(SingleInstance, AnInstanceMutexThatCannotBeOpenedMeansAnotherInstanceRuns) {
    const std::wstring name = L"Marlowick instance test " + std::to_wstring(::GetCurrentProcessId());
    fw::UniqueHandle first;
    EXPECT_FALSE(app::AnotherInstanceRuns(name.c_str(), first));
    ASSERT_TRUE(first);
    fw::UniqueHandle second;
    EXPECT_TRUE(app::AnotherInstanceRuns(name.c_str(), second));
    EXPECT_FALSE(second);
    first.Reset();

    // As an elevated first instance's mutex looks to a standard one: it exists, and may not be opened.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x100000;;;SY)", SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    fw::UniqueLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const std::wstring deniedName = name + L" denied";
    fw::UniqueHandle elevated(::CreateMutexW(&attributes, FALSE, deniedName.c_str()));
    ASSERT_TRUE(elevated);
    ::SetLastError(ERROR_SUCCESS);
    fw::UniqueHandle probe(::CreateMutexW(nullptr, FALSE, deniedName.c_str()));
    ASSERT_FALSE(probe) << "this platform lets the mutex be opened: " << ::GetLastError();
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    fw::UniqueHandle refused;
    EXPECT_TRUE(app::AnotherInstanceRuns(deniedName.c_str(), refused));
    EXPECT_FALSE(refused);
}

// The History window and the failure notices, on the history of the configuration folder.
class HistoryWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        RemoveHistory();
    }
    void TearDown() override {
        RemoveHistory();
        fw::IgnoreResult(app::SetBalloonListener({}));
        MainWindowTest::TearDown();
    }
    static void RemoveHistory() {
        ::DeleteFileW((core::GetConfigFolder() + L"\\History.txt").c_str());
        ::DeleteFileW((core::GetConfigFolder() + L"\\History.1.txt").c_str());
    }
    // Writes the lines as the program would have, in one go.
    static void WriteHistory(const std::vector<core::history::Line>& lines) {
        std::string bytes = "\xEF\xBB\xBF";
        for (const core::history::Line& line : lines) {
            bytes += core::history::Format(line);
        }
        ASSERT_TRUE(testing_support::WriteFileBytes(core::GetConfigFolder() + L"\\History.txt", bytes));
    }
    static core::history::Line LineOf(core::TaskId id, int n) {
        wchar_t time[32]{};
        std::swprintf(time, 32, L"2026-03-%02d %02d:%02d:%02d+01:00", 1 + n / 86400 % 28, n / 3600 % 24, n / 60 % 60,
                      n % 60);
        return {time,
                id,
                L"C:\\tool " + std::to_wstring(id) + L".exe",
                L"Start",
                core::history::kStarted,
                L"run " + std::to_wstring(n)};
    }
    static std::wstring ListText(HWND list, int row, int column) {
        wchar_t text[256]{};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 256;
        ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    static int RowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
};

// Ten thousand lines open at once: the list holds every row, newest first, as soon as the window is up.
TEST_F(HistoryWindowTest, TenThousandLinesOpenQuicklyNewestFirst) {
    constexpr int kLines = 10000;
    std::vector<core::history::Line> lines;
    for (int n = 0; n < kLines; ++n) {
        lines.push_back(LineOf(static_cast<core::TaskId>(n % 7 + 1), n));
    }
    WriteHistory(lines);
    const auto start = std::chrono::steady_clock::now();
    DialogThread thread([] {
        app::CHistoryDlg history(nullptr, {}, core::GetConfigFolder());
        return history.DoModal();
    });
    HWND window = nullptr;
    HWND list = nullptr;
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] {
            window = thread.WaitForWindow(0);
            list = window ? ::GetDlgItem(window, IDC_HISTORY_LIST) : nullptr;
            return list && RowCount(list) == kLines && ListText(list, 0, 4) == lines.back().detail;
        },
        30000));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("History window with %d lines: rows shown after %lld ms\n", kLines, static_cast<long long>(ms));
    EXPECT_LT(ms, 10000);
    EXPECT_EQ(ListText(list, 0, 0), lines.back().time);
    EXPECT_EQ(ListText(list, 0, 1), lines.back().program);
    EXPECT_EQ(ListText(list, 0, 2), L"Start");
    EXPECT_EQ(ListText(list, 0, 3), L"started");
    EXPECT_EQ(ListText(list, kLines - 1, 4), lines.front().detail);
    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(thread.Join(), IDCANCEL);
}

// The task list's menu shows the selected tasks' lines, the tray's every line.
TEST_F(HistoryWindowTest, TheTaskMenuShowsTheSelectedTasksAndTheTrayMenuAllTasks) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\first.exe", L"Start", L"7:30:00 AM");
    tasks.AppendTask(L"C:\\second.exe", L"Start", L"8:30:00 AM");
    core::SaveTasks(tasks);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const core::TaskId first = main.Dialog().TaskList().GetTaskId(0);
    const core::TaskId second = main.Dialog().TaskList().GetTaskId(1);
    ASSERT_NE(first, second);
    WriteHistory({LineOf(first, 1), LineOf(second, 2), LineOf(first, 3), LineOf(99, 4)});

    HWND taskList = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(taskList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    const auto shown = [](UINT command, HWND owner) {
        ::PostMessageW(owner, WM_COMMAND, command, 0);
        HWND window = testing_support::WaitForReadyWindow(L"History", kWait, L"#32770");
        std::vector<std::wstring> details;
        if (HWND list = window ? ::GetDlgItem(window, IDC_HISTORY_LIST) : nullptr) {
            for (int row = 0; row < RowCount(list); ++row) {
                details.push_back(ListText(list, row, 4));
            }
            ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
            // Gone before the next one is looked for.
            EXPECT_TRUE(testing_support::WaitUntil([&] { return !::IsWindow(window); }, kWait));
        }
        return details;
    };
    EXPECT_EQ(shown(IDM_TASK_HISTORY, main.Hwnd()), (std::vector<std::wstring>{L"run 3", L"run 1"}));
    EXPECT_EQ(shown(IDM_TRAY_HISTORY, main.Hwnd()),
              (std::vector<std::wstring>{L"run 4", L"run 3", L"run 2", L"run 1"}));
}

// A start that fails shows a balloon naming the task, unless the user asked not to be told.
TEST_F(HistoryWindowTest, AFailedStartShowsABalloonOnlyWhileNotifyFailuresIsOn) {
    const std::wstring missing = testing_support::ExecutableFolder() + L"no such program.exe";
    core::MemoryTaskList tasks;
    tasks.AppendTask(missing, L"Start", L"3:00:00 AM");
    core::SaveTasks(tasks);
    std::mutex mutex;
    std::vector<std::wstring> balloons;
    fw::IgnoreResult(app::SetBalloonListener([&](const std::wstring& text, const std::wstring& title) {
        const std::lock_guard lock(mutex);
        if (title == app::kRunFailedTitle) {
            balloons.push_back(text);
        }
    }));
    const auto told = [&] {
        const std::lock_guard lock(mutex);
        return balloons;
    };
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    HWND taskList = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(taskList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));

    // On when the file says nothing.
    main.Send(WM_COMMAND, IDM_RUN_NOW);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return told().size() == 1; }, kWait));
    EXPECT_TRUE(told()[0].starts_with(L"Start " + missing + L": start failed (")) << told()[0];

    ASSERT_TRUE(core::SetSetting(L"Options", L"NotifyFailures", L"FALSE"));
    main.Send(WM_COMMAND, IDM_RUN_NOW);
    // The notice goes to the window before the line is written; once the line is there, the window handles
    // what waits for it.
    const auto failures = [] {
        int count = 0;
        for (const core::history::Line& line : core::history::Read(core::GetConfigFolder())) {
            count += line.event == core::history::kStartFailed ? 1 : 0;
        }
        return count;
    };
    ASSERT_TRUE(testing_support::WaitUntil([&] { return failures() == 2; }, kWait));
    main.Send(app::kServiceEventsMessage);
    EXPECT_EQ(told().size(), 1u);
}

// The main window's layout: its rectangles, its list's columns and font, its icon, at one moment.
struct Layout {
    RECT window;
    RECT list;
    RECT buttons[5];
    RECT statusBar;
    RECT client;
    int columns[app::CListCtrlEx::kColumnCount];
    LONG fontHeight;
    int icon;
    SIZE minimum;
};

constexpr int kButtonIds[] = {IDC_ADD_TASK, IDC_REMOVE_TASK, IDC_MODIFY_TASK, IDC_OPTIONS, IDC_HIDE};

RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
LONG Width(const RECT& rect) {
    return rect.right - rect.left;
}
LONG Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

Layout LayoutOf(const MainWindow& main) {
    Layout layout{};
    const HWND hwnd = main.Hwnd();
    ::GetWindowRect(hwnd, &layout.window);
    ::GetClientRect(hwnd, &layout.client);
    const HWND list = ::GetDlgItem(hwnd, IDC_TASK_LIST);
    layout.list = ChildRect(list);
    for (size_t i = 0; i < std::size(kButtonIds); ++i) {
        layout.buttons[i] = ChildRect(::GetDlgItem(hwnd, kButtonIds[i]));
    }
    layout.statusBar = ChildRect(::GetDlgItem(hwnd, fw::kIdStatusBar));
    for (int column = 0; column < app::CListCtrlEx::kColumnCount; ++column) {
        layout.columns[column] = ColumnWidth(list, column);
    }
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)), sizeof font, &font);
    layout.fontHeight = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    layout.icon = IconWidth(main.Send(WM_GETICON, ICON_BIG));
    layout.minimum = main.Dialog().MinimumWindowSize();
    return layout;
}

void Resize(HWND hwnd, LONG width, LONG height) {
    ::SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(MainWindowTest, TheListGrowsWithTheWindowTheButtonsStayAndTodaysSizeIsTheSmallest) {
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const Layout start = LayoutOf(main);
    // The template's size is where the window starts, and the least it takes.
    EXPECT_EQ(Width(start.window), start.minimum.cx);
    EXPECT_EQ(Height(start.window), start.minimum.cy);

    // Within the test's desktop of 1024 x 768.
    for (const SIZE grow : {SIZE{0, 300}, SIZE{80, 300}, SIZE{50, 40}}) {
        Resize(main.Hwnd(), Width(start.window) + grow.cx, Height(start.window) + grow.cy);
        const Layout grown = LayoutOf(main);
        ASSERT_EQ(Height(grown.window), Height(start.window) + grow.cy);
        EXPECT_EQ(grown.list.left, start.list.left);
        EXPECT_EQ(grown.list.top, start.list.top);
        EXPECT_EQ(Width(grown.list), Width(start.list) + grow.cx);
        EXPECT_EQ(Height(grown.list), Height(start.list) + grow.cy);
        for (size_t i = 0; i < std::size(kButtonIds); ++i) {
            EXPECT_TRUE(::EqualRect(&grown.buttons[i], &start.buttons[i])) << kButtonIds[i];
        }
        EXPECT_EQ(grown.statusBar.bottom, grown.client.bottom);
        EXPECT_EQ(grown.statusBar.left, 0);
        EXPECT_EQ(Width(grown.statusBar), grown.client.right);
    }

    Resize(main.Hwnd(), 200, 100);
    const Layout smallest = LayoutOf(main);
    EXPECT_EQ(Width(smallest.window), start.minimum.cx);
    EXPECT_EQ(Height(smallest.window), start.minimum.cy);
    EXPECT_TRUE(::EqualRect(&smallest.list, &start.list));
}

// A length after a DPI change from 96 to 144: about half as long again. The frame that Wine draws keeps its size,
// so the client area, and the list in it, grow somewhat more than the window does.
void ExpectGrownByHalf(LONG before, LONG after, const char* what) {
    EXPECT_GE(after * 100, before * 135) << what << ": " << before << " -> " << after;
    EXPECT_LE(after * 100, before * 175) << what << ": " << before << " -> " << after;
}

TEST_F(MainWindowTest, AChangeOfDpiScalesControlsColumnsFontIconAndMinimumAndBack) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\Tools\\backup.exe", L"Start", L"10:00:00 PM");
    core::SaveTasks(tasks);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const UINT dpi = main.Dialog().Dpi();
    ASSERT_EQ(dpi, 96u) << "the test runs at 96 DPI";
    const Layout before = LayoutOf(main);
    const RECT& window = before.window;
    RECT suggested{window.left, window.top, window.left + Width(window) * 3 / 2, window.top + Height(window) * 3 / 2};
    main.Send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

    const Layout after = LayoutOf(main);
    EXPECT_EQ(main.Dialog().Dpi(), 144u);
    // The window takes the suggested rectangle; a desktop smaller than it may cut a pixel off.
    EXPECT_EQ(after.window.left, suggested.left);
    EXPECT_EQ(after.window.top, suggested.top);
    EXPECT_NEAR(after.window.right, suggested.right, 2);
    EXPECT_NEAR(after.window.bottom, suggested.bottom, 2);
    ExpectGrownByHalf(Width(before.list), Width(after.list), "list width");
    ExpectGrownByHalf(Height(before.list), Height(after.list), "list height");
    ExpectGrownByHalf(before.list.left, after.list.left, "list left");
    for (size_t i = 0; i < std::size(kButtonIds); ++i) {
        ExpectGrownByHalf(Width(before.buttons[i]), Width(after.buttons[i]), "button width");
        ExpectGrownByHalf(before.buttons[i].bottom, after.buttons[i].bottom, "button bottom");
    }
    ExpectGrownByHalf(Height(before.statusBar), Height(after.statusBar), "status bar height");
    EXPECT_EQ(after.statusBar.bottom, after.client.bottom);
    EXPECT_EQ(Width(after.statusBar), after.client.right);
    for (int column = 0; column < app::CListCtrlEx::kColumnCount; ++column) {
        ExpectGrownByHalf(before.columns[column], after.columns[column], "column");
    }
    ExpectGrownByHalf(before.fontHeight, after.fontHeight, "font");
    EXPECT_EQ(after.icon, 48);
    ExpectGrownByHalf(before.minimum.cx, after.minimum.cx, "minimum width");

    // Back at 96 DPI on the window's first rectangle, everything is as it was, give or take a rounding.
    main.Send(WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&before.window));
    const Layout back = LayoutOf(main);
    const auto close = [](const RECT& a, const RECT& b) {
        return std::abs(a.left - b.left) <= 2 && std::abs(a.top - b.top) <= 2 && std::abs(a.right - b.right) <= 2 &&
               std::abs(a.bottom - b.bottom) <= 2;
    };
    EXPECT_TRUE(::EqualRect(&back.window, &before.window));
    EXPECT_TRUE(close(back.list, before.list));
    for (size_t i = 0; i < std::size(kButtonIds); ++i) {
        EXPECT_TRUE(close(back.buttons[i], before.buttons[i])) << kButtonIds[i];
    }
    for (int column = 0; column < app::CListCtrlEx::kColumnCount; ++column) {
        EXPECT_NEAR(back.columns[column], before.columns[column], 2) << column;
    }
    EXPECT_EQ(back.fontHeight, before.fontHeight);
    EXPECT_EQ(back.icon, before.icon);
    EXPECT_EQ(back.minimum.cx, before.minimum.cx);
    EXPECT_EQ(back.minimum.cy, before.minimum.cy);
}

// Keys as the message loop gets them: through the dialog's own handling of Enter and Esc.
void PostKey(HWND window, WPARAM key) {
    ::PostMessageW(window, WM_KEYDOWN, key, 1);
    ::PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// The question box that the window shows over itself (its caption is the window's own).
HWND WaitForQuestionOver(HWND owner) {
    HWND found = nullptr;
    testing_support::WaitUntil(
        [&] {
            for (HWND box = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
                 box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) {
                if (::GetWindow(box, GW_OWNER) == owner && ::IsWindowVisible(box)) {
                    found = box;
                    return true;
                }
            }
            return false;
        },
        kWait);
    return found;
}

TEST_F(MainWindowTest, OnTheListDelRemovesAndEnterModifiesAndElsewhereEnterLeaves) {
    core::MemoryTaskList tasks;
    tasks.AppendTask(L"C:\\first.exe", L"Start", L"7:30:00 AM");
    tasks.AppendTask(L"C:\\second.exe", L"Start", L"8:00:00 PM");
    tasks.AppendTask(L"C:\\gone.exe", L"Start", L"8:30:00 PM");
    tasks.AppendTask(L"C:\\third.exe", L"Stop", L"9:15:00 PM");
    core::SaveTasks(tasks);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    const HWND list = ::GetDlgItem(main.Hwnd(), IDC_TASK_LIST);
    const app::CListCtrlEx& rows = main.Dialog().TaskList();
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    ::SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));

    // Every selected task goes, once the user agreed.
    PostKey(list, VK_DELETE);
    const HWND question = WaitForQuestionOver(main.Hwnd());
    ASSERT_TRUE(question);
    // The message box's text is its static 0xFFFF.
    EXPECT_EQ(WindowText(::GetDlgItem(question, 0xFFFF)), L"Do you want to remove the 2 selected tasks?");
    EXPECT_EQ(rows.GetTaskCount(), 4);
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return rows.GetTaskCount() == 2; }, kWait));
    EXPECT_EQ(StoredPrograms(), (std::vector<std::wstring>{L"C:\\first.exe", L"C:\\third.exe"}));

    ::SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    PostKey(list, VK_RETURN);
    HWND option = testing_support::WaitForReadyWindow(L"Task Option", kWait, L"#32770");
    ASSERT_TRUE(option);
    EXPECT_EQ(WindowText(::GetDlgItem(option, IDC_PROGRAM_EDIT)), L"C:\\third.exe");
    ::PostMessageW(option, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !::IsWindow(option); }, kWait));
    EXPECT_FALSE(::FindWindowW(L"#32770", L"Please Confirm"));

    // On a button, Enter is the OK command, which leaves as File, Exit does: with tasks, it asks first.
    PostKey(::GetDlgItem(main.Hwnd(), IDC_OPTIONS), VK_RETURN);
    HWND confirm = testing_support::WaitForReadyWindow(L"Please Confirm", kWait, L"#32770");
    ASSERT_TRUE(confirm);
    ::PostMessageW(confirm, WM_COMMAND, IDC_CONFIRM_HIDE, 0);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return ::IsIconic(main.Hwnd()) != FALSE; }, kWait));
    EXPECT_EQ(rows.GetTaskCount(), 2);
}

TEST(MainWindowSettings, ColumnWidthsReadBackAsWrittenAndNonsenseReadsAsNone) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
    EXPECT_EQ(app::ReadColumnWidths(3), (std::vector<int>{0, 0, 0}));
    app::WriteColumnWidths({250, 0, 97});
    EXPECT_EQ(app::ReadColumnWidths(3), (std::vector<int>{250, 0, 97}));
    // Fewer fields than columns, a word, a negative width and one no screen could show.
    ASSERT_TRUE(core::WriteUserSetting(app::kColumnWidthsSetting, L"120,abc,-5,99999"));
    EXPECT_EQ(app::ReadColumnWidths(6), (std::vector<int>{120, 0, 0, 0, 0, 0}));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
}

TEST(MainWindowSettings, AWindowLeftOnAMonitorThatWentAwayComesBackOntoTheWorkArea) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const RECT away{work.right + 2000, work.bottom + 500, work.right + 2600, work.bottom + 900};
    const RECT back = app::KeepOnWorkArea(away);
    EXPECT_EQ(Width(back), 600);
    EXPECT_EQ(Height(back), 400);
    EXPECT_EQ(back.right, work.right);
    EXPECT_EQ(back.bottom, work.bottom);
    const RECT inside{work.left + 10, work.top + 10, work.left + 210, work.top + 110};
    const RECT kept = app::KeepOnWorkArea(inside);
    EXPECT_TRUE(::EqualRect(&inside, &kept));
}

}  // namespace
