// The task service without any window: its commands, the events it hands its owner, the saves and the retries
// of the profile, the stops at shutdown, and the order of things at exit.
#include "core/History.h"
#include "core/Profile.h"
#include "core/TaskOptions.h"
#include "core/TaskService.h"
#include "framework/Handle.h"
#include "framework/UiTaskQueue.h"
#include "framework/MessageBox.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Kind = core::ServiceEvent::Kind;
constexpr DWORD kWait = 10000;

// Runs nothing: records each run with its thread, reports a start at once, and keeps each stop's report for the
// test to call, as a stop that waits for its program would.
class FakeRunner : public core::TaskRunner {
public:
    struct Run {
        std::wstring kind;
        std::wstring program;
        bool keepAwake;
        DWORD thread;
    };

    void Start(const core::RunRequest& run, core::RunReport report) override {
        Note(L"start", run);
        core::TellRunResult(report, {L"started", core::history::kStarted, {}});
    }
    void Stop(const core::RunRequest& run, core::RunReport report) override {
        Note(L"stop", run);
        const std::lock_guard lock(m_mutex);
        m_stopReports.push_back(std::move(report));
    }
    void EndStops() override {
        const std::lock_guard lock(m_mutex);
        m_endThread = ::GetCurrentThreadId();
    }
    // Every program runs, as this test's own process.
    std::optional<core::RunningProgram> FindRunning(const core::RunRequest& run) override {
        fw::UniqueHandle self;
        if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), self.Put(),
                               SYNCHRONIZE, FALSE, 0)) {
            return std::nullopt;
        }
        return core::RunningProgram{run.program, std::move(self)};
    }

    std::vector<Run> Runs() const {
        const std::lock_guard lock(m_mutex);
        return m_runs;
    }
    // The report of the nth stop, once it has come.
    core::RunReport StopReport(size_t n) const {
        const std::lock_guard lock(m_mutex);
        return n < m_stopReports.size() ? m_stopReports[n] : core::RunReport{};
    }
    DWORD EndThread() const {
        const std::lock_guard lock(m_mutex);
        return m_endThread;
    }

private:
    void Note(const wchar_t* kind, const core::RunRequest& run) {
        const std::lock_guard lock(m_mutex);
        m_runs.push_back({kind, run.program, run.keepAwake, ::GetCurrentThreadId()});
    }

    mutable std::mutex m_mutex;
    std::vector<Run> m_runs;
    std::vector<core::RunReport> m_stopReports;
    DWORD m_endThread = 0;
};

// The owner's side, as the main window has it: events come through a queue to this thread, which handles them
// between its messages (testing_support::WaitUntil pumps them).
class OwnerEvents {
public:
    struct Seen {
        Kind kind;
        core::TaskId id;
        std::wstring text;
        DWORD thread;
    };

    OwnerEvents() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_APP) {
                reinterpret_cast<fw::UiTaskQueue*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))->Drain();
                return 0;
            }
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        };
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarlowickServiceTestOwner";
        ::RegisterClassW(&wc);
        m_window.Reset(
            ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
        ::SetWindowLongPtrW(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_queue));
        m_queue.Attach(m_window.Get(), WM_APP);
    }
    ~OwnerEvents() { m_queue.Close(); }

    core::EventDispatcher Dispatcher() {
        return [this](const core::ServiceEvent& event) {
            fw::IgnoreResult(m_queue.Post([this, event] {
                m_seen.push_back({event.kind, event.id, event.text, ::GetCurrentThreadId()});
            }));
        };
    }
    // Waits until that many events of the kind have come (since the last Take).
    bool WaitFor(Kind kind, size_t count = 1) {
        return testing_support::WaitUntil([&] { return Count(kind) >= count; }, kWait);
    }
    size_t Count(Kind kind) const {
        return static_cast<size_t>(
            std::count_if(m_seen.begin(), m_seen.end(), [kind](const Seen& seen) { return seen.kind == kind; }));
    }
    std::vector<Seen> Take() { return std::exchange(m_seen, {}); }
    // Events wait to be handled on this thread.
    bool Pending() const { return m_queue.Pending(); }
    // Every event came on this thread.
    bool AllOnThisThread() const {
        return std::all_of(m_seen.begin(), m_seen.end(),
                           [](const Seen& seen) { return seen.thread == ::GetCurrentThreadId(); });
    }

