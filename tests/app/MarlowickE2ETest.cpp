// marlowick.exe itself, started in the test prefix and driven from this process the way a user would:
// commands to its main window, answers to its boxes, its list read through memory in its process. Results
// are read from Profile.txt and from the helper's record file.
#include "control/RunKeyTestSupport.h"
#include "app/MainWindowLayout.h"
#include "app/StopWarningWindows.h"
#include "core/History.h"
#include "core/Profile.h"
#include "core/Task.h"
#include "core/TaskOptions.h"
#include "core/TaskStore.h"
#include "core/TaskTime.h"
#include "core/UserSettings.h"
#include "helpers/HelperProcess.h"
#include "helpers/RemoteList.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using testing_support::HelperProcess;
using testing_support::ReadLines;
using testing_support::RemoteList;
using testing_support::TopLevelWindowsOf;
using testing_support::WaitUntil;

constexpr DWORD kWait = 10000;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr wchar_t kAlreadyRunning[] = L"This application already running,please check.";

std::wstring MarlowickPath() {
    const std::wstring relative = testing_support::ExecutableFolder() + L"..\\..\\bin\\marlowick.exe";
    wchar_t full[MAX_PATH]{};
    ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring ProfileFolder() {
    wchar_t common[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\Korvane\\Marlowick";
}

// As on a machine where Marlowick never ran: no file, no folder.
void RemoveProfile() {
    const std::wstring folder = ProfileFolder();
    ::DeleteFileW((folder + L"\\Profile.txt").c_str());
    for (const std::wstring& copy : testing_support::DamagedCopies(folder)) {
        ::DeleteFileW(copy.c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}

bool ProfileExists() {
    return ::GetFileAttributesW((ProfileFolder() + L"\\Profile.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteTasks(const std::vector<core::Task>& tasks) {
    core::MemoryTaskList list;
    for (const core::Task& task : tasks) {
        list.AppendTask(task);
    }
    core::SaveTasks(list);
}

std::vector<core::Task> StoredTasks() {
    std::vector<core::Task> tasks;
    const int count = core::GetSettingInt(L"TaskCount", L"TaskCount");
    for (int i = 0; i < count; ++i) {
        const std::wstring section = L"Task" + std::to_wstring(i);
        tasks.push_back({core::GetSetting(section, L"Program"), core::GetSetting(section, L"Action"),
                         core::GetSetting(section, L"Time")});
    }
    return tasks;
}

// The time text of the moment this many seconds after the second now is in.
std::wstring TimeAfter(SYSTEMTIME now, int seconds) {
    now.wMilliseconds = 0;
    FILETIME file{};
    ::SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER value{{file.dwLowDateTime, file.dwHighDateTime}};
    value.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    file = {value.LowPart, value.HighPart};
    SYSTEMTIME later{};
    ::FileTimeToSystemTime(&file, &later);
    return core::FormatTaskTime(core::DateTimeValue::FromSystemTime(later));
}

// The time text of the moment this many seconds from now.
std::wstring TimeFromNow(int seconds) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return TimeAfter(now, seconds);
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024]{};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64]{};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

// A visible dialog of the process with this caption: a message box (it has the box's text control) or
// another dialog.
HWND FindDialogOf(DWORD processId, const std::wstring& caption, bool messageBox) {
    for (HWND hwnd : TopLevelWindowsOf(processId)) {
        if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == caption &&
            (::GetDlgItem(hwnd, kMessageBoxTextId) != nullptr) == messageBox) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND WaitForDialog(DWORD processId, const std::wstring& caption, bool messageBox = false, DWORD ms = kWait) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialogOf(processId, caption, messageBox)) != nullptr; }, ms);
    return found;
}

HWND WaitForMessageBox(DWORD processId, const std::wstring& caption, DWORD ms = kWait) {
    return WaitForDialog(processId, caption, true, ms);
}

std::wstring MessageText(HWND box) {
    return TextOf(::GetDlgItem(box, kMessageBoxTextId));
}

void Press(HWND dialog, int button) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
}

// Posts a menu command: for commands that open a dialog or a box.
void Command(HWND window, UINT id) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

// Sends a message and waits until it was handled: for what opens no dialog.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kWait, &result);
    return static_cast<LRESULT>(result);
}

// Sets an environment variable for the processes started meanwhile; the old state comes back after.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name) {
        wchar_t old[1024]{};
        const DWORD length = ::GetEnvironmentVariableW(name, old, 1024);
        m_had = length > 0 && length < 1024;
        m_old = m_had ? old : L"";
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(m_name, m_had ? m_old.c_str() : nullptr); }

private:
    const wchar_t* m_name;
    bool m_had;
    std::wstring m_old;
};

size_t CountLines(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.starts_with(prefix); }));
}

// A local date and time in milliseconds on the file-time scale.
long long LocalMilliseconds(const SYSTEMTIME& time) {
    FILETIME file{};
    ::SystemTimeToFileTime(&time, &file);
    const ULARGE_INTEGER value{{file.dwLowDateTime, file.dwHighDateTime}};
    return static_cast<long long>(value.QuadPart / 10000);
}

long long LocalNowMilliseconds() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return LocalMilliseconds(now);
}

// Start tasks due a few seconds from now, one copy of the helper each, so that the helper's record tells
// which task started which process and when. The copies and their processes go with the object.
class TimedStarts {
public:
    TimedStarts(const std::wstring& tag, const std::vector<int>& secondsFromNow) {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        now.wMilliseconds = 0;
        const long long base = LocalMilliseconds(now);
        for (size_t i = 0; i < secondsFromNow.size(); ++i) {
            Start start;
            start.path = testing_support::TempFilePath(L"due") + L"-" + tag + L"-" + std::to_wstring(i) + L".exe";
            start.name = start.path.substr(start.path.rfind(L'\\') + 1);
            ::CopyFileW(testing_support::HelperPath().c_str(), start.path.c_str(), FALSE);
            start.due = base + secondsFromNow[i] * 1000LL;
            start.time = TimeFromNow(secondsFromNow[i]);
            m_starts.push_back(start);
        }
    }
    TimedStarts(const TimedStarts&) = delete;
    TimedStarts& operator=(const TimedStarts&) = delete;
    ~TimedStarts() {
        for (const Started& started : Read()) {
            fw::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started.processId));
            if (process) {
                ::TerminateProcess(process.Get(), 0);
                ::WaitForSingleObject(process.Get(), kWait);
            }
        }
        for (const Start& start : m_starts) {
            ::DeleteFileW(start.path.c_str());
        }
        ::DeleteFileW(m_record.c_str());
    }

    const std::wstring& Record() const { return m_record; }
    long long FirstDue() const { return m_starts.front().due; }
    std::vector<core::Task> Tasks() const {
        std::vector<core::Task> tasks;
        for (const Start& start : m_starts) {
            tasks.push_back({start.path, L"Start", start.time});
        }
        return tasks;
    }
    // The record as it stands, for a failure's message.
    std::string Dump() const {
        std::string all;
        for (const std::wstring& line : ReadLines(m_record)) {
            all += std::string(line.begin(), line.end()) + "\n";
        }
        return all + std::to_string(Read().size());
    }
    bool AllStarted() const {
        const std::vector<Started> started = Read();
        return std::all_of(m_starts.begin(), m_starts.end(), [&](const Start& start) {
            return std::any_of(started.begin(), started.end(), [&](const Started& s) { return s.name == start.name; });
        });
    }
    // Each task started exactly once, in its own second or soon after: the figure is printed, and only a
    // generous bound is asserted, since a loaded machine may start a process slowly.
    void ExpectEachStartedOnceOnTime(const char* situation) const {
        const std::vector<Started> started = Read();
        for (const Start& start : m_starts) {
            std::vector<long long> stamps;
            for (const Started& s : started) {
                if (s.name == start.name) {
                    stamps.push_back(s.at);
                }
            }
            ASSERT_EQ(stamps.size(), 1u) << std::string(start.name.begin(), start.name.end());
            const long long late = stamps[0] - start.due;
            std::printf("%s: started %lld ms after its second began\n", situation, late);
            EXPECT_GE(late, 0);
            EXPECT_LT(late, 2000);
        }
    }

