// The Task Option dialog run modally on its own thread and driven from the test's thread, with real helper
// processes and windows behind the pickers that it opens.
#include "control/ConfigDialog.h"
#include "control/ProcessPath.h"
#include "core/Task.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"
#include "framework/ListCtrl.h"
#include "framework/MessageBox.h"
#include "helpers/DialogThread.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"
#include "ui/ActionConfigDialog.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cmath>
#include <functional>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::DialogThread;
using testing_support::HelperProcess;
using testing_support::WaitUntil;

// A visible top-level window of the thread with exactly this title; null after the time.
HWND WaitForThreadWindow(DWORD threadId, const std::wstring& title, DWORD milliseconds = 20000) {
    struct Search {
        const std::wstring* title;
        HWND found;
    };
    HWND result = nullptr;
    WaitUntil(
        [&] {
            Search search{&title, nullptr};
            ::EnumThreadWindows(
                threadId,
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(lParam);
                    wchar_t text[256]{};
                    ::GetWindowTextW(hwnd, text, 256);
                    if (::IsWindowVisible(hwnd) && *s->title == text) {
                        s->found = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            result = search.found;
            return result != nullptr;
        },
        milliseconds);
    return result;
}

// The visible top-level windows of the thread.
std::vector<HWND> VisibleThreadWindows(DWORD threadId) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        threadId,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (::IsWindowVisible(hwnd)) {
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The image path of a helper that has just been started, once the platform can tell it.
std::wstring WaitForImagePath(const HelperProcess& helper) {
    std::wstring path;
    WaitUntil(
        [&] {
            path = control::GetProcessImagePath(helper.Id());
            return !path.empty();
        },
        10000);
    return path;
}

std::wstring ControlText(HWND hwnd) {
    wchar_t text[1024]{};
    ::GetWindowTextW(hwnd, text, 1024);
    return text;
}

// The time of day of a value, to the second.
std::wstring Clock(const core::DateTimeValue& value) {
    SYSTEMTIME time{};
    if (!value.ToSystemTime(time)) {
        return L"invalid";
    }
    return std::to_wstring(time.wHour) + L":" + std::to_wstring(time.wMinute) + L":" + std::to_wstring(time.wSecond);
}

// One run of the dialog: the modal loop on its own thread (with COM, as the program has it), the message
// boxes recorded and answered with OK.
class TaskOptionRun {
public:
    explicit TaskOptionRun(ui::CActionConfigDialog& dialog) : m_dialog(dialog) {
        m_previousHook = fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
            const std::lock_guard lock(m_mutex);
            m_messages.push_back(request.text);
            return IDOK;
        });
        m_thread = std::make_unique<DialogThread>([this] {
            fw::IgnoreResult(::CoInitialize(nullptr));
            const INT_PTR result = m_dialog.DoModal();
            ::CoUninitialize();
            return result;
        });
        WaitUntil([this] { return m_thread->ThreadId() != 0; }, 10000);
        m_hwnd = WaitForThreadWindow(m_thread->ThreadId(), L"Task Option");
        // Acted on only once its thread is back in its loop: its initialisation is over.
        if (m_hwnd) {
            Sync();
        }
    }
    ~TaskOptionRun() {
        // A test that failed half-way may leave a nested dialog open: cancel every window until the run ends.
        while (m_thread->ThreadId() != 0 && !m_thread->Done()) {
            for (HWND hwnd : VisibleThreadWindows(m_thread->ThreadId())) {
                ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            }
            ::Sleep(50);
        }
        m_thread.reset();
        fw::SetMessageBoxHook(std::move(m_previousHook));
    }

    bool Opened() const { return m_hwnd != nullptr; }
    // A window that the dialog opened above itself, once its thread is back in its loop (the window's
    // initialisation is over); null after the time.
    HWND WaitForNestedWindow(DWORD milliseconds = 20000) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (HWND hwnd : VisibleThreadWindows(m_thread->ThreadId())) {
                    if (hwnd != m_hwnd) {
                        found = hwnd;
                    }
                }
                return found != nullptr;
            },
            milliseconds);
        DWORD_PTR ignored = 0;
        if (found && !::SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &ignored)) {
            return nullptr;
        }
        return found;
    }
    HWND Item(int id) const { return ::GetDlgItem(m_hwnd, id); }
    std::wstring Program() const { return ControlText(Item(IDC_PROGRAM_EDIT)); }
    std::wstring ShownAction() const {
        const auto index = ::SendMessageW(Item(IDC_ACTION_COMBO), CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) {
            return L"(none)";
        }
        wchar_t text[64]{};
        ::SendMessageW(Item(IDC_ACTION_COMBO), CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text));
        return text;
    }
    // Selects the action and tells the dialog, as a choice of the user's in the list does.
    void ShowAction(const std::wstring& action) const {
        ::SendMessageW(Item(IDC_ACTION_COMBO), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(action.c_str()));
        ::SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDC_ACTION_COMBO, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(Item(IDC_ACTION_COMBO)));
    }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    std::wstring Text(int id) const { return ControlText(Item(id)); }
    bool Ticked(int id) const { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // Clicks a check box; returns once it has turned over.
    void Toggle(int id) const { ::SendMessageW(Item(id), BM_CLICK, 0, 0); }
    // Types the text, one character at a time, over everything the field holds.
    void Type(int id, const std::wstring& text) const {
        ::SendMessageW(Item(id), EM_SETSEL, 0, -1);
        for (wchar_t c : text) {
            ::SendMessageW(Item(id), WM_CHAR, c, 0);
        }
    }
    HICON ShownIcon() const {
        return reinterpret_cast<HICON>(::SendMessageW(Item(IDC_PROGRAM_ICON), STM_GETICON, 0, 0));
    }
    // A button click, posted: the handler may run a nested dialog.
    void Click(int id) const {
        ::PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
    }
    // Returns once the dialog has handled everything up to now (its thread is back in its own loop).
    void Sync() const { ::SendMessageW(m_hwnd, WM_NULL, 0, 0); }

    // Opens a picker through its button, selects the row with the text (none when empty) and confirms it.
    void Pick(int button,
              const std::wstring& pickerTitle,
              int listId,
              const std::wstring& row,
              const std::function<void()>& beforeOk = {}) {
        Click(button);
        HWND picker = WaitForThreadWindow(m_thread->ThreadId(), pickerTitle);
        ASSERT_NE(nullptr, picker) << "no picker";
        fw::CListCtrl list;
        list.Attach(::GetDlgItem(picker, listId));
        if (!row.empty()) {
            int found = -1;
            for (int i = 0; i < list.GetItemCount() && found < 0; ++i) {
                if (list.GetItemText(i, 0) == row) {
                    found = i;
                }
            }
            EXPECT_GE(found, 0) << "row not listed";
            if (found >= 0) {
                list.SetItemState(found, LVIS_SELECTED, LVIS_SELECTED);
            }
        }
        list.Detach();
        if (beforeOk) {
            beforeOk();
        }
        ::SendMessageW(::GetDlgItem(picker, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(picker); }, 10000));
        Sync();
    }

    // Presses OK; true when the dialog closed with OK, false when it stayed open.
    // Presses OK: true when the dialog closed with OK, false when it refused with a message and stayed open.
    bool PressOk() {
        const size_t before = Messages().size();
        ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);  // returns once the handler has run
        if (Messages().size() > before) {
            return false;
        }
        return m_thread->Join() == IDOK;
    }
    INT_PTR PressCancel() {
        ::SendMessageW(Item(IDCANCEL), BM_CLICK, 0, 0);
        return m_thread->Join();
    }
    std::vector<std::wstring> Messages() {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }

    ui::CActionConfigDialog& m_dialog;
    HWND m_hwnd = nullptr;
    std::unique_ptr<DialogThread> m_thread;

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_messages;
    fw::MessageBoxHook m_previousHook;
};

class ActionConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
};

std::wstring UniqueTitle(const std::wstring& stem) {
    static int counter = 0;
    return L"MW " + stem + L" " + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
}

TEST_F(ActionConfigDialogTest, AddShowsPlaceholderAndRefusesOkUntilAProcessIsPicked) {
    HelperProcess helper({L"--lifetime", L"30000"});
    ASSERT_TRUE(helper.Started());
    const std::wstring helperPath = WaitForImagePath(helper);
    ASSERT_FALSE(helperPath.empty());

    ui::CActionConfigDialog dialog;
    const core::DateTimeValue created = dialog.m_time;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    EXPECT_EQ(L"Please Select a Program", run.Program());
    EXPECT_EQ(L"Start", run.ShownAction());
    EXPECT_EQ(::LoadIconW(nullptr, IDI_APPLICATION), run.ShownIcon());

    EXPECT_FALSE(run.PressOk());
    EXPECT_EQ(std::vector<std::wstring>{L"Please Select something to schedule"}, run.Messages());
    EXPECT_TRUE(::IsWindowVisible(run.m_hwnd));
    EXPECT_EQ(L"Please Select a Program", run.Program());

    // The process picker closed with OK but nothing chosen changes nothing.
    run.Pick(IDC_FROM_PROCESS, L"Please select a process", IDC_PROCESS_LIST, L"");
    EXPECT_EQ(L"Please Select a Program", run.Program());

    run.Pick(IDC_FROM_PROCESS, L"Please select a process", IDC_PROCESS_LIST, helperPath);
    EXPECT_EQ(helperPath, run.Program());
    const HICON firstIcon = run.ShownIcon();
    EXPECT_NE(nullptr, firstIcon);
    EXPECT_NE(::LoadIconW(nullptr, IDI_APPLICATION), firstIcon);

    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(1u, run.Messages().size());
    EXPECT_EQ(helperPath, dialog.GetProgram());
    EXPECT_EQ(L"Start", dialog.GetAction());
    // The untouched picker gives back the time of the dialog's creation, seconds included.
    EXPECT_EQ(Clock(created), Clock(dialog.m_time));
    // The dialog's icon went with it.
    ICONINFO info{};
    EXPECT_FALSE(::GetIconInfo(firstIcon, &info));
}

