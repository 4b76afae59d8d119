// Starting programs through the shell, and the hand-off of a due task to start or stop.
#include "control/KeepAwake.h"
#include "control/ProcessPath.h"
#include "control/ProgramStart.h"
#include "control/ProgramRunner.h"
#include "control/ProgramStop.h"
#include "core/Scheduler.h"
#include "core/TaskTime.h"

#include "ControlTestSupport.h"

#include <psapi.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <optional>
#include <thread>

namespace control_test {
namespace {

using Messages = std::vector<std::wstring>;

// Helpers that the shell starts take their record file from the environment while this object lives.
class RecordThroughEnvironment {
public:
    explicit RecordThroughEnvironment(const std::wstring& record) {
        ::SetEnvironmentVariableW(L"MWHELPER_RECORD", record.c_str());
        ::SetEnvironmentVariableW(L"MWHELPER_LIFETIME", L"30000");
    }
    ~RecordThroughEnvironment() {
        ::SetEnvironmentVariableW(L"MWHELPER_RECORD", nullptr);
        ::SetEnvironmentVariableW(L"MWHELPER_LIFETIME", nullptr);
    }
};

// Ends the process that a record names, when the test is over.
struct KillRecorded {
    std::wstring record;
    ~KillRecorded() {
        if (const DWORD id = RecordedProcessId(record)) {
            KillProcess(id);
        }
    }
};

// The running processes whose image is this file.
std::vector<DWORD> ProcessesOf(const std::wstring& path) {
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes);
    ids.resize(bytes / sizeof(DWORD));
    std::vector<DWORD> found;
    for (DWORD id : ids) {
        if (id != 0 && ::lstrcmpiW(control::GetProcessImagePath(id).c_str(), path.c_str()) == 0) {
            found.push_back(id);
        }
    }
    return found;
}

// The rest of the first record line that begins with the prefix, once there is one; nullopt otherwise.
std::optional<std::wstring> RecordedAfter(const std::wstring& record, const std::wstring& prefix) {
    std::optional<std::wstring> found;
    WaitUntil(
        [&] {
            for (const std::wstring& line : testing_support::ReadLines(record)) {
                if (line.starts_with(prefix)) {
                    found = line.substr(prefix.size());
                    return true;
                }
            }
            return false;
        },
        10000);
    return found;
}

std::wstring CurrentFolder() {
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

using ProgramStartTest = ControlTest;

TEST_F(ProgramStartTest, ExecutableRuns) {
    const std::wstring record = testing_support::TempFilePath(L"start-exe");
    KillRecorded cleanup{record};
    {
        RecordThroughEnvironment environment(record);
        EXPECT_EQ(control::StartProgram(testing_support::HelperPath(), {}, {}).result, L"started");
    }
    EXPECT_TRUE(WaitUntil([&] { return RecordedProcessId(record) != 0; }, 10000));
    // Without a folder of its own, it runs in the starter's.
    EXPECT_EQ(RecordedAfter(record, L"cwd "), CurrentFolder());
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStartTest, PathWithAnArgumentStartsNothingAndShowsNothing) {
    HelperCopy copy;
    EXPECT_TRUE(control::StartProgram(copy.Path() + L" -x", {}, {}).result.starts_with(L"start failed: "));
    // The shell has created its process by the time it returns: one started would be listed now.
    EXPECT_TRUE(ProcessesOf(copy.Path()).empty());
    EXPECT_EQ(m_messages, Messages{});

    // The same file without the argument starts, and is seen the same way.
    EXPECT_EQ(control::StartProgram(copy.Path(), {}, {}).result, L"started");
    const std::vector<DWORD> started = ProcessesOf(copy.Path());
    EXPECT_EQ(started.size(), 1u);
    for (DWORD id : started) {
        KillProcess(id);
    }
}

TEST_F(ProgramStartTest, ArgumentsReachTheProgramAndTheFolderBecomesItsCurrentOne) {
    wchar_t temp[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + UniqueTitle(L"start in");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    {  // the helper ends before its folder goes
        const std::wstring record = testing_support::TempFilePath(L"start-arguments");
        KillRecorded cleanup{record};
        const std::wstring title = UniqueTitle(L"started with arguments");
        const std::wstring arguments = L"--lifetime 30000 --record \"" + record + L"\" --title \"" + title + L"\"";
        ReportedResults reports;
        control::StartProgramInBackground(testing_support::HelperPath(), arguments, folder, reports.Listener());
        EXPECT_EQ(reports.WaitForOne(), L"started");
        ASSERT_EQ(reports.Get().size(), 1u);
        EXPECT_NE(reports.Get()[0].threadId, ::GetCurrentThreadId());
        // The program took them apart as written: the quoted title, blanks and all, is its window's.
        EXPECT_NE(testing_support::WaitForWindow(title), nullptr);
        const std::optional<std::wstring> commandLine = RecordedAfter(record, L"args ");
        ASSERT_TRUE(commandLine);
        EXPECT_TRUE(commandLine->ends_with(L" " + arguments)) << commandLine->size();
        EXPECT_EQ(RecordedAfter(record, L"cwd "), folder);
    }
    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStartTest, AFileThatCannotBeStartedReportsTheShellsReasonOnTheStartsThread) {
    const std::wstring missing = testing_support::TempFilePath(L"no-such-program") + L".exe";
    ReportedResults reports;
    control::StartProgramInBackground(missing, L"--lifetime 1000", {}, reports.Listener());
    const std::wstring result = reports.WaitForOne();
    std::printf("a missing program: %ls\n", result.c_str());
    ASSERT_TRUE(result.starts_with(L"start failed: ")) << result.size();
    // A reason of one line, fit for a list cell.
    const std::wstring reason = result.substr(14);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_FALSE(reason.ends_with(L".") || reason.ends_with(L" "));
    EXPECT_NE(reports.Get()[0].threadId, ::GetCurrentThreadId());
    EXPECT_EQ(control::StartProgram(missing, {}, {}).result, result);
    EXPECT_EQ(reports.Get().size(), 1u);

    // A document that no program opens is told as such, not as whatever the shell tried on the way.
    const std::wstring document = testing_support::TempFilePath(L"no-program-opens") + L".marlowicknotype";
    {
        const fw::UniqueFile created(
            ::CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(created);
    }
    EXPECT_EQ(control::StartProgram(document, {}, {}).result, control::StartFailedResult(ERROR_NO_ASSOCIATION));
    EXPECT_NE(control::StartFailedResult(ERROR_NO_ASSOCIATION), result);
    ::DeleteFileW(document.c_str());
    EXPECT_EQ(m_messages, Messages{});
}

TEST(StartFailedResult, AnErrorWithoutASystemTextIsNamedByItsNumber) {
    EXPECT_EQ(control::StartFailedResult(0xDEADBEEF), L"start failed: error 3735928559");
}

// A document type of the test's own, opened by the helper program, which records its start into the
// document it is given. Registered for the machine (the shell under Wine reads no per-user types) and
// removed again when the test is over.
class TestDocumentType {
public:
    static constexpr wchar_t kExtension[] = L".marlowicktestdoc";
    static constexpr wchar_t kType[] = L"MarlowickTest.Document";

    TestDocumentType() {
        const std::wstring command = L"\"" + testing_support::HelperPath() + L"\" --lifetime 30000 --record \"%1\"";
        m_registered = Set(kExtension, kType) && Set(std::wstring(kType) + L"\\shell\\open\\command", command);
    }
    ~TestDocumentType() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kExtension).c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kType).c_str());
    }
    bool Registered() const { return m_registered; }

private:
    static bool Set(const std::wstring& key, const std::wstring& value) {
        const std::wstring path = L"Software\\Classes\\" + key;
        return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), nullptr, REG_SZ, value.c_str(),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    bool m_registered = false;
};