private:
    struct Start {
        std::wstring name;
        std::wstring path;
        std::wstring time;
        long long due = 0;
    };
    struct Started {
        DWORD processId = 0;
        long long at = 0;
        std::wstring name;
    };
    // "start <pid> <yyyy-mm-dd> <hh:mm:ss.mmm> <file name>"
    std::vector<Started> Read() const {
        std::vector<Started> started;
        for (const std::wstring& line : ReadLines(m_record)) {
            unsigned pid = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
            wchar_t name[MAX_PATH]{};
            if (std::swscanf(line.c_str(), L"start %u %u-%u-%u %u:%u:%u.%u %259ls", &pid, &year, &month, &day, &hour,
                             &minute, &second, &ms, name) != 9) {
                continue;
            }
            const SYSTEMTIME at{static_cast<WORD>(year),   static_cast<WORD>(month), 0,
                                static_cast<WORD>(day),    static_cast<WORD>(hour),  static_cast<WORD>(minute),
                                static_cast<WORD>(second), static_cast<WORD>(ms)};
            started.push_back({pid, LocalMilliseconds(at), name});
        }
        return started;
    }

    std::vector<Start> m_starts;
    std::wstring m_record = testing_support::TempFilePath(L"marlowick-due");
};

class MarlowickE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::GetFileAttributesW(MarlowickPath().c_str()), INVALID_FILE_ATTRIBUTES) << "marlowick.exe not built";
        RemoveProfile();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
    }

    void TearDown() override {
        // Nothing outlives a test: the program's processes go first, then the profile and the window's settings.
        m_processes.clear();
        RemoveProfile();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, core::kUserSettingsKey);
    }

    // Starts marlowick.exe; terminated at the end of the test if it still runs.
    HelperProcess& StartMarlowick() {
        m_processes.push_back(std::make_unique<HelperProcess>(std::vector<std::wstring>{}, MarlowickPath()));
        return *m_processes.back();
    }

    // Starts marlowick.exe and waits for its main window, visible.
    HWND StartMain(HelperProcess*& process) {
        process = &StartMarlowick();
        HWND main = nullptr;
        WaitUntil([&] { return (main = testing_support::VisibleMainWindowOf(process->Id())) != nullptr; }, kWait);
        return main;
    }

    std::vector<std::unique_ptr<HelperProcess>> m_processes;
};

TEST_F(MarlowickE2E, FirstStartShowsNoMessageAndASecondInstanceIsRefused) {
    HelperProcess* first = nullptr;
    HWND main = StartMain(first);
    ASSERT_TRUE(main);
    EXPECT_EQ(TextOf(main), L"Marlowick");
    // A first start: no message, an empty task list, and the settings file now exists.
    EXPECT_FALSE(FindDialogOf(first->Id(), L"Marlowick", true));
    EXPECT_TRUE(ProfileExists());
    RemoteList list(first->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    EXPECT_EQ(list.Count(), 0);

    HelperProcess& second = StartMarlowick();
    HWND box = WaitForMessageBox(second.Id(), L"Marlowick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), kAlreadyRunning);
    // The refused copy shows nothing else: no main window of its own.
    for (HWND hwnd : TopLevelWindowsOf(second.Id())) {
        EXPECT_FALSE(::GetDlgItem(hwnd, IDC_TASK_LIST));
    }
    Press(box, IDOK);
    EXPECT_EQ(second.WaitForExit(kWait), 0u);
    EXPECT_TRUE(first->IsRunning());
    EXPECT_TRUE(::IsWindowVisible(main));

    // After the first one has gone, a new copy runs normally.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(first->WaitForExit(kWait), 0u);
    HelperProcess* third = nullptr;
    EXPECT_TRUE(StartMain(third));
}

TEST_F(MarlowickE2E, TasksFireWhileMinimisedAndHidden) {
    const std::wstring record = testing_support::TempFilePath(L"marlowick-e2e");
    const std::wstring title = L"Marlowick e2e helper " + std::to_wstring(::GetCurrentProcessId());
    // The helper that the shell starts learns its record file and its window title from its environment.
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", record);
    ScopedEnvironment titleVariable(L"MWHELPER_TITLE", title);
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"30000");
    // Far enough ahead for a slow start of the program.
    WriteTasks({{testing_support::HelperPath(), L"Start", TimeFromNow(6)}, {title, L"Stop", TimeFromNow(10)}});
    core::SetSetting(L"Stop", L"TimeOut", L"10");
    core::SetSetting(L"Stop", L"ForceQuit", L"TRUE");

    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    EXPECT_EQ(list.Count(), 2);

    // The title-bar minimise: the start fires meanwhile.
    ::PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(main) != FALSE; }, kWait));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(record), L"start ") > 0; }, 15000));
    EXPECT_TRUE(marlowick->IsRunning());

    // Hide: the stop fires meanwhile, and the helper closes on the request.
    Command(main, IDC_HIDE);
    ASSERT_TRUE(testing_support::WaitForWindow(title, kWait));
    EXPECT_TRUE(WaitUntil([&] { return CountLines(ReadLines(record), L"exit ") > 0; }, 15000));
    EXPECT_TRUE(::IsIconic(main));
    EXPECT_TRUE(marlowick->IsRunning());

    const std::vector<std::wstring> lines = ReadLines(record);
    EXPECT_EQ(CountLines(lines, L"start "), 1u);
    EXPECT_EQ(CountLines(lines, L"close " + title), 1u);
    EXPECT_EQ(CountLines(lines, L"exit "), 1u);
    if (HWND left = ::FindWindowW(nullptr, title.c_str())) {
        ::PostMessageW(left, WM_CLOSE, 0, 0);
    }
    ::DeleteFileW(record.c_str());
}

TEST_F(MarlowickE2E, AStopWithoutStopOptionsGivesTheProgramTimeToCloseByItself) {
    const std::wstring record = testing_support::TempFilePath(L"marlowick-e2e-grace");
    const std::wstring title = L"Marlowick e2e saves first " + std::to_wstring(::GetCurrentProcessId());
    // A program that takes 2 s to close after the request, as one that saves its work first.
    HelperProcess helper({L"--close-delay", L"2000", L"--record", record, L"--title", title, L"--lifetime", L"60000"});
    ASSERT_TRUE(testing_support::WaitForWindow(title));
    // As on a fresh installation: the file holds the task and no "Stop" section.
    WriteTasks({{title, L"Stop", TimeFromNow(6)}});
    ASSERT_EQ(core::GetSetting(L"Stop", L"TimeOut"), L"");

    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    // It ended by itself, with its own exit code; a termination would have given 0.
    EXPECT_EQ(helper.WaitForExit(30000), 7u);
    const std::vector<std::wstring> lines = ReadLines(record);
    EXPECT_EQ(CountLines(lines, L"close " + title), 1u);
    EXPECT_EQ(CountLines(lines, L"exit "), 1u);
    EXPECT_TRUE(marlowick->IsRunning());
    EXPECT_FALSE(FindDialogOf(marlowick->Id(), L"Marlowick", true));
    ::DeleteFileW(record.c_str());
}