TEST_F(ActionConfigDialogTest, ActionAndTimeChosenOnScreenSurviveALaterPick) {
    HelperProcess helper({L"--lifetime", L"30000"});
    const std::wstring helperPath = WaitForImagePath(helper);
    ASSERT_FALSE(helperPath.empty());
    const std::wstring title = UniqueTitle(L"Survive");
    HelperProcess windowed({L"--title", title, L"--lifetime", L"30000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(title));

    ui::CActionConfigDialog dialog;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    run.ShowAction(L"Stop");
    SYSTEMTIME chosen{};
    ::GetLocalTime(&chosen);
    chosen.wHour = 7;
    chosen.wMinute = 8;
    chosen.wSecond = 9;
    ::SendMessageW(run.Item(IDC_TIME_PICKER), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&chosen));

    run.Pick(IDC_FROM_PROCESS, L"Please select a process", IDC_PROCESS_LIST, helperPath);
    EXPECT_EQ(helperPath, run.Program());
    EXPECT_EQ(L"Stop", run.ShownAction());
    const HICON processIcon = run.ShownIcon();

    // A second pick replaces the icon and destroys the one it replaces; "Stop" keeps the title.
    run.Pick(IDC_FROM_WINDOW, L"Please select a Window", IDC_WINDOW_LIST, title);
    EXPECT_EQ(title, run.Program());
    EXPECT_EQ(L"Stop", run.ShownAction());
    EXPECT_NE(nullptr, run.ShownIcon());
    ICONINFO info{};
    EXPECT_FALSE(::GetIconInfo(processIcon, &info));

    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(title, dialog.GetProgram());
    EXPECT_EQ(L"Stop", dialog.GetAction());
    EXPECT_EQ(L"7:8:9", Clock(dialog.m_time));
}

TEST_F(ActionConfigDialogTest, ModifySelectsTheActionByPrefixIgnoringCase) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Stop", L"Stop"}, {L"stop", L"Stop"}, {L"START", L"Start"}, {L"Start", L"Start"}};
    for (const auto& [action, expectedText] : cases) {
        const std::wstring expected = expectedText;
        ui::CActionConfigDialog dialog;
        dialog.SetProgram(L"C:\\Tools\\app.exe");
        dialog.SetAction(action);
        dialog.m_time = core::DateTimeValue::FromSystemTime(SYSTEMTIME{2024, 5, 0, 6, 20, 30, 15, 0});
        TaskOptionRun run(dialog);
        ASSERT_TRUE(run.Opened());
        EXPECT_EQ(expected, run.ShownAction()) << action;
        EXPECT_EQ(L"C:\\Tools\\app.exe", run.Program());
        // Until a new pick the field shows the standard icon, not the program's.
        EXPECT_EQ(::LoadIconW(nullptr, IDI_APPLICATION), run.ShownIcon());
        EXPECT_TRUE(run.PressOk());
        EXPECT_EQ(expected, dialog.GetAction());
        EXPECT_EQ(L"20:30:15", Clock(dialog.m_time));
        EXPECT_EQ(L"C:\\Tools\\app.exe", dialog.GetProgram());
    }
}