private:
    fw::UniqueHwnd m_window;
    fw::UiTaskQueue m_queue;
    std::vector<Seen> m_seen;
};

core::Task TaskAt(const std::wstring& program, const std::wstring& action, const std::wstring& time = L"03:00:00") {
    return core::Task{program, action, time};
}

std::vector<core::Task> StoredTasks() {
    core::MemoryTaskList tasks;
    core::LoadTasks(tasks);
    return tasks.AllTasks();
}

class TaskServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveProfile();
        // The test's own reads of the file run on its thread, where nothing redirects a message: one that could
        // not read the file (a save under way) answers at once instead of waiting for a click that never comes,
        // and the read is tried again.
        fw::SetMessageBoxHook([](const fw::MessageBoxRequest&) { return IDOK; });
    }
    void TearDown() override {
        fw::SetMessageBoxHook({});
        RemoveProfile();
    }

    static void RemoveProfile() {
        ::DeleteFileW(core::GetProfilePath().c_str());
        for (const std::wstring& copy : testing_support::DamagedCopies(core::GetConfigFolder())) {
            ::DeleteFileW(copy.c_str());
        }
    }

    // A service with a fake runner whose events come to this thread.
    std::unique_ptr<core::TaskService> MakeService(core::ServiceOptions options = {}) {
        auto runner = std::make_unique<FakeRunner>();
        m_runner = runner.get();
        return std::make_unique<core::TaskService>(std::move(runner), m_events.Dispatcher(), std::move(options));
    }

    OwnerEvents m_events;
    FakeRunner* m_runner = nullptr;
};

TEST_F(TaskServiceTest, EachCommandChangesTheTaskByIdWritesTheFileAndTellsTheOwnerOnItsThread) {
    auto service = MakeService();
    service->Load();
    ASSERT_TRUE(m_events.WaitFor(Kind::ListChanged));
    EXPECT_TRUE(service->ProfileRead());
    m_events.Take();

    const core::TaskId start = service->Add(TaskAt(L"C:\\tool.exe", L"Start"));
    const core::TaskId stop = service->Add(TaskAt(L"Some window", L"Stop"));
    ASSERT_EQ(StoredTasks().size(), 2u);
    ASSERT_TRUE(m_events.WaitFor(Kind::ListChanged, 2));

    // Modify applies what changed to the task as it is: a run noted meanwhile stays, in memory and in the file.
    const core::Task before = service->Tasks().Find(start)->task;
    ASSERT_TRUE(service->RunNow(start));
    core::Task after = before;
    after.time = L"04:00:00";
    ASSERT_TRUE(service->Modify(start, core::TaskChange::Between(before, after)));
    const core::Task stored = StoredTasks()[0];
    EXPECT_EQ(stored.time, L"04:00:00");
    EXPECT_TRUE(stored.lastRun.has_value());
    EXPECT_EQ(stored.lastRun, service->Tasks().Find(start)->task.lastRun);

    ASSERT_TRUE(service->SetEnabled(stop, false));
    EXPECT_FALSE(StoredTasks()[1].enabled);

    // A start reports at once; a stop waits for its program, and reports when it is over.
    ASSERT_TRUE(m_events.WaitFor(Kind::ResultArrived));
    ASSERT_TRUE(service->RunNow(stop));
    ASSERT_TRUE(m_events.WaitFor(Kind::StopPending));
    core::TellRunResult(m_runner->StopReport(0), {L"closed by itself", core::history::kClosed, {}});
    ASSERT_TRUE(m_events.WaitFor(Kind::ResultArrived, 2));
    EXPECT_EQ(service->Tasks().Find(stop)->result, L"closed by itself");

    ASSERT_TRUE(service->Remove(start));
    EXPECT_FALSE(service->Remove(start));
    EXPECT_FALSE(service->RunNow(start));
    ASSERT_EQ(StoredTasks().size(), 1u);
    EXPECT_EQ(StoredTasks()[0].program, L"Some window");

    const std::vector<OwnerEvents::Seen> seen = m_events.Take();
    const auto ran = std::count_if(seen.begin(), seen.end(), [](const auto& e) { return e.kind == Kind::TaskRan; });
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const auto& e) { return e.kind == Kind::Message; }), 0);
    for (const OwnerEvents::Seen& event : seen) {
        EXPECT_EQ(event.thread, ::GetCurrentThreadId());
    }
    // The stop ran on the service's worker thread, neither on the caller's nor on a start's.
    const std::vector<FakeRunner::Run> runs = m_runner->Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].kind, L"stop");
    EXPECT_NE(runs[1].thread, ::GetCurrentThreadId());
    EXPECT_FALSE(runs[1].keepAwake);
    service->Exit();
    EXPECT_EQ(m_runner->EndThread(), runs[1].thread);
}