// The days of the week, today only or every day but today, as the profile writes them.
std::wstring TodayOnly(bool today) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const core::DayMask bit = 1u << now.wDayOfWeek;
    return core::FormatDays(today ? bit : core::kEveryDay & ~bit);
}

// A helper start that records into its own file, with the arguments the task passes.
core::Task RecordingStart(const std::wstring& record, int secondsFromNow) {
    core::Task task{testing_support::HelperPath(), L"Start", TimeFromNow(secondsFromNow)};
    task.arguments = L"--record \"" + record + L"\" --lifetime 5000";
    return task;
}

TEST_F(MarlowickE2E, DaysArgumentsFolderAndEnabledDecideWhatStartsAndHow) {
    const std::wstring given = testing_support::TempFilePath(L"marlowick-e2e-given");
    const std::wstring otherDay = testing_support::TempFilePath(L"marlowick-e2e-other-day");
    const std::wstring disabled = testing_support::TempFilePath(L"marlowick-e2e-disabled");
    const std::wstring marker = testing_support::TempFilePath(L"marlowick-e2e-marker");
    wchar_t temp[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"marlowick e2e folder " + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);

    core::Task today = RecordingStart(given, 6);
    today.days = TodayOnly(true);
    today.folder = folder;
    core::Task notToday = RecordingStart(otherDay, 6);
    notToday.days = TodayOnly(false);
    core::Task off = RecordingStart(disabled, 6);
    off.enabled = false;
    // Runs three seconds after the others: once it has started, they have had their second.
    WriteTasks({today, notToday, off, RecordingStart(marker, 9)});

    HelperProcess* marlowick = nullptr;
    ASSERT_TRUE(StartMain(marlowick));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(marker), L"start ") > 0; }, 20000));
    const std::vector<std::wstring> lines = ReadLines(given);
    EXPECT_EQ(CountLines(lines, L"start "), 1u);
    // The arguments reached the program (it found its record through them) and it started in the folder.
    EXPECT_EQ(CountLines(lines, L"args "), 1u);
    EXPECT_EQ(CountLines(lines, L"cwd " + folder), 1u);
    EXPECT_TRUE(ReadLines(otherDay).empty());
    EXPECT_TRUE(ReadLines(disabled).empty());
    // Every run is kept in the file: the task that ran has its last run, the others none.
    EXPECT_NE(core::GetSetting(L"Task0", L"LastRun"), L"");
    EXPECT_EQ(core::GetSetting(L"Task1", L"LastRun"), L"");
    EXPECT_EQ(core::GetSetting(L"Task2", L"LastRun"), L"");
    for (const std::wstring& path : {given, otherDay, disabled, marker}) {
        ::DeleteFileW(path.c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(MarlowickE2E, AMissedRunIsMadeUpOnceAfterStartUpAndNotAgainAtTheNextStart) {
    const std::wstring missed = testing_support::TempFilePath(L"marlowick-e2e-missed");
    const std::wstring marker = testing_support::TempFilePath(L"marlowick-e2e-missed-marker");
    // Due an hour ago; it last ran two days ago, while Marlowick was not running since.
    core::Task backup = RecordingStart(missed, -3600);
    backup.runIfMissed = true;
    SYSTEMTIME utc{};
    ::GetSystemTime(&utc);
    const core::UtcSeconds started = core::ToSeconds(utc).value();
    backup.lastRun = started - 2 * 24 * 3600;
    WriteTasks({backup});

    HelperProcess* marlowick = nullptr;
    ASSERT_TRUE(StartMain(marlowick));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(missed), L"start ") > 0; }, 15000));
    // The run is in the file before the program goes.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::optional<core::UtcSeconds> last = core::ParseUtc(core::GetSetting(L"Task0", L"LastRun"));
            return last && *last >= started;
        },
        kWait));
    m_processes.clear();

    // A second start, with a task that shows the program is firing: nothing is made up again.
    core::MemoryTaskList list;
    core::LoadTasks(list);
    ASSERT_EQ(list.GetTaskCount(), 1);
    list.AppendTask(RecordingStart(marker, 6));
    core::SaveTasks(list);
    ASSERT_TRUE(StartMain(marlowick));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(marker), L"start ") > 0; }, 20000));
    EXPECT_EQ(CountLines(ReadLines(missed), L"start "), 1u);
    ::DeleteFileW(marker.c_str());
    ::DeleteFileW(missed.c_str());
}

// A Run-if-missed task that has never run, known to a Marlowick that was closed before its time: the next start
// runs it once, within seconds, and a third start does not run it again.
TEST_F(MarlowickE2E, ARunIfMissedTaskThatNeverRanIsMadeUpOnceAfterMarlowickWasClosedThroughItsTime) {
    const std::wstring missed = testing_support::TempFilePath(L"marlowick-e2e-never-ran");
    const std::wstring marker = testing_support::TempFilePath(L"marlowick-e2e-never-ran-marker");
    const std::wstring laterMarker = testing_support::TempFilePath(L"marlowick-e2e-never-ran-later");
    const std::wstring firstMarker = testing_support::TempFilePath(L"marlowick-e2e-never-ran-first");
    constexpr int kDueIn = 12;
    core::Task backup = RecordingStart(missed, kDueIn);
    backup.runIfMissed = true;
    const ULONGLONG due = ::GetTickCount64() + kDueIn * 1000;
    WriteTasks({backup, RecordingStart(firstMarker, 3)});

    // Closed once it has watched the clock for a while: a task of its own has fired.
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(firstMarker), L"start ") > 0; }, kWait));
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    HWND confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
    ASSERT_TRUE(confirm);
    Press(confirm, IDC_CONFIRM_EXIT);
    ASSERT_EQ(marlowick->WaitForExit(kWait), 0u);
    ASSERT_LT(::GetTickCount64(), due) << "Marlowick took too long to start and close for this test";
    // The exit wrote how long Marlowick watched; the task has not run.
    EXPECT_NE(core::GetSetting(L"TaskCount", L"Watched"), L"");
    EXPECT_EQ(core::GetSetting(L"Task0", L"LastRun"), L"");
    m_processes.clear();
    WaitUntil([&] { return ::GetTickCount64() > due + 1000; }, kDueIn * 1000 + 2000);
    EXPECT_TRUE(ReadLines(missed).empty());

    // The next start makes it up at once; a later task shows the program went on firing without a second run.
    core::MemoryTaskList list;
    core::LoadTasks(list);
    list.AppendTask(RecordingStart(marker, 8));
    core::SaveTasks(list);
    ASSERT_TRUE(StartMain(marlowick));
    EXPECT_TRUE(WaitUntil([&] { return CountLines(ReadLines(missed), L"start ") > 0; }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(marker), L"start ") > 0; }, 20000));
    EXPECT_EQ(CountLines(ReadLines(missed), L"start "), 1u);
    ASSERT_TRUE(WaitUntil([&] { return core::GetSetting(L"Task0", L"LastRun") != L""; }, kWait));
    m_processes.clear();

    // A third start runs it no more.
    list = core::MemoryTaskList();
    core::LoadTasks(list);
    list.AppendTask(RecordingStart(laterMarker, 6));
    core::SaveTasks(list);
    ASSERT_TRUE(StartMain(marlowick));
    ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadLines(laterMarker), L"start ") > 0; }, 20000));
    EXPECT_EQ(CountLines(ReadLines(missed), L"start "), 1u);
    for (const std::wstring& path : {missed, marker, laterMarker, firstMarker}) {
        ::DeleteFileW(path.c_str());
    }
}