TEST_F(ActionConfigDialogTest, ModifyWithAnUnparsableTimeStoresThePickersOwnTime) {
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"C:\\Tools\\app.exe");
    dialog.SetAction(L"Start");
    dialog.m_time = core::ParseTaskTime(L"not a time");
    ASSERT_FALSE(dialog.m_time.IsValid());
    const core::DateTimeValue before = core::DateTimeValue::Now();
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    EXPECT_TRUE(run.PressOk());
    ASSERT_TRUE(dialog.m_time.IsValid());
    // The picker's own value is the time it was made: within a generous bound of the test's clock.
    EXPECT_LT(std::fabs(dialog.m_time.date - before.date), 10.0 / (24 * 60)) << Clock(dialog.m_time);
}

TEST_F(ActionConfigDialogTest, ModifyWithAnEmptyProgramShowsThePlaceholderAndRefusesOk) {
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"");
    dialog.SetAction(L"Stop");
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    EXPECT_EQ(L"Please Select a Program", run.Program());
    EXPECT_FALSE(run.PressOk());
    EXPECT_EQ(std::vector<std::wstring>{L"Please Select something to schedule"}, run.Messages());
    EXPECT_EQ(IDCANCEL, run.PressCancel());
}

TEST_F(ActionConfigDialogTest, FromWindowWithStartGivesTheOwnersImagePathAndEmptyPickChangesNothing) {
    const std::wstring title = UniqueTitle(L"Start");
    HelperProcess helper({L"--title", title, L"--lifetime", L"30000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(title));
    const std::wstring helperPath = control::GetProcessImagePath(helper.Id());
    ASSERT_FALSE(helperPath.empty());
    EXPECT_EQ(helperPath, ui::GetWindowProgramPath(title));
    EXPECT_TRUE(static_cast<bool>(ui::GetWindowProgramIcon(title)));

    ui::CActionConfigDialog dialog;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    // OK in the window picker without a row: nothing was chosen.
    run.Pick(IDC_FROM_WINDOW, L"Please select a Window", IDC_WINDOW_LIST, L"");
    EXPECT_EQ(L"Please Select a Program", run.Program());
    EXPECT_EQ(::LoadIconW(nullptr, IDI_APPLICATION), run.ShownIcon());

    run.Pick(IDC_FROM_WINDOW, L"Please select a Window", IDC_WINDOW_LIST, title);
    EXPECT_EQ(helperPath, run.Program());
    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(helperPath, dialog.GetProgram());
    EXPECT_EQ(L"Start", dialog.GetAction());
}

TEST_F(ActionConfigDialogTest, WindowClosedBetweenPickAndLookupGivesAnEmptyProgramThatOkRefuses) {
    const std::wstring title = UniqueTitle(L"Closing");
    auto helper =
        std::make_unique<HelperProcess>(std::vector<std::wstring>{L"--title", title, L"--lifetime", L"30000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(title));

    ui::CActionConfigDialog dialog;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    run.Pick(IDC_FROM_WINDOW, L"Please select a Window", IDC_WINDOW_LIST, title, [&] {
        helper->Kill();
        EXPECT_TRUE(WaitUntil([&] { return ::FindWindowW(nullptr, title.c_str()) == nullptr; }, 10000));
    });
    EXPECT_EQ(L"", run.Program());
    EXPECT_EQ(nullptr, run.ShownIcon());
    EXPECT_FALSE(run.PressOk());
    EXPECT_EQ(std::vector<std::wstring>{L"Please Select something to schedule"}, run.Messages());
    EXPECT_EQ(IDCANCEL, run.PressCancel());
}

TEST_F(ActionConfigDialogTest, WindowProgramLookupsOfMissingAndEmptyTitles) {
    EXPECT_EQ(L"", ui::GetWindowProgramPath(UniqueTitle(L"No such window")));
    EXPECT_FALSE(static_cast<bool>(ui::GetWindowProgramIcon(UniqueTitle(L"No such window"))));
    // Many windows have no title; none of them names a program.
    EXPECT_EQ(L"", ui::GetWindowProgramPath(L""));
}

// From File with the platform's file dialog: a file typed into its name field and confirmed.
TEST_F(ActionConfigDialogTest, FromFileTakesTheChosenFilesFullPath) {
    wchar_t folder[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"mw-task-option-file.txt";
    {
        fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
    }
    ui::CActionConfigDialog dialog;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());

    // Cancelled: nothing changes.
    run.Click(IDC_FROM_FILE);
    HWND files = run.WaitForNestedWindow();
    ASSERT_NE(nullptr, files);
    ::PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(files); }, 10000));
    run.Sync();
    EXPECT_EQ(L"Please Select a Program", run.Program());

    run.Click(IDC_FROM_FILE);
    files = run.WaitForNestedWindow();
    ASSERT_NE(nullptr, files);
    // The name field: the file dialog's one edit box that takes typing (the first of its class in tab order).
    HWND name = nullptr;
    ::EnumChildWindows(
        files,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            wchar_t cls[32]{};
            ::GetClassNameW(hwnd, cls, 32);
            if (::lstrcmpiW(cls, L"Edit") == 0 && ::IsWindowVisible(hwnd) &&
                !(::GetWindowLongPtrW(hwnd, GWL_STYLE) & ES_READONLY)) {
                *reinterpret_cast<HWND*>(lParam) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&name));
    ASSERT_NE(nullptr, name);
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageW(files, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(files); }, 10000));
    run.Sync();
    EXPECT_EQ(0, ::lstrcmpiW(path.c_str(), run.Program().c_str())) << run.Program();
    EXPECT_NE(nullptr, run.ShownIcon());
    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(0, ::lstrcmpiW(path.c_str(), dialog.GetProgram().c_str()));
    ::DeleteFileW(path.c_str());
}