TEST_F(ProgramStartTest, DocumentOpensInItsAssociatedProgram) {
    TestDocumentType type;
    ASSERT_TRUE(type.Registered());
    const std::wstring document =
        testing_support::TempFilePath(L"start-document") + TestDocumentType::kExtension;  // does not exist yet
    {
        fw::UniqueFile file(::CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
    }
    KillRecorded cleanup{document};
    EXPECT_EQ(control::StartProgram(document, {}, {}).result, L"started");
    EXPECT_TRUE(WaitUntil([&] { return RecordedProcessId(document) != 0; }, 10000));
    EXPECT_EQ(m_messages, Messages{});
    KillProcess(RecordedProcessId(document));
    ::DeleteFileW(document.c_str());
}

TEST_F(ProgramStartTest, TheRunnerStartsThroughTheShellAndStopsOnTheThreadOfItsFirstStop) {
    const std::wstring record = testing_support::TempFilePath(L"run-task-start");
    KillRecorded cleanup{record};
    control::ProgramRunner runner;
    {
        // The start runs on a thread of its own: the helper's environment stays until it has started.
        RecordThroughEnvironment environment(record);
        runner.Start({testing_support::HelperPath(), L"Start", {}, {}}, {});
        EXPECT_TRUE(WaitUntil([&] { return RecordedProcessId(record) != 0; }, 10000));
    }

    const std::wstring title = UniqueTitle(L"run task stop");
    auto helper = StartHelper({L"--title", title}, title);
    ReportedResults results;
    runner.Stop({title, L"Stop", {}, {}}, results.Listener());
    EXPECT_EQ(ExitCodeAfter(*helper, 10000), 7u);
    // The wait ends between this thread's messages, which WaitUntil handles.
    EXPECT_TRUE(WaitUntil([&] { return !results.Get().empty(); }, 10000));
    ASSERT_EQ(results.Get().size(), 1u);
    EXPECT_EQ(results.Get()[0].result, L"closed by itself");
    EXPECT_EQ(results.Get()[0].threadId, ::GetCurrentThreadId());
    EXPECT_EQ(runner.PendingCount(), 0u);
    EXPECT_EQ(m_messages, Messages{});
}

// What the program asks of the system's sleep, and from which thread: Wine's own call shows nothing.
class ExecutionStates {
public:
    struct Call {
        EXECUTION_STATE state;
        DWORD thread;
    };
    ExecutionStates() {
        m_previous = control::SetExecutionStateCall([this](EXECUTION_STATE state) {
            const std::lock_guard lock(m_mutex);
            m_calls.push_back({state, ::GetCurrentThreadId()});
            return static_cast<EXECUTION_STATE>(ES_CONTINUOUS);
        });
    }
    ~ExecutionStates() { control::SetExecutionStateCall(std::move(m_previous)); }
    std::vector<Call> Calls() const {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    control::ExecutionStateCall m_previous;
};

// A task that woke the computer keeps it awake while it is at work: a start until the program it started has
// exited, a stop until it is over. Each request is the thread's own, so the same thread lets it go.
TEST_F(ProgramStartTest, AWakingTaskKeepsTheComputerAwakeUntilItsProgramExitsOrItsStopIsOver) {
    constexpr EXECUTION_STATE kAwake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
    ExecutionStates states;
    control::ProgramRunner runner;
    const std::wstring record = testing_support::TempFilePath(L"start-awake");
    KillRecorded cleanup{record};
    runner.Start({testing_support::HelperPath(), L"Start", L"--record \"" + record + L"\" --lifetime 1500", {}, true},
                 {});
    ASSERT_TRUE(WaitUntil([&] { return states.Calls().size() == 2; }, 10000));
    std::vector<ExecutionStates::Call> calls = states.Calls();
    EXPECT_EQ(calls[0].state, kAwake);
    EXPECT_EQ(calls[1].state, static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
    EXPECT_EQ(calls[0].thread, calls[1].thread);
    EXPECT_NE(calls[0].thread, ::GetCurrentThreadId());
    // Let go only once the program had gone.
    const DWORD started = RecordedProcessId(record);
    ASSERT_NE(started, 0u);
    fw::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, started));
    EXPECT_TRUE(!process || ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0);

    const std::wstring title = UniqueTitle(L"awake stop");
    auto helper = StartHelper({L"--title", title}, title);
    ReportedResults results;
    runner.Stop({title, L"Stop", {}, {}, true}, results.Listener());
    calls = states.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].state, kAwake);
    EXPECT_EQ(calls[2].thread, ::GetCurrentThreadId());
    EXPECT_EQ(results.WaitForOne(), L"closed by itself");
    calls = states.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[3].state, static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
    EXPECT_EQ(calls[3].thread, ::GetCurrentThreadId());

    // A task that did not wake the computer asks nothing.
    runner.Stop({UniqueTitle(L"nobody"), L"Stop", {}, {}, false}, {});
    EXPECT_EQ(states.Calls().size(), 4u);
}