TEST_F(MarlowickE2E, ClosingWithNoTasksEndsAtOnceAndWritesTheEmptyList) {
    // The close box, Esc, and the tray menu's Exit.
    const std::pair<UINT, WPARAM> ways[] = {{WM_CLOSE, 0}, {WM_COMMAND, IDCANCEL}, {WM_COMMAND, IDM_TRAY_EXIT}};
    for (const auto& [message, wParam] : ways) {
        WriteTasks({});
        core::SetSetting(L"TaskCount", L"TaskCount", L"");
        HelperProcess* marlowick = nullptr;
        HWND main = StartMain(marlowick);
        ASSERT_TRUE(main);
        ::PostMessageW(main, message, wParam, 0);
        EXPECT_EQ(marlowick->WaitForExit(kWait), 0u) << message << " " << wParam;
        EXPECT_EQ(core::GetSetting(L"TaskCount", L"TaskCount"), L"0");
    }
}

TEST_F(MarlowickE2E, ClosingWithTasksAsksAndOnlyExitEnds) {
    const core::Task task{L"C:\\no\\such\\program.exe", L"Start", TimeFromNow(3 * 3600)};
    WriteTasks({task});
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);

    // Esc in the question hides the program.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    HWND confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
    ASSERT_TRUE(confirm);
    ::PostMessageW(confirm, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(main) != FALSE; }, kWait));
    EXPECT_FALSE(::IsWindow(confirm));
    EXPECT_TRUE(marlowick->IsRunning());

    // Tray Exit answered with Hide: the program stays and says "OnTrayExit".
    Command(main, IDM_TRAY_EXIT);
    confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
    ASSERT_TRUE(confirm);
    Press(confirm, IDC_CONFIRM_HIDE);
    HWND box = WaitForMessageBox(marlowick->Id(), L"Marlowick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"OnTrayExit");
    Press(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kWait));
    EXPECT_TRUE(marlowick->IsRunning());

    // Exit saves the list, whatever the file held meanwhile, and ends.
    WriteTasks({});
    Command(main, IDM_EXIT);
    confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
    ASSERT_TRUE(confirm);
    Press(confirm, IDC_CONFIRM_EXIT);
    EXPECT_EQ(marlowick->WaitForExit(kWait), 0u);
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].program, task.program);
    EXPECT_EQ(stored[0].time, task.time);
}

TEST_F(MarlowickE2E, RemoveTaskRemovesOnlyTheFirstSelectedRowAndSavesAtOnce) {
    const std::wstring later = TimeFromNow(3 * 3600);
    WriteTasks({{L"C:\\a.exe", L"Start", later}, {L"C:\\b.exe", L"Start", later}, {L"C:\\c.exe", L"Stop", later}});
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    ASSERT_TRUE(list.Valid());
    ASSERT_EQ(list.Count(), 3);

    list.Select(1, true);
    list.Select(2, true);
    Send(main, WM_COMMAND, IDM_REMOVE_TASK, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Column(0), (std::vector<std::wstring>{L"C:\\a.exe", L"C:\\c.exe"}));
    // In the file before any exit.
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].program, L"C:\\a.exe");
    EXPECT_EQ(stored[1].program, L"C:\\c.exe");
    EXPECT_EQ(stored[1].action, L"Stop");

    // With nothing selected, nothing goes.
    list.Select(1, false);
    Send(main, WM_COMMAND, IDM_REMOVE_TASK, 0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(StoredTasks().size(), 2u);
}

// Marlowick ended at random instants of its saves (a Remove, and the save at exit) starts next with the list
// as it was before that save or as the save left it, whole: it never loses a task.
TEST_F(MarlowickE2E, KilledAtRandomInstantsOfItsSavesItLosesNoTask) {
    const std::wstring later = TimeFromNow(3 * 3600);
    std::vector<std::wstring> programs;
    std::vector<core::Task> tasks;
    for (int i = 0; i < 1000; ++i) {
        programs.push_back(L"C:\\tools\\tool" + std::to_wstring(i) + L".exe");
        tasks.push_back({programs.back(), L"Start", later});
    }
    WriteTasks(tasks);
    const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::uniform_int_distribution<DWORD> instant(0, 30);
    int previous = 0, next = 0, lost = 0;
    for (int round = 0; round <= 20; ++round) {
        HelperProcess* marlowick = nullptr;
        HWND main = StartMain(marlowick);
        ASSERT_TRUE(main);
        RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
        ASSERT_TRUE(list.Valid());
        // The start after the last kill: the list before that save, or the one after it.
        const std::vector<std::wstring> shown = list.Column(0);
        const std::vector<std::wstring> removed(programs.begin() + (programs.empty() ? 0 : 1), programs.end());
        if (round > 0 && shown == removed && shown != programs) {
            ++next;
            programs = removed;
        } else if (round > 0) {
            ++previous;
        }
        lost += static_cast<int>(programs.size() - std::min(programs.size(), shown.size()));
        ASSERT_EQ(shown, programs) << "round " << round << ", seed " << seed;
        if (round == 20) {
            break;
        }

        const DWORD wait = instant(random);
        if (round % 5 == 4) {
            ::PostMessageW(main, WM_CLOSE, 0, 0);
            HWND confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
            ASSERT_TRUE(confirm);
            ::PostMessageW(confirm, WM_COMMAND, IDC_CONFIRM_EXIT, 0);
        } else {
            list.Select(0, true);
            ::PostMessageW(main, WM_COMMAND, IDM_REMOVE_TASK, 0);
        }
        ::Sleep(wait);
        marlowick->Kill();
    }
    std::printf(
        "20 kills in saves of about 1,000 tasks (seed %u): %d starts found the list before the save, %d the "
        "list after it, %d tasks lost\n",
        seed, previous, next, lost);
    EXPECT_EQ(lost, 0);
}

TEST_F(MarlowickE2E, EndingTheSessionAgreesAndSavesTheList) {
    const core::Task task{L"C:\\kept.exe", L"Stop", TimeFromNow(3 * 3600)};
    WriteTasks({task});
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    WriteTasks({});
    EXPECT_EQ(Send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(StoredTasks().empty());  // asking saves nothing
    Send(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].program, task.program);
    EXPECT_EQ(stored[0].action, task.action);
}