// Each day's check box and the bit it stands for (bit 0 is Sunday, as SYSTEMTIME counts the days).
constexpr std::pair<int, core::DayMask> kDayBoxes[] = {
    {IDC_DAY_SUN, 1u << 0}, {IDC_DAY_MON, 1u << 1}, {IDC_DAY_TUE, 1u << 2}, {IDC_DAY_WED, 1u << 3},
    {IDC_DAY_THU, 1u << 4}, {IDC_DAY_FRI, 1u << 5}, {IDC_DAY_SAT, 1u << 6}};

TEST_F(ActionConfigDialogTest, ChoicesSetBeforehandShowAndComeBackAsChangedOnScreen) {
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"C:\\Tools\\app.exe");
    // A bit above Saturday is not the dialog's: it must survive the round trip.
    dialog.m_days = core::kWorkDays | 0x100u;
    dialog.m_arguments = L"--quiet";
    dialog.m_folder = L"C:\\Work";
    dialog.m_enabled = false;
    dialog.m_runIfMissed = true;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    for (const auto& [id, bit] : kDayBoxes) {
        EXPECT_EQ((core::kWorkDays & bit) != 0, run.Ticked(id)) << "day box " << id;
    }
    EXPECT_EQ(L"--quiet", run.Text(IDC_ARGUMENTS_EDIT));
    EXPECT_EQ(L"C:\\Work", run.Text(IDC_FOLDER_EDIT));
    EXPECT_FALSE(run.Ticked(IDC_TASK_ENABLED));
    EXPECT_TRUE(run.Ticked(IDC_RUN_IF_MISSED));
    EXPECT_FALSE(run.Ticked(IDC_WAKE_COMPUTER));

    // Monday off, Sunday on, each choice turned over, both fields typed anew, the arguments far wider than
    // their field.
    for (int id : {IDC_DAY_MON, IDC_DAY_SUN, IDC_TASK_ENABLED, IDC_RUN_IF_MISSED, IDC_WAKE_COMPUTER}) {
        run.Toggle(id);
    }
    const std::wstring arguments = L"/config \"C:\\My Files\\tool.ini\" " + std::wstring(300, L'x');
    run.Type(IDC_ARGUMENTS_EDIT, arguments);
    run.Type(IDC_FOLDER_EDIT, L"D:\\Jobs\\Nightly");
    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(0x100u | (core::kWorkDays & ~0x02u) | 0x01u, dialog.m_days);
    EXPECT_EQ(arguments, dialog.m_arguments);
    EXPECT_EQ(L"D:\\Jobs\\Nightly", dialog.m_folder);
    EXPECT_TRUE(dialog.m_enabled);
    EXPECT_FALSE(dialog.m_runIfMissed);
    EXPECT_TRUE(dialog.m_wake);
}

