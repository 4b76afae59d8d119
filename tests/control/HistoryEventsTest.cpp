// The history lines that real starts and stops write through the task service, and the failure notices beside them.
#include "ControlTestSupport.h"
#include "control/ProgramRunner.h"
#include "control/ProgramStop.h"
#include "core/History.h"
#include "core/TaskService.h"

#include <algorithm>
#include <mutex>

namespace control_test {
namespace {

namespace history = core::history;
using Kind = core::ServiceEvent::Kind;

class HistoryEventsTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ::DeleteFileW((core::GetConfigFolder() + L"\\History.txt").c_str());
        m_service = std::make_unique<core::TaskService>(std::make_unique<control::ProgramRunner>(),
                                                        [this](const core::ServiceEvent& event) {
                                                            const std::lock_guard lock(m_mutex);
                                                            if (event.kind == Kind::RunFailed) {
                                                                m_notices.push_back(event.text);
                                                            }
                                                        });
        m_service->Load();
    }
    void TearDown() override {
        m_service.reset();
        control::SetStopHooks({});
        ::DeleteFileW((core::GetConfigFolder() + L"\\History.txt").c_str());
        ControlTest::TearDown();
    }

    // Runs a new task now and waits for its history line: the one line of the task, or an empty line.
    history::Line RunAndWait(const std::wstring& program,
                             const std::wstring& action,
                             const std::wstring& arguments = {}) {
        core::Task task{program, action, L"03:00:00"};
        task.arguments = arguments;
        const core::TaskId id = m_service->Add(task);
        EXPECT_TRUE(m_service->RunNow(id));
        std::vector<history::Line> lines;
        WaitUntil(
            [&] {
                lines = LinesOf(id);
                return !lines.empty();
            },
            15000);
        EXPECT_EQ(lines.size(), 1u);
        // Once only: nothing else comes for the task, even after the result is in its row.
        WaitUntil([&] { return !m_service->Tasks().Find(id)->result.empty(); }, 5000);
        EXPECT_EQ(LinesOf(id).size(), 1u);
        return lines.empty() ? history::Line{} : lines[0];
    }
    static std::vector<history::Line> LinesOf(core::TaskId id) {
        std::vector<history::Line> lines = history::Read(core::GetConfigFolder());
        lines.erase(
            std::remove_if(lines.begin(), lines.end(), [id](const history::Line& line) { return line.id != id; }),
            lines.end());
        return lines;
    }
    std::vector<std::wstring> Notices() {
        const std::lock_guard lock(m_mutex);
        return m_notices;
    }
    static void ExpectFields(const history::Line& line,
                             const std::wstring& program,
                             const std::wstring& action,
                             const wchar_t* event) {
        EXPECT_EQ(line.time.size(), 25u);
        EXPECT_EQ(line.program, program);
        EXPECT_EQ(line.action, action);
        EXPECT_EQ(line.event, event);
    }

    std::mutex m_mutex;
    std::vector<std::wstring> m_notices;
    std::unique_ptr<core::TaskService> m_service;
};

TEST_F(HistoryEventsTest, AStartWritesStartedOrStartFailedWithTheShellsReason) {
    const std::wstring helper = testing_support::HelperPath();
    const history::Line started = RunAndWait(helper, L"Start", L"--lifetime 2000");
    ExpectFields(started, helper, L"Start", history::kStarted);
    EXPECT_EQ(started.detail, L"");
    EXPECT_TRUE(Notices().empty());

    const std::wstring missing = testing_support::ExecutableFolder() + L"no such program.exe";
    const history::Line failed = RunAndWait(missing, L"Start");
    ExpectFields(failed, missing, L"Start", history::kStartFailed);
    // The shell's reason, as the Last run column has it after "start failed: ".
    EXPECT_FALSE(failed.detail.empty());
    EXPECT_EQ(m_service->Tasks().Find(failed.id)->result, L"start failed: " + failed.detail);
    ASSERT_TRUE(WaitUntil([&] { return Notices().size() == 1; }, 5000));
    EXPECT_EQ(Notices()[0], L"Start " + missing + L": start failed (" + failed.detail + L")");
}

TEST_F(HistoryEventsTest, AStopWritesClosedNotFoundTerminatedOrStillRunning) {
    const std::wstring closes = UniqueTitle(L"history closes");
    auto a = StartHelper({L"--title", closes}, closes);
    ExpectFields(RunAndWait(closes, L"Stop"), closes, L"Stop", history::kClosed);
    EXPECT_EQ(a->WaitForExit(10000), 7u);

    const std::wstring nobody = UniqueTitle(L"history nobody");
    ExpectFields(RunAndWait(nobody, L"Stop"), nobody, L"Stop", history::kNotFound);
    EXPECT_TRUE(Notices().empty());

    // A program that ignores the request is given one second.
    ASSERT_TRUE(core::SetSetting(L"Stop", L"TimeOut", L"1"));
    const std::wstring ignores = UniqueTitle(L"history ignores");
    auto b = StartHelper({L"--ignore-close", L"--title", ignores}, ignores);
    const history::Line terminated = RunAndWait(ignores, L"Stop");
    ExpectFields(terminated, ignores, L"Stop", history::kTerminated);
    EXPECT_EQ(terminated.detail, L"1");
    EXPECT_EQ(b->WaitForExit(10000), 0u);
    ASSERT_TRUE(WaitUntil([&] { return Notices().size() == 1; }, 5000));
    EXPECT_EQ(Notices()[0], L"Stop " + ignores + L": terminated after 1 s");

    ASSERT_TRUE(core::SetSetting(L"Stop", L"ForceQuit", L"FALSE"));
    const std::wstring kept = UniqueTitle(L"history kept");
    auto c = StartHelper({L"--ignore-close", L"--title", kept}, kept);
    ExpectFields(RunAndWait(kept, L"Stop"), kept, L"Stop", history::kStillRunning);
    EXPECT_TRUE(c->IsRunning());
    EXPECT_EQ(Notices().size(), 1u);
}

TEST_F(HistoryEventsTest, AProcessThatCannotBeOpenedWritesCouldNotStopWithTheError) {
    control::SetStopHooks({[](DWORD) -> HANDLE {
                               ::SetLastError(ERROR_ACCESS_DENIED);
                               return nullptr;
                           },
                           {}});
    const std::wstring title = UniqueTitle(L"history refuses");
    auto helper = StartHelper({L"--title", title}, title);
    const history::Line line = RunAndWait(title, L"Stop");
    ExpectFields(line, title, L"Stop", history::kCouldNotStop);
    EXPECT_EQ(line.detail, L"could not open the process: " + control::SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(m_service->Tasks().Find(line.id)->result, L"could not open the process");
    EXPECT_TRUE(helper->IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return Notices().size() == 1; }, 5000));
    EXPECT_EQ(Notices()[0], L"Stop " + title + L": could not stop (" + line.detail + L")");
}

}  // namespace
}  // namespace control_test