TEST_F(MarlowickE2E, AProfileLockedAtStartUpOutlivesASessionEndAndAnExit) {
    const std::wstring later = TimeFromNow(3 * 3600);
    WriteTasks({{L"C:\\first.exe", L"Start", later}, {L"C:\\second.exe", L"Stop", later}});
    const std::wstring path = ProfileFolder() + L"\\Profile.txt";
    const std::string before = testing_support::ReadFileBytes(path);
    const auto lockProfile = [&] {
        return fw::UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    const auto startLocked = [&](HelperProcess*& marlowick) -> HWND {
        marlowick = &StartMarlowick();
        HWND box = WaitForMessageBox(marlowick->Id(), L"Marlowick");
        if (!box) {
            return nullptr;
        }
        EXPECT_EQ(MessageText(box), L"Can not open file " + path + L" for read\n");
        Press(box, IDOK);
        HWND main = nullptr;
        WaitUntil(
            [&] {
                main = testing_support::VisibleMainWindowOf(marlowick->Id());
                return main && !FindDialogOf(marlowick->Id(), L"Marlowick", true);
            },
            kWait);
        return main;
    };

    {
        // Held through the whole run: the session end, then the close with an empty list, write nothing.
        fw::UniqueFile lock = lockProfile();
        ASSERT_TRUE(lock);
        HelperProcess* marlowick = nullptr;
        HWND main = startLocked(marlowick);
        ASSERT_TRUE(main);
        RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(Send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
        Send(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(marlowick->WaitForExit(kWait), 0u);
    }
    EXPECT_EQ(testing_support::ReadFileBytes(path), before);
    EXPECT_EQ(StoredTasks().size(), 2u);

    {
        // Let go after the start: the session end reads the file first and keeps its tasks.
        fw::UniqueFile lock = lockProfile();
        ASSERT_TRUE(lock);
        HelperProcess* marlowick = nullptr;
        HWND main = startLocked(marlowick);
        ASSERT_TRUE(main);
        lock.Reset();
        Send(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        // The save read them; the list shows them once the window has taken the service's news, after the send.
        RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
        const std::vector<std::wstring> both{L"C:\\first.exe", L"C:\\second.exe"};
        WaitUntil([&] { return list.Column(0) == both; }, kWait);
        EXPECT_EQ(list.Column(0), both);
        // The tasks are in the list now, so leaving asks first; Exit writes them back.
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        HWND confirm = WaitForDialog(marlowick->Id(), L"Please Confirm");
        ASSERT_TRUE(confirm);
        Press(confirm, IDC_CONFIRM_EXIT);
        EXPECT_EQ(marlowick->WaitForExit(kWait), 0u);
    }
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].program, L"C:\\first.exe");
    EXPECT_EQ(stored[1].program, L"C:\\second.exe");
    EXPECT_EQ(stored[1].action, L"Stop");
    EXPECT_EQ(stored[1].time, later);
}

TEST_F(MarlowickE2E, StartsWithThePlainLookWithoutTheSkinLibrary) {
    wchar_t temp[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"marlowick-noskin-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\marlowick.exe";
    ASSERT_TRUE(::CopyFileW(MarlowickPath().c_str(), copy.c_str(), FALSE));
    {
        HelperProcess marlowick({}, copy);
        HWND main = nullptr;
        EXPECT_TRUE(
            WaitUntil([&] { return (main = testing_support::VisibleMainWindowOf(marlowick.Id())) != nullptr; }, kWait));
        EXPECT_FALSE(FindDialogOf(marlowick.Id(), L"Marlowick", true));
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(marlowick.WaitForExit(kWait), 0u);
    }
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(MarlowickE2E, AddedTaskIsInTheFileAtOnce) {
    const std::wstring title = L"Marlowick e2e picked " + std::to_wstring(::GetCurrentProcessId());
    HelperProcess helper({L"--title", title, L"--lifetime", L"30000"});
    ASSERT_TRUE(testing_support::WaitForWindow(title));
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);

    Command(main, IDM_ADD_TASK);
    HWND option = WaitForDialog(marlowick->Id(), L"Task Option");
    ASSERT_TRUE(option);
    Press(option, IDC_FROM_PROCESS);
    HWND picker = WaitForDialog(marlowick->Id(), L"Please select a process");
    ASSERT_TRUE(picker);
    RemoteList processes(marlowick->Id(), ::GetDlgItem(picker, IDC_PROCESS_LIST));
    const std::wstring helperPath = testing_support::HelperPath();
    int row = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::wstring> paths = processes.Column(0);
            const auto found = std::find_if(paths.begin(), paths.end(), [&](const std::wstring& path) {
                return ::lstrcmpiW(path.c_str(), helperPath.c_str()) == 0;
            });
            row = found == paths.end() ? -1 : static_cast<int>(found - paths.begin());
            return row >= 0;
        },
        kWait));
    processes.Select(row, true);
    Press(picker, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(picker); }, kWait));
    Press(option, IDOK);

    HWND prompt = WaitForMessageBox(marlowick->Id(), L"");
    ASSERT_TRUE(prompt);
    EXPECT_EQ(MessageText(prompt), L"Do you want to test run the task now?");
    // The task is stored while the question is still open, before any exit.
    std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(::lstrcmpiW(stored[0].program.c_str(), helperPath.c_str()), 0) << stored[0].program;
    EXPECT_EQ(stored[0].action, L"Start");
    EXPECT_TRUE(core::ParseTaskTime(stored[0].time).IsValid());

    Press(prompt, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(prompt); }, kWait));
    RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    EXPECT_EQ(list.Count(), 1);
    stored = StoredTasks();
    EXPECT_EQ(stored.size(), 1u);
}

TEST_F(MarlowickE2E, ModifiedTaskKeepsItsRowAndIsInTheFileAtOnce) {
    const std::wstring later = TimeFromNow(3 * 3600);
    WriteTasks({{L"C:\\a.exe", L"Start", later}, {L"Some window title", L"Stop", later}});
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    ASSERT_EQ(list.Count(), 2);

    // Nothing selected: nothing opens.
    Send(main, WM_COMMAND, IDM_MODIFY_TASK, 0);
    EXPECT_FALSE(FindDialogOf(marlowick->Id(), L"Task Option", false));

    // Cancel leaves the row as it was; OK stores it at the same place, saved before any exit.
    list.Select(1, true);
    Command(main, IDM_MODIFY_TASK);
    HWND option = WaitForDialog(marlowick->Id(), L"Task Option");
    ASSERT_TRUE(option);
    EXPECT_EQ(TextOf(::GetDlgItem(option, IDC_PROGRAM_EDIT)), L"Some window title");
    Press(option, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(option); }, kWait));

    WriteTasks({});
    Command(main, IDM_MODIFY_TASK);
    option = WaitForDialog(marlowick->Id(), L"Task Option");
    ASSERT_TRUE(option);
    Press(option, IDOK);
    HWND prompt = WaitForMessageBox(marlowick->Id(), L"");
    ASSERT_TRUE(prompt);
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].program, L"C:\\a.exe");
    // A Stop task keeps its window title; its time is the same time of day.
    EXPECT_EQ(stored[1].program, L"Some window title");
    EXPECT_EQ(stored[1].action, L"Stop");
    EXPECT_EQ(stored[1].time, later);
    Press(prompt, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(prompt); }, kWait));
    EXPECT_EQ(list.Column(0), (std::vector<std::wstring>{L"C:\\a.exe", L"Some window title"}));
}