TEST_F(ActionConfigDialogTest, OkWithoutADayIsRefusedAndCancelKeepsTheChoicesAsTheyWere) {
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"C:\\Tools\\app.exe");
    {
        TaskOptionRun run(dialog);
        ASSERT_TRUE(run.Opened());
        // A new task runs every day, enabled, neither catching up nor waking the computer.
        for (const auto& [id, bit] : kDayBoxes) {
            EXPECT_TRUE(run.Ticked(id)) << "day box " << id;
            run.Toggle(id);
        }
        EXPECT_TRUE(run.Ticked(IDC_TASK_ENABLED));
        EXPECT_FALSE(run.Ticked(IDC_RUN_IF_MISSED) || run.Ticked(IDC_WAKE_COMPUTER));
        EXPECT_EQ(L"", run.Text(IDC_ARGUMENTS_EDIT) + run.Text(IDC_FOLDER_EDIT));
        run.Toggle(IDC_WAKE_COMPUTER);
        run.Type(IDC_ARGUMENTS_EDIT, L"-n 1");
        EXPECT_FALSE(run.PressOk());
        EXPECT_EQ(std::vector<std::wstring>{L"Please select at least one day"}, run.Messages());
        EXPECT_TRUE(::IsWindowVisible(run.m_hwnd));
        EXPECT_EQ(IDCANCEL, run.PressCancel());
    }
    EXPECT_EQ(core::kEveryDay, dialog.m_days);
    EXPECT_EQ(L"", dialog.m_arguments);
    EXPECT_TRUE(dialog.m_enabled);
    EXPECT_FALSE(dialog.m_wake);

    // Once a day is ticked again, OK takes that day alone.
    ui::CActionConfigDialog friday;
    friday.SetProgram(L"C:\\Tools\\app.exe");
    TaskOptionRun run(friday);
    ASSERT_TRUE(run.Opened());
    for (const auto& [id, bit] : kDayBoxes) {
        run.Toggle(id);
    }
    EXPECT_FALSE(run.PressOk());
    run.Toggle(IDC_DAY_FRI);
    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(1u << 5, friday.m_days);
}

TEST_F(ActionConfigDialogTest, ARepeatAndADateShowAndComeBackAndARepeatThatCannotBeIsRefused) {
    core::Task task{L"C:\\Tools\\app.exe", L"Start", L"10:00:00"};
    task.days = L"Mon";
    task.every = L"15";
    task.until = L"18:00:00";
    task.date = L"2026-12-24";
    ui::CActionConfigDialog dialog;
    dialog.SetTask(task);
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    const auto picked = [&](int id) {
        SYSTEMTIME time{};
        const LRESULT got = ::SendMessageW(run.Item(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
        return got == GDT_VALID ? time : SYSTEMTIME{};
    };
    EXPECT_TRUE(run.Ticked(IDC_RUN_ONCE));
    EXPECT_FALSE(run.Ticked(IDC_RUN_EVERY_DAY) || run.Ticked(IDC_RUN_ON_DAYS));
    EXPECT_FALSE(::IsWindowEnabled(run.Item(IDC_DAY_MON)));
    EXPECT_EQ(picked(IDC_DATE_PICKER).wDay, 24);
    EXPECT_EQ(run.Text(IDC_EVERY_EDIT), L"15");
    EXPECT_EQ(picked(IDC_UNTIL_PICKER).wHour, 18);

    run.Type(IDC_EVERY_EDIT, L"0");
    EXPECT_FALSE(run.PressOk());
    run.Type(IDC_EVERY_EDIT, L"30");
    SYSTEMTIME early = picked(IDC_UNTIL_PICKER);
    early.wHour = 10;
    ::SendMessageW(run.Item(IDC_UNTIL_PICKER), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&early));
    EXPECT_FALSE(run.PressOk());
    EXPECT_EQ(run.Messages(), (std::vector<std::wstring>{ui::kEveryRangeText, ui::kUntilLaterText}));

    // Back to its days, repeating every 30 minutes until 20:00.
    early.wHour = 20;
    ::SendMessageW(run.Item(IDC_UNTIL_PICKER), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&early));
    run.Toggle(IDC_RUN_ON_DAYS);
    EXPECT_TRUE(::IsWindowEnabled(run.Item(IDC_DAY_MON)));
    EXPECT_FALSE(::IsWindowEnabled(run.Item(IDC_DATE_PICKER)));
    ASSERT_TRUE(run.PressOk());
    const core::Task changed = dialog.GetTask(task);
    EXPECT_EQ(changed.date, L"");
    EXPECT_EQ(changed.days, L"Mon");
    EXPECT_EQ(changed.every, L"30");
    EXPECT_EQ(changed.until, L"20:00:00");
}