// A stop still waiting at shutdown reaches nobody afterwards, nor does a start that reports late.
TEST_F(TaskServiceTest, NoEventComesAfterShutdown) {
    auto service = MakeService();
    service->Load();
    const core::TaskId stop = service->Add(TaskAt(L"Some window", L"Stop"));
    ASSERT_TRUE(service->RunNow(stop));
    ASSERT_TRUE(m_events.WaitFor(Kind::StopPending));
    const core::RunReport late = m_runner->StopReport(0);
    ASSERT_TRUE(late);
    // Everything told before the shutdown has arrived.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !m_events.Pending(); }, kWait));
    m_events.Take();
    service->Shutdown();
    // An event would be on its way the moment it is raised: nothing waits for this thread.
    late({L"closed by itself", core::history::kClosed, {}});
    fw::IgnoreResult(service->Add(TaskAt(L"after", L"Start")));
    EXPECT_FALSE(m_events.Pending());
    EXPECT_TRUE(m_events.Take().empty());
    EXPECT_EQ(service->Tasks().Find(stop)->result, L"");
}

// A list that cannot be written, and a profile that cannot be read, come to the owner as events with the texts
// the user knows; the service shows nothing. The retry reads the file once it can, with its tasks in front.
TEST_F(TaskServiceTest, FailuresOfTheProfileArriveAsEventsAndTheRetryCatchesUp) {
    {
        core::MemoryTaskList tasks;
        tasks.AppendTask(L"C:\\from-file.exe", L"Start", L"01:00:00");
        core::SaveTasks(tasks);
    }
    const std::wstring path = core::GetProfilePath();
    fw::UniqueFile lock(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    core::ServiceOptions options;
    options.profileRetryMs = 200;
    auto service = MakeService(options);
    service->Load();
    ASSERT_TRUE(m_events.WaitFor(Kind::Message));
    EXPECT_FALSE(service->ProfileRead());

    const core::TaskId added = service->Add(TaskAt(L"C:\\added.exe", L"Start"));
    ASSERT_TRUE(m_events.WaitFor(Kind::SaveFailed));
    std::vector<OwnerEvents::Seen> seen = m_events.Take();
    std::vector<std::wstring> texts;
    for (const OwnerEvents::Seen& event : seen) {
        if (event.kind == Kind::Message || event.kind == Kind::SaveFailed) {
            texts.push_back(event.text);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Can not open file " + path + L" for read\n", L"Can't write file "}));

    lock.Reset();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return StoredTasks().size() == 2; }, kWait));
    ASSERT_TRUE(m_events.WaitFor(Kind::ListChanged));
    const std::vector<core::TaskId> ids = service->Tasks().Ids();
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[1], added);
    EXPECT_EQ(service->Tasks().Find(ids[0])->task.program, L"C:\\from-file.exe");
    EXPECT_EQ(StoredTasks()[1].program, L"C:\\added.exe");
    EXPECT_TRUE(m_events.AllOnThisThread());
}