TEST_F(MarlowickE2E, OptionsAndAboutOpenOverTheMainWindow) {
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);

    Command(main, IDC_OPTIONS);
    HWND sheet = WaitForDialog(marlowick->Id(), L"Config");
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(::IsWindowEnabled(main));
    ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(sheet); }, kWait));

    // The About item of the system menu and the Help menu's About show the same box.
    for (const auto& [message, id] : {std::pair<UINT, UINT>{WM_SYSCOMMAND, IDM_ABOUTBOX}, {WM_COMMAND, IDM_ABOUT}}) {
        ::PostMessageW(main, message, id, 0);
        HWND about = WaitForDialog(marlowick->Id(), L"About Marlowick");
        ASSERT_TRUE(about);
        EXPECT_EQ(TextOf(::GetDlgItem(about, IDC_ABOUT_RIGHTS)), L"Copyright (C) 2026 Korvane. All rights reserved.");
        Press(about, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about); }, kWait));
    }
    EXPECT_TRUE(::IsWindowEnabled(main));
}

TEST_F(MarlowickE2E, TrayDoubleClickTogglesAndTheIconComesBackAfterATaskbarRestart) {
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    const UINT trayMessage = ::RegisterClipboardFormatW(L"Tray.{47BCDAC1-2E6F-4f9a-9A3F-68A3B97CE33E}");

    Send(main, trayMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsIconic(main));
    // Another icon identifier, and a single click, do nothing.
    Send(main, trayMessage, 2, WM_LBUTTONDBLCLK);
    Send(main, trayMessage, 1, WM_LBUTTONUP);
    EXPECT_TRUE(::IsIconic(main));
    Send(main, trayMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(::IsIconic(main));
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_TRUE(marlowick->IsRunning());

    // The shell's own view of the icon: a change to it succeeds only while the icon exists.
    const auto iconExists = [&] {
        NOTIFYICONDATAW probe{};
        probe.cbSize = NOTIFYICONDATAW_V1_SIZE;
        probe.hWnd = main;
        probe.uID = 1;
        return ::Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
    };
    ASSERT_TRUE(WaitUntil(iconExists, kWait));
    NOTIFYICONDATAW gone{};
    gone.cbSize = NOTIFYICONDATAW_V1_SIZE;
    gone.hWnd = main;
    gone.uID = 1;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(iconExists());
    // What a restarted taskbar tells every top-level window.
    ::PostMessageW(main, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil(iconExists, kWait));
}

// Firing does not wait for the window: whatever holds its thread, the tasks of each second start in it,
// each once.
TEST_F(MarlowickE2E, TasksStartOnTimeWhileTheOptionsSheetIsOpen) {
    TimedStarts starts(L"sheet", {8, 9, 11});
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", starts.Record());
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"20000");
    WriteTasks(starts.Tasks());
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    Command(main, IDC_OPTIONS);
    HWND sheet = WaitForDialog(marlowick->Id(), L"Config");
    ASSERT_TRUE(sheet);
    ASSERT_LT(LocalNowMilliseconds(), starts.FirstDue()) << "the program came up too slowly to test this";

    ASSERT_TRUE(WaitUntil([&] { return starts.AllStarted(); }, 20000)) << starts.Dump();
    EXPECT_TRUE(::IsWindow(sheet));
    starts.ExpectEachStartedOnceOnTime("Options sheet open");
    ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(sheet); }, kWait));
}

TEST_F(MarlowickE2E, TasksStartOnTimeWhileABoxOfAnEarlierTaskIsOpen) {
    TimedStarts starts(L"box", {8, 9, 11});
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", starts.Record());
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"20000");
    const std::wstring missing = L"No window has this title " + std::to_wstring(::GetCurrentProcessId());
    std::vector<core::Task> tasks = starts.Tasks();
    // The stop comes first in the list and in time; its box stays open meanwhile.
    tasks.insert(tasks.begin(), {missing, L"Stop", TimeFromNow(6)});
    tasks.push_back({missing, L"Stop", TimeFromNow(8)});
    WriteTasks(tasks);
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    HWND box = WaitForMessageBox(marlowick->Id(), L"Marlowick", 15000);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"Can not find program: " + missing);
    ASSERT_LT(LocalNowMilliseconds(), starts.FirstDue()) << "the program came up too slowly to test this";

    ASSERT_TRUE(WaitUntil([&] { return starts.AllStarted(); }, 20000)) << starts.Dump();
    EXPECT_TRUE(::IsWindow(box));
    starts.ExpectEachStartedOnceOnTime("message box open");
    // The later stop's box does not wait for the first one either: both are open, each once.
    std::vector<HWND> boxes;
    ASSERT_TRUE(WaitUntil(
        [&] {
            boxes.clear();
            for (HWND hwnd : TopLevelWindowsOf(marlowick->Id())) {
                if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == L"Marlowick" &&
                    ::GetDlgItem(hwnd, kMessageBoxTextId)) {
                    boxes.push_back(hwnd);
                }
            }
            return boxes.size() == 2;
        },
        kWait));
    for (HWND open : boxes) {
        EXPECT_EQ(MessageText(open), L"Can not find program: " + missing);
    }
    // The later box runs inside the earlier one's loop: both are answered, in any order.
    for (HWND open : boxes) {
        Press(open, IDOK);
    }
    EXPECT_TRUE(WaitUntil([&] { return !FindDialogOf(marlowick->Id(), L"Marlowick", true); }, kWait));
    EXPECT_TRUE(marlowick->IsRunning());
}

TEST_F(MarlowickE2E, TasksStartOnTimeWhileTheWindowThreadIsSuspended) {
    TimedStarts starts(L"suspended", {8, 9, 10});
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", starts.Record());
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"20000");
    WriteTasks(starts.Tasks());
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    const DWORD threadId = ::GetWindowThreadProcessId(main, nullptr);
    fw::UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId));
    ASSERT_TRUE(thread);
    // Suspended from shortly before the first task's second for three seconds.
    ASSERT_TRUE(WaitUntil([&] { return LocalNowMilliseconds() >= starts.FirstDue() - 500; }, 15000));
    ASSERT_NE(::SuspendThread(thread.Get()), static_cast<DWORD>(-1));
    const long long suspended = LocalNowMilliseconds();
    {
        struct Resume {
            HANDLE thread;
            ~Resume() { ::ResumeThread(thread); }
        } resume{thread.Get()};
        ASSERT_LT(suspended, starts.FirstDue());
        // Proof that the window really is held: it does not answer.
        DWORD_PTR ignored = 0;
        EXPECT_EQ(::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &ignored), 0);
        WaitUntil([&] { return LocalNowMilliseconds() >= suspended + 3000; }, 5000);
    }
    // A start held back by the window would come after the resume, two and a half seconds late at least.
    ASSERT_TRUE(WaitUntil([&] { return starts.AllStarted(); }, 15000)) << starts.Dump();
    starts.ExpectEachStartedOnceOnTime("window thread suspended");
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kWait, &answer), 0);
}

// Start-up and answers with a long list, and with profiles that claim one: the figures are printed, and
// only generous bounds are asserted.
// Drags the right edge of a column's heading by dx, as the mouse would: the header follows a captured drag.
void DragDivider(HWND list, int column, int dx) {
    HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
    int right = 0;
    for (int i = 0; i <= column; ++i) {
        right += static_cast<int>(Send(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
    }
    const int y = 5;
    ::PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(right - 1, y));
    ::PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(right - 1 + dx / 2, y));
    ::PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(right - 1 + dx, y));
    ::PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(right - 1 + dx, y));
}