TEST_F(ActionConfigDialogTest, EveryDayTicksEachDayAndOnceOnKeepsTheDaysForLater) {
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"C:\\Tools\\app.exe");
    dialog.m_days = core::kWorkDays;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    EXPECT_TRUE(run.Ticked(IDC_RUN_ON_DAYS));
    run.Toggle(IDC_DAY_SAT);
    run.Toggle(IDC_DAY_SUN);
    EXPECT_TRUE(run.Ticked(IDC_RUN_EVERY_DAY));
    run.Toggle(IDC_DAY_SUN);
    EXPECT_TRUE(run.Ticked(IDC_RUN_ON_DAYS));
    run.Toggle(IDC_RUN_EVERY_DAY);
    EXPECT_TRUE(run.Ticked(IDC_DAY_SUN));
    // Once on: no day needs to be ticked, and the days stay for a later change.
    run.Toggle(IDC_DAY_SUN);
    run.Toggle(IDC_RUN_ONCE);
    ASSERT_TRUE(run.PressOk());
    core::Task before{L"C:\\Tools\\app.exe", L"Start", L"10:00:00"};
    const core::Task changed = dialog.GetTask(before);
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    EXPECT_EQ(core::ParseDate(changed.date), core::ParseDate(core::FormatDate(core::ToSeconds(today).value())));
    EXPECT_EQ(changed.days, L"Mon,Tue,Wed,Thu,Fri,Sat");
    EXPECT_EQ(changed.every + changed.until, L"");
}

// The ids of the fields that mean something for a Stop task alone, with their labels.
constexpr int kStopFields[] = {IDC_WARN_LABEL, IDC_WARN_EDIT, IDC_WARN_UNIT, IDC_STOP_TREE};

TEST_F(ActionConfigDialogTest, AStopTasksWarningAndTreeStopShowAndComeBackAndAWarningOutOfRangeIsRefused) {
    core::Task task{L"Notes - Quarterly plan", L"Stop", L"18:00:00"};
    task.warn = L"60";
    task.maxPostpones = L"5";
    task.tree = true;
    ui::CActionConfigDialog dialog;
    dialog.SetTask(task);
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    for (int id : kStopFields) {
        EXPECT_TRUE(run.Enabled(id)) << id;
    }
    EXPECT_EQ(L"60", run.Text(IDC_WARN_EDIT));
    EXPECT_TRUE(run.Ticked(IDC_STOP_TREE));

    // Pasted text gets past the field's digits-only typing.
    for (const wchar_t* typed : {L"3601", L"99999", L"1.5", L"-1"}) {
        ::SetWindowTextW(run.Item(IDC_WARN_EDIT), typed);
        EXPECT_FALSE(run.PressOk()) << typed;
    }
    EXPECT_EQ(run.Messages(), std::vector<std::wstring>(4, ui::kWarnRangeText));
    EXPECT_TRUE(::IsWindowVisible(run.m_hwnd));
    ::SetWindowTextW(run.Item(IDC_WARN_EDIT), L" 3600 ");
    run.Toggle(IDC_STOP_TREE);
    ASSERT_TRUE(run.PressOk());
    core::Task changed = dialog.GetTask(task);
    EXPECT_EQ(changed.warn, L"3600");
    EXPECT_FALSE(changed.tree);
    EXPECT_EQ(changed.maxPostpones, L"5");
    // No warning is stored as no text, whether the seconds were left empty or typed as 0.
    for (const wchar_t* none : {L"", L"0"}) {
        dialog.m_warn = none;
        EXPECT_EQ(dialog.GetTask(task).warn, L"") << none;
    }
}

TEST_F(ActionConfigDialogTest, AStartTaskKeepsTheStopFieldsGreyedAndAsTheyWere) {
    core::Task task{L"C:\\Tools\\app.exe", L"Start", L"08:00:00"};
    // A warning the dialog would refuse, written into the file by hand: a Start task does not use it.
    task.warn = L"9999";
    task.tree = true;
    ui::CActionConfigDialog dialog;
    dialog.SetTask(task);
    {
        TaskOptionRun run(dialog);
        ASSERT_TRUE(run.Opened());
        for (int id : kStopFields) {
            EXPECT_FALSE(run.Enabled(id)) << id;
        }
        EXPECT_EQ(L"9999", run.Text(IDC_WARN_EDIT));
        EXPECT_TRUE(run.Ticked(IDC_STOP_TREE));
        ASSERT_TRUE(run.PressOk());
        EXPECT_TRUE(run.Messages().empty());
    }
    const core::Task kept = dialog.GetTask(task);
    EXPECT_EQ(kept.warn, L"9999");
    EXPECT_TRUE(kept.tree);

    // Chosen as Stop, the fields can be used and the warning must be one the task can have; back to Start, they
    // are greyed again with what they show.
    ui::CActionConfigDialog again;
    again.SetTask(task);
    TaskOptionRun run(again);
    ASSERT_TRUE(run.Opened());
    run.ShowAction(L"Stop");
    for (int id : kStopFields) {
        EXPECT_TRUE(run.Enabled(id)) << id;
    }
    EXPECT_FALSE(run.PressOk());
    EXPECT_EQ(run.Messages(), std::vector<std::wstring>{ui::kWarnRangeText});
    run.Type(IDC_WARN_EDIT, L"90");
    run.ShowAction(L"Start");
    EXPECT_FALSE(run.Enabled(IDC_WARN_EDIT) || run.Enabled(IDC_STOP_TREE));
    ASSERT_TRUE(run.PressOk());
    EXPECT_EQ(again.GetTask(task).warn, L"90");
}