// A file that was read, and then could not be written for a while: the retry writes the list once it can, though
// nothing else changes meanwhile.
TEST_F(TaskServiceTest, AListThatCouldNotBeWrittenIsWrittenByTheRetry) {
    core::ServiceOptions options;
    options.profileRetryMs = 200;
    auto service = MakeService(options);
    service->Load();
    ASSERT_TRUE(service->ProfileRead());
    const std::wstring path = core::GetProfilePath();
    {
        // Held open without sharing: the save cannot replace the file.
        fw::UniqueFile lock(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        fw::IgnoreResult(service->Add(TaskAt(L"C:\\added.exe", L"Start")));
        ASSERT_TRUE(m_events.WaitFor(Kind::SaveFailed));
        EXPECT_TRUE(service->SavePending());
    }
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !service->SavePending(); }, kWait));
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].program, L"C:\\added.exe");
}

// A damaged profile is kept aside before anything writes over it, and the owner is told the copy's path once,
// however many saves follow.
TEST_F(TaskServiceTest, ADamagedProfileIsKeptAsideAndTheOwnerIsToldOnce) {
    using namespace std::string_literals;
    const std::string damaged =
        "[TaskCount]\r\nTaskCount=1\r\n[Task0]\r\nProgram=C:\\kept.exe\0junk\r\nAction=Start\r\nTime=01:00:00\r\n"s;
    ASSERT_TRUE(testing_support::WriteFileBytes(core::GetProfilePath(), damaged));
    auto service = MakeService();
    service->Load();
    ASSERT_TRUE(m_events.WaitFor(Kind::FileKeptAside));
    fw::IgnoreResult(service->Add(TaskAt(L"C:\\added.exe", L"Start")));
    service->Exit();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !m_events.Pending(); }, kWait));

    std::vector<std::wstring> told;
    for (const OwnerEvents::Seen& event : m_events.Take()) {
        if (event.kind == Kind::FileKeptAside) {
            told.push_back(event.text);
        }
    }
    EXPECT_EQ(told, testing_support::DamagedCopies(core::GetConfigFolder()));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(testing_support::ReadFileBytes(told[0]), damaged);
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].program, L"C:\\kept.exe");
}

// A clock that the test holds still at a chosen moment until it lets it go.
class HeldClock {
public:
    explicit HeldClock(SYSTEMTIME at) : m_at(at) {}
    core::Clock Clock() {
        return [this] {
            std::unique_lock lock(m_mutex);
            ++m_readings;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_held; });
            return core::ClockReading{m_at, m_at};
        };
    }
    void Hold() {
        const std::lock_guard lock(m_mutex);
        m_held = true;
        m_readingsBeforeHold = m_readings;
    }
    // Returns once the clock has been read since it was held, whether that came before this call or after.
    void WaitForReadingWhileHeld() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_readings > m_readingsBeforeHold; });
    }
    void Release() {
        const std::lock_guard lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SYSTEMTIME m_at;
    bool m_held = false;
    int m_readings = 0;
    int m_readingsBeforeHold = 0;
};