TEST_F(MarlowickE2E, ARestartRestoresTheWindowsSizeAndAColumnWidthTheUserSet) {
    HelperProcess* first = nullptr;
    HWND main = StartMain(first);
    ASSERT_TRUE(main);
    RECT window{};
    ::GetWindowRect(main, &window);
    const int width = window.right - window.left;
    const int taller = window.bottom - window.top + 300;
    HWND list = ::GetDlgItem(main, IDC_TASK_LIST);
    RECT listRect{};
    ::GetWindowRect(list, &listRect);
    const int listHeight = listRect.bottom - listRect.top;
    ::SetWindowPos(main, nullptr, 0, 0, width, taller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetWindowRect(list, &listRect);
    EXPECT_EQ(listRect.bottom - listRect.top, listHeight + 300);

    // The Time column (the third, left of its divider) made 40 pixels wider by the user.
    const auto timeWidth = [&] { return static_cast<int>(Send(list, LVM_GETCOLUMNWIDTH, 2, 0)); };
    const int time = timeWidth();
    DragDivider(list, 2, 40);
    ASSERT_TRUE(WaitUntil([&] { return timeWidth() == time + 40; }, kWait)) << time << " -> " << timeWidth();
    // Written a moment after the last change; both changes are in that one write.
    ASSERT_TRUE(WaitUntil([] { return app::ReadColumnWidths(3)[2] > 0; }, kWait));
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(first->WaitForExit(kWait), 0u);

    HelperProcess* second = nullptr;
    main = StartMain(second);
    ASSERT_TRUE(main);
    ::GetWindowRect(main, &window);
    EXPECT_EQ(window.right - window.left, width);
    EXPECT_EQ(window.bottom - window.top, taller);
    list = ::GetDlgItem(main, IDC_TASK_LIST);
    ::GetWindowRect(list, &listRect);
    EXPECT_EQ(listRect.bottom - listRect.top, listHeight + 300);
    EXPECT_EQ(timeWidth(), time + 40);
}

class MarlowickSizeE2E : public MarlowickE2E {
protected:
    // Starts the program, waits for its visible window and asks it a few questions meanwhile.
    void ExpectResponsiveWithRows(const char* what, int rows) {
        const auto start = std::chrono::steady_clock::now();
        HelperProcess* marlowick = nullptr;
        HWND main = StartMain(marlowick);
        ASSERT_TRUE(main);
        const double visible = SecondsSince(start);
        double slowest = 0;
        for (int i = 0; i < 10; ++i) {
            const auto asked = std::chrono::steady_clock::now();
            DWORD_PTR answer = 0;
            ASSERT_NE(::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kWait, &answer), 0);
            slowest = std::max(slowest, SecondsSince(asked));
            ::Sleep(50);
        }
        std::printf("%s: window visible after %.0f ms, slowest of 10 answers %.1f ms\n", what, visible * 1000,
                    slowest * 1000);
        EXPECT_LT(visible, 4.0);
        EXPECT_LT(slowest, 0.5);
        RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
        ASSERT_EQ(list.Count(), rows);
        EXPECT_EQ(list.Text(rows - 1, 2), core::GetSetting(L"Task" + std::to_wstring(rows - 1), L"Time"));
    }

    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(MarlowickSizeE2E, TenThousandTasksShowAtOnce) {
    std::vector<core::Task> tasks;
    for (int i = 0; i < core::kMaxTasks; ++i) {
        // Times far from now: nothing fires during the test.
        tasks.push_back({L"C:\\Tools\\tool" + std::to_wstring(i) + L".exe", L"Start", TimeFromNow(6 * 3600 + i)});
    }
    WriteTasks(tasks);
    ExpectResponsiveWithRows("10,000 tasks", core::kMaxTasks);
}

TEST_F(MarlowickSizeE2E, CountsWithoutSectionsShowAtOnce) {
    for (const wchar_t* count : {L"2147483647", L"10000"}) {
        SCOPED_TRACE(testing::Message() << std::string(count, count + std::wcslen(count)));
        RemoveProfile();
        ASSERT_TRUE(core::SetSetting(L"TaskCount", L"TaskCount", count));
        ExpectResponsiveWithRows(std::wcslen(count) > 5 ? "TaskCount=2147483647" : "TaskCount=10000", core::kMaxTasks);
        m_processes.clear();
    }
}

TEST_F(MarlowickE2E, ADamagedProfileShowsEveryTaskAndIsKeptAsideAtStart) {
    using namespace std::string_literals;
    // Times far from now: nothing fires during the test.
    std::string times[3];
    for (int i = 0; i < 3; ++i) {
        const std::wstring time = TimeFromNow(6 * 3600 + i);
        times[i].assign(time.begin(), time.end());
    }
    const std::string damaged =
        "[TaskCount]\r\nTaskCount=3\r\n\0\0\r\n[Task0]\r\nProgram=C:\\one.exe\0junk\r\nAction=Start\r\nTime="s +
        times[0] + "\r\n[Task1]\r\nProgram=C:\\two.exe\r\nAction=Stop\0\r\nTime="s + times[1] +
        "\r\n[Task2]\r\nProgram=C:\\three.exe\r\nAction=Start\r\nTime=" + times[2] + "\0\0\r\n"s;
    ASSERT_FALSE(core::GetConfigFolder().empty());
    ASSERT_TRUE(testing_support::WriteFileBytes(ProfileFolder() + L"\\Profile.txt", damaged));
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    RemoteList list(marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Text(0, 0), L"C:\\one.exe");
    EXPECT_EQ(list.Text(1, 1), L"Stop");
    EXPECT_EQ(list.Text(2, 2), std::wstring(times[2].begin(), times[2].end()));
    const std::vector<std::wstring> copies = testing_support::DamagedCopies(ProfileFolder());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(testing_support::ReadFileBytes(copies[0]), damaged);
}

TEST_F(MarlowickE2E, TheOptionsPageWritesAndRemovesTheRunKeyValueThatStartsMarlowick) {
    control_test::RunValueReset reset;
    HelperProcess* marlowick = nullptr;
    HWND main = StartMain(marlowick);
    ASSERT_TRUE(main);
    // Opens the sheet, checks the box's state, clicks it and confirms with OK.
    const auto toggle = [&](bool ticked) {
        Command(main, IDC_OPTIONS);
        HWND sheet = WaitForDialog(marlowick->Id(), L"Config");
        ASSERT_TRUE(sheet);
        HWND page = reinterpret_cast<HWND>(Send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        HWND box = ::GetDlgItem(page, IDC_START_AT_LOGON);
        ASSERT_TRUE(box);
        EXPECT_EQ(ticked ? BST_CHECKED : BST_UNCHECKED, Send(box, BM_GETCHECK, 0, 0));
        Send(box, BM_CLICK, 0, 0);
        ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(sheet); }, kWait));
    };
    toggle(false);
    const auto written = control_test::ReadRunValue();
    ASSERT_TRUE(written);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), written->type);
    EXPECT_EQ(L"\"" + MarlowickPath() + L"\"", written->text);

    toggle(true);
    EXPECT_FALSE(control_test::ReadRunValue());
}