// Browse... with the shell's folder chooser: it opens at the folder the field shows, and a folder chosen in it
// replaces the field's text.
TEST_F(ActionConfigDialogTest, BrowseOpensAtTheShownFolderAndTakesTheChosenOne) {
    const std::wstring first = testing_support::TempFilePath(L"mw-start-in");
    const std::wstring second = testing_support::TempFilePath(L"mw-start-in");
    ASSERT_TRUE(::CreateDirectoryW(first.c_str(), nullptr) && ::CreateDirectoryW(second.c_str(), nullptr));
    ui::CActionConfigDialog dialog;
    dialog.SetProgram(L"C:\\Tools\\app.exe");
    dialog.m_folder = first;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    const auto browse = [&](const wchar_t* select, int button) {
        run.Click(IDC_BROWSE_FOLDER);
        HWND chooser = run.WaitForNestedWindow();
        ASSERT_NE(nullptr, chooser);
        if (select) {
            ::SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(select));
        }
        ::SendMessageW(::GetDlgItem(chooser, button), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(chooser); }, 10000)) << "the chooser stayed open";
        run.Sync();
    };
    browse(nullptr, IDCANCEL);
    EXPECT_EQ(first, run.Text(IDC_FOLDER_EDIT));
    browse(nullptr, IDOK);
    EXPECT_EQ(0, ::lstrcmpiW(first.c_str(), run.Text(IDC_FOLDER_EDIT).c_str())) << run.Text(IDC_FOLDER_EDIT);
    browse(second.c_str(), IDOK);
    EXPECT_EQ(0, ::lstrcmpiW(second.c_str(), run.Text(IDC_FOLDER_EDIT).c_str())) << run.Text(IDC_FOLDER_EDIT);
    EXPECT_TRUE(run.PressOk());
    EXPECT_EQ(0, ::lstrcmpiW(second.c_str(), dialog.m_folder.c_str()));
    ::RemoveDirectoryW(first.c_str());
    ::RemoveDirectoryW(second.c_str());
}

// Both dialogs on screen for a look: MARLOWICK_SHOW_SECONDS (default 5).
TEST_F(ActionConfigDialogTest, DISABLED_ShowBothDialogs) {
    const std::wstring title = L"Notes - Quarterly plan";
    HelperProcess helper({L"--title", title, L"--lifetime", L"60000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(title));
    ui::CActionConfigDialog dialog;
    dialog.m_days = core::kWorkDays;
    dialog.m_arguments = L"--report weekly";
    dialog.m_folder = L"C:\\Reports";
    dialog.m_wake = true;
    dialog.m_warn = L"60";
    dialog.m_tree = true;
    TaskOptionRun run(dialog);
    ASSERT_TRUE(run.Opened());
    run.ShowAction(L"Stop");
    run.Pick(IDC_FROM_WINDOW, L"Please select a Window", IDC_WINDOW_LIST, title);
    ::SetWindowPos(run.m_hwnd, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    control::CConfigDialog sheet;
    DialogThread sheetThread([&] { return sheet.DoModal(); });
    HWND sheetWindow = sheetThread.WaitForWindow(20000);
    ASSERT_NE(nullptr, sheetWindow);
    // Below the Task Option dialog, which is too wide for the two to stand side by side.
    RECT taskOption{};
    ::GetWindowRect(run.m_hwnd, &taskOption);
    ::SetWindowPos(sheetWindow, nullptr, 20, taskOption.bottom + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const char* seconds = std::getenv("MARLOWICK_SHOW_SECONDS");
    ::Sleep(static_cast<DWORD>(seconds ? std::atoi(seconds) : 5) * 1000);
    ::PostMessageW(sheetWindow, WM_COMMAND, IDCANCEL, 0);
    sheetThread.Join();
    run.PressCancel();
}

}  // namespace