// A tick that is under way while the program exits runs its task before the last write, which keeps the run: the
// scheduler stops first, then the list is written. The watched mark is written with it.
TEST_F(TaskServiceTest, ARunAtExitIsInTheFileWithTheWatchedMark) {
    SYSTEMTIME due{};
    ::GetSystemTime(&due);
    due.wMilliseconds = 0;
    HeldClock clock(due);
    core::ServiceOptions options;
    options.clock = clock.Clock();
    options.zone = core::TimeZoneOf(TIME_ZONE_INFORMATION{});
    auto service = MakeService(options);
    service->Load();
    wchar_t time[16]{};
    std::swprintf(time, std::size(time), L"%02u:%02u:%02u", due.wHour, due.wMinute, due.wSecond);
    const core::TaskId id = service->Add(TaskAt(L"C:\\at-exit.exe", L"Start", time));
    clock.Hold();
    service->StartScheduler();
    // The first tick reads the clock and waits there, in the task's second, while the program exits.
    clock.WaitForReadingWhileHeld();
    std::thread exit([&] { service->Exit(); });
    ::Sleep(200);
    clock.Release();
    exit.join();

    ASSERT_EQ(m_runner->Runs().size(), 1u);
    const std::vector<core::Task> stored = StoredTasks();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].lastRun, core::ToSeconds(due));
    EXPECT_EQ(service->Tasks().Find(id)->task.lastRun, core::ToSeconds(due));
    core::IniDocument doc;
    ASSERT_EQ(doc.Load(core::GetProfilePath()), core::IniDocument::LoadResult::Ok);
    EXPECT_EQ(core::ParseUtc(doc.Get(L"TaskCount", L"Watched")), core::ToSeconds(due));
}

// A start after a gap: the task that makes up its runs is run once and written as made up, the other written as
// missed, each with the due time it was for, and neither again on the next ticks.
TEST_F(TaskServiceTest, AGapComesIntoTheHistoryAsRunsMadeUpAndMissed) {
    const std::wstring folder = core::GetConfigFolder();
    const auto removeHistory = [&] {
        ::DeleteFileW((folder + L"\\" + core::history::kFileName).c_str());
        ::DeleteFileW((folder + L"\\" + core::history::kOldFileName).c_str());
    };
    removeHistory();
    core::IniDocument doc;
    doc.Set(L"TaskCount", L"TaskCount", L"2");
    doc.Set(L"TaskCount", L"Watched", L"2026-12-10T07:00:00Z");
    for (const auto& [section, id, program, action] :
         {std::tuple{L"Task0", L"5", L"C:\\backup.exe", L"Start"}, std::tuple{L"Task1", L"6", L"Game", L"Stop"}}) {
        doc.Set(section, L"Id", id);
        doc.Set(section, L"Program", program);
        doc.Set(section, L"Action", action);
        doc.Set(section, L"Time", L"08:00:00");
        doc.Set(section, L"Every", L"60");
    }
    doc.Set(L"Task0", L"RunIfMissed", L"TRUE");
    ASSERT_TRUE(doc.Save(core::GetProfilePath()));

    const SYSTEMTIME now{2026, 12, 4, 10, 10, 30, 0, 0};
    std::atomic<int> readings{0};
    core::ServiceOptions options;
    options.clock = [now, &readings] {
        ++readings;
        return core::ClockReading{now, now};
    };
    options.zone = core::TimeZoneOf(TIME_ZONE_INFORMATION{});
    auto service = MakeService(options);
    service->Load();
    service->StartScheduler();
    std::vector<std::wstring> seen;
    const auto read = [&] {
        seen.clear();
        for (const core::history::Line& line : core::history::Read(folder)) {
            seen.push_back(std::to_wstring(line.id) + L" " + line.event + L" " + line.detail);
        }
        return seen.size();
    };
    ASSERT_TRUE(testing_support::WaitUntil([&] { return read() >= 3; }, kWait));
    // Two more ticks, which find nothing more to make up or tell; the lines they would write are in by Exit.
    const int before = readings;
    ASSERT_TRUE(testing_support::WaitUntil([&] { return readings >= before + 2; }, kWait));
    service->Exit();
    read();
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"6 missed 2026-12-10 10:00:00", L"5 made up 2026-12-10 10:00:00",
                                               L"5 started "}));
    removeHistory();
}

}  // namespace