// A Stop task that warns, and the window it runs against: a helper that records what it receives.
class StopWarningE2E : public MarlowickE2E {
protected:
    // The stop comes this many seconds from now and warns warn seconds before.
    void WriteStop(int seconds, int warn, std::vector<core::Task> others = {}) {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        now.wMilliseconds = 0;
        m_due = LocalMilliseconds(now) + seconds * 1000LL;
        core::Task stop{m_title, L"Stop", TimeAfter(now, seconds)};
        stop.warn = std::to_wstring(warn);
        others.insert(others.begin(), stop);
        WriteTasks(others);
        core::SetSetting(L"Stop", L"TimeOut", L"10");
        core::SetSetting(L"Options", L"PostponeMinutes", L"1");
    }
    // The warning window of Marlowick once its text is filled, or null after the time.
    HWND WaitForWarning(DWORD ms) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (HWND hwnd : TopLevelWindowsOf(m_marlowick->Id())) {
                    if (ClassOf(hwnd) == app::kWarningClass && ::IsWindowVisible(hwnd) &&
                        !TextOf(::GetDlgItem(hwnd, app::kWarningTextId)).empty()) {
                        found = hwnd;
                        return true;
                    }
                }
                return false;
            },
            ms);
        return found;
    }
    // The history's events for the helper's window.
    std::vector<std::wstring> Events() const {
        std::vector<std::wstring> events;
        for (const core::history::Line& line : core::history::Read(ProfileFolder())) {
            if (line.program == m_title) {
                events.push_back(line.event);
            }
        }
        return events;
    }
    bool HasEvent(const wchar_t* event) const {
        const std::vector<std::wstring> events = Events();
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    size_t Closes() const { return CountLines(ReadLines(m_record), L"close " + m_title); }

    std::wstring m_record = testing_support::TempFilePath(L"marlowick-warned");
    // Each test's own, so that the history's lines of one test are not another's.
    std::wstring m_title = L"Marlowick warned helper " + std::to_wstring(::GetCurrentProcessId()) + L" " +
                           std::to_wstring(::GetTickCount64());
    HelperProcess m_helper{{L"--record", m_record, L"--title", m_title, L"--lifetime", L"150000"}};
    HelperProcess* m_marlowick = nullptr;
    long long m_due = 0;
};

TEST_F(StopWarningE2E, AWarningComesBeforeTheStopWhichComesAtItsTimeWithoutAnAnswerAndOtherTasksKeepTheirs) {
    ASSERT_TRUE(testing_support::WaitForWindow(m_title));
    // A start due while the warning is up.
    TimedStarts starts(L"warned", {14});
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", starts.Record());
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"20000");
    WriteStop(16, 6, starts.Tasks());
    HWND main = StartMain(m_marlowick);
    ASSERT_TRUE(main);
    HWND warning = WaitForWarning(15000);
    const long long ahead = m_due - LocalNowMilliseconds();
    ASSERT_TRUE(warning);
    std::printf("the warning came %lld ms before the stop's time\n", ahead);
    EXPECT_LE(ahead, 6000);
    EXPECT_GE(ahead, 4000);
    EXPECT_EQ(TextOf(warning), L"Closing soon");
    const std::wstring text = TextOf(::GetDlgItem(warning, app::kWarningTextId));
    EXPECT_NE(text.find(L"Marlowick will close " + m_title + L" in "), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_TRUE(::GetDlgItem(warning, app::kPostponeId));

    ASSERT_TRUE(WaitUntil([&] { return starts.AllStarted(); }, 15000)) << starts.Dump();
    starts.ExpectEachStartedOnceOnTime("warning up");
    EXPECT_EQ(m_helper.WaitForExit(20000), 7u);
    const long long closedAfter = LocalNowMilliseconds() - m_due;
    EXPECT_GE(closedAfter, -500);
    EXPECT_EQ(Closes(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(warning); }, kWait));
}

TEST_F(StopWarningE2E, PostponeKeepsTheProgramPastItsTimeWithoutTakingTheFocusAndClosesItAfterThePostponement) {
    ASSERT_TRUE(testing_support::WaitForWindow(m_title));
    WriteStop(10, 5);
    HWND main = StartMain(m_marlowick);
    ASSERT_TRUE(main);
    // The user types in a window of their own.
    HelperProcess typing({L"--title", L"Typing here " + m_title, L"--lifetime", L"120000"});
    HWND editor = testing_support::WaitForWindow(L"Typing here " + m_title);
    ASSERT_TRUE(editor);
    ::SetForegroundWindow(editor);
    HWND warning = WaitForWarning(15000);
    ASSERT_TRUE(warning);
    const HWND foreground = ::GetForegroundWindow();
    ASSERT_EQ(foreground, editor);
    EXPECT_NE(foreground, warning);
    ::SendMessageW(::GetDlgItem(warning, app::kPostponeId), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return HasEvent(core::history::kPostponed); }, kWait));
    EXPECT_FALSE(::IsWindow(warning));
    EXPECT_EQ(::GetForegroundWindow(), foreground);

    // Warned again before the new time, a minute later: the program still runs, past its first time.
    HWND again = WaitForWarning(70000);
    ASSERT_TRUE(again);
    EXPECT_GT(LocalNowMilliseconds(), m_due + 50000);
    EXPECT_TRUE(m_helper.IsRunning());
    EXPECT_EQ(Closes(), 0u);
    EXPECT_EQ(m_helper.WaitForExit(20000), 7u);
    EXPECT_GE(LocalNowMilliseconds(), m_due + 59500);
    EXPECT_EQ(Closes(), 1u);
}

TEST_F(StopWarningE2E, AWarningGoesWithItsProgram) {
    HWND window = testing_support::WaitForWindow(m_title);
    ASSERT_TRUE(window);
    WriteStop(12, 8);
    HWND main = StartMain(m_marlowick);
    ASSERT_TRUE(main);
    HWND warning = WaitForWarning(15000);
    ASSERT_TRUE(warning);
    // The user closes the program before its time.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_helper.WaitForExit(kWait), 7u);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(warning); }, kWait));
    EXPECT_LT(LocalNowMilliseconds(), m_due);
}

TEST_F(StopWarningE2E, SkipThisTimeLeavesTheProgramRunning) {
    ASSERT_TRUE(testing_support::WaitForWindow(m_title));
    // A start after the stop's time shows when that time has passed.
    TimedStarts starts(L"skipped", {12});
    ScopedEnvironment recordVariable(L"MWHELPER_RECORD", starts.Record());
    ScopedEnvironment lifetimeVariable(L"MWHELPER_LIFETIME", L"20000");
    WriteStop(10, 5, starts.Tasks());
    HWND main = StartMain(m_marlowick);
    ASSERT_TRUE(main);
    HWND warning = WaitForWarning(15000);
    ASSERT_TRUE(warning);
    ::SendMessageW(::GetDlgItem(warning, app::kSkipId), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return HasEvent(core::history::kSkipped); }, kWait));
    ASSERT_TRUE(WaitUntil([&] { return starts.AllStarted(); }, 20000)) << starts.Dump();
    EXPECT_TRUE(m_helper.IsRunning());
    EXPECT_EQ(Closes(), 0u);
    EXPECT_EQ(Events(), std::vector<std::wstring>{core::history::kSkipped});
}

}  // namespace