// The window of the test that another thread sends a message to while a stop waits.
LRESULT CALLBACK AnsweringProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        return 42;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(ProgramStartTest, WhileAStopWaitsTicksGoOnAndTheProgramAnswers) {
    const std::wstring title = UniqueTitle(L"slow to stop");
    auto slow = StartHelper({L"--ignore-close", L"--title", title}, title);
    WriteStopOptions(L"30", L"TRUE");
    const std::wstring record = testing_support::TempFilePath(L"start-while-stopping");
    KillRecorded cleanup{record};
    RecordThroughEnvironment environment(record);

    core::TaskStore tasks;
    auto text = [](int second) {
        SYSTEMTIME time{2026, 12, 3, 9, 7, 30, static_cast<WORD>(second), 0};
        return core::FormatTaskTime(core::DateTimeValue::FromSystemTime(time));
    };
    tasks.AppendTask(title, L"Stop", text(0));
    tasks.AppendTask(testing_support::HelperPath(), L"Start", text(1));
    SYSTEMTIME now{2026, 12, 3, 9, 7, 29, 59, 0};
    core::Scheduler scheduler(
        tasks,
        [&] {
            return core::ClockReading{now, now};
        },
        [this](const std::vector<core::ScheduledTask>& due) {
            for (const core::ScheduledTask& task : due) {
                if (core::IsStartAction(task.action)) {
                    control::StartProgramInBackground(task.program, {}, {});
                } else {
                    control::StopProgram(task.program, *m_stops);
                }
            }
        });

    scheduler.SchedulerTick();
    now.wMinute = 30;
    now.wSecond = 0;
    const auto start = std::chrono::steady_clock::now();
    scheduler.SchedulerTick();
    const double tickSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("a tick that stops a program returned after %.3f s (time-out 30 s)\n", tickSeconds);
    EXPECT_LT(tickSeconds, 5.0);
    EXPECT_EQ(m_stops->Count(), 1u);

    WNDCLASSW wc{};
    wc.lpfnWndProc = &AnsweringProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MarlowickAnsweringWindow";
    ::RegisterClassW(&wc);
    HWND window =
        ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    bool answered = false;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        answered = ::SendMessageTimeoutW(window, WM_APP, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
        done = true;
    });
    WaitUntil([&] { return done.load(); }, 6000);
    asker.join();
    ::DestroyWindow(window);
    EXPECT_TRUE(answered);
    EXPECT_EQ(answer, 42u);

    now.wSecond = 1;
    scheduler.SchedulerTick();
    EXPECT_TRUE(WaitUntil([&] { return RecordedProcessId(record) != 0; }, 10000));
    EXPECT_EQ(m_stops->Count(), 1u);
    EXPECT_TRUE(slow->IsRunning());
    EXPECT_EQ(m_messages, Messages{});
}

}  // namespace
}  // namespace control_test
