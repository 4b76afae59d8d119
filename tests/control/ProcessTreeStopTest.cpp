// Stopping a program with the programs it started.
#include "control/ProcessTree.h"
#include "control/ProgramRunner.h"
#include "control/ProgramStop.h"

#include "ControlTestSupport.h"

namespace control_test {
namespace {

using Messages = std::vector<std::wstring>;

// The ids of every "start <pid>" line of a record, in order.
std::vector<DWORD> RecordedProcessIds(const std::wstring& recordFile) {
    std::vector<DWORD> ids;
    for (const std::wstring& line : testing_support::ReadLines(recordFile)) {
        if (line.rfind(L"start ", 0) == 0) {
            ids.push_back(static_cast<DWORD>(std::wcstoul(line.c_str() + 6, nullptr, 10)));
        }
    }
    return ids;
}

bool HasEnded(HANDLE process, DWORD milliseconds = 0) {
    return ::WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

class ProcessTreeStopTest : public ControlTest {
protected:
    // A helper with a window that ignores close requests, its child and its grandchild, each held by the test.
    std::unique_ptr<HelperProcess> StartChain(const std::wstring& title) {
        m_record = testing_support::TempFilePath(L"stop-tree");
        auto root =
            StartHelper({L"--ignore-close", L"--record", m_record, L"--tree-depth", L"2", L"--title", title}, title);
        EXPECT_TRUE(WaitUntil([&] { return RecordedProcessIds(m_record).size() == 3; }, 10000));
        for (DWORD id : RecordedProcessIds(m_record)) {
            m_chain.emplace_back(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
            EXPECT_TRUE(m_chain.back());
        }
        return root;
    }
    void TearDown() override {
        for (const fw::UniqueHandle& process : m_chain) {
            ::TerminateProcess(process.Get(), 99);
        }
        ControlTest::TearDown();
    }

    std::wstring m_record;
    std::vector<fw::UniqueHandle> m_chain;
};

TEST_F(ProcessTreeStopTest, WithTreeTheProgramAndAllItStartedAreStopped) {
    const std::wstring title = UniqueTitle(L"tree root");
    auto root = StartChain(title);
    ASSERT_EQ(m_chain.size(), 3u);
    WriteStopOptions(L"1", L"TRUE");

    // As a task with Tree on runs it.
    control::ProgramRunner runner;
    core::RunRequest run;
    run.program = title;
    run.tree = true;
    ReportedResults reported;
    runner.Stop(run, reported.Listener());
    ASSERT_EQ(runner.PendingCount(), 1u);
    EXPECT_EQ(reported.WaitForOne(), L"terminated after 1 s");
    for (const fw::UniqueHandle& process : m_chain) {
        EXPECT_TRUE(HasEnded(process.Get(), 5000));
    }
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProcessTreeStopTest, WithoutTreeOnlyTheProgramIsStopped) {
    const std::wstring title = UniqueTitle(L"tree root alone");
    auto root = StartChain(title);
    ASSERT_EQ(m_chain.size(), 3u);
    WriteStopOptions(L"1", L"TRUE");

    ReportedResults reported;
    control::StopProgram(title, *m_stops, reported.Listener());
    EXPECT_EQ(reported.WaitForOne(), L"terminated after 1 s");
    EXPECT_TRUE(HasEnded(m_chain[0].Get(), 5000));
    // Once the stop is over, nothing else could end them.
    EXPECT_FALSE(HasEnded(m_chain[1].Get()));
    EXPECT_FALSE(HasEnded(m_chain[2].Get()));
}

TEST_F(ProcessTreeStopTest, ATreeThatClosesByItselfIsReportedClosed) {
    const std::wstring title = UniqueTitle(L"tree closes");
    auto root = StartHelper({L"--title", title}, title);
    HelperCopy copy;
    auto child = StartHelper({}, L"", copy.Path());  // listed as the root's child below
    const ULONGLONG rootCreated = control::ProcessCreationTime(root->Id(), root->Handle());
    control::ProcessTreeHooks previous = control::SetProcessTreeHooks(
        {[&] {
             return std::vector<control::ProcessEntry>{{child->Id(), root->Id(), L"mwhelper.exe"}};
         },
         [&](DWORD id, HANDLE process) {
             // The child ends by itself within the time-out: it is ended here, once the tree holds it.
             if (id == child->Id()) {
                 child->Kill();
                 return rootCreated + 1;
             }
             return control::ProcessCreationTime(id, process);
         }});
    WriteStopOptions(L"30", L"TRUE");
    ReportedResults reported;
    control::StopProgram(title, *m_stops, reported.Listener(), control::StopScope::Tree);
    EXPECT_EQ(reported.WaitForOne(20000), L"closed by itself");
    control::SetProcessTreeHooks(std::move(previous));
    EXPECT_EQ(root->WaitForExit(5000), 7u);
}

// The platform's list of processes is replaced: real helpers are listed as the root's children, as if it had
// started them, with creation times that say whether the id could be the root's.
TEST_F(ProcessTreeStopTest, AnOlderProcessUnderTheParentsIdOrASessionsOwnProcessIsNeverTaken) {
    const std::wstring rootTitle = UniqueTitle(L"root"), olderTitle = UniqueTitle(L"older"),
                       youngerTitle = UniqueTitle(L"younger"), sparedTitle = UniqueTitle(L"spared");
    const std::wstring olderRecord = testing_support::TempFilePath(L"stop-tree-older");
    const std::wstring sparedRecord = testing_support::TempFilePath(L"stop-tree-spared");
    auto root = StartHelper({L"--ignore-close", L"--title", rootTitle}, rootTitle);
    auto older = StartHelper({L"--record", olderRecord, L"--title", olderTitle}, olderTitle);
    auto younger = StartHelper({L"--ignore-close", L"--title", youngerTitle}, youngerTitle);
    auto spared = StartHelper({L"--record", sparedRecord, L"--title", sparedTitle}, sparedTitle);
    const ULONGLONG rootCreated = control::ProcessCreationTime(root->Id(), root->Handle());
    ASSERT_NE(rootCreated, 0u);
    control::ProcessTreeHooks previous = control::SetProcessTreeHooks(
        {[&] {
             return std::vector<control::ProcessEntry>{{older->Id(), root->Id(), L"mwhelper.exe"},
                                                       {younger->Id(), root->Id(), L"mwhelper.exe"},
                                                       {spared->Id(), root->Id(), L"CsRsS.exe"}};
         },
         [&](DWORD id, HANDLE) {
             if (id == older->Id()) {
                 return rootCreated - 1;
             }
             return id == root->Id() ? rootCreated : rootCreated + 1;
         }});
    WriteStopOptions(L"1", L"TRUE");
    ReportedResults reported;
    control::StopProgram(rootTitle, *m_stops, reported.Listener(), control::StopScope::Tree);
    EXPECT_EQ(reported.WaitForOne(), L"terminated after 1 s");
    control::SetProcessTreeHooks(std::move(previous));

    EXPECT_EQ(root->WaitForExit(5000), 0u);
    EXPECT_EQ(younger->WaitForExit(5000), 0u);
    // Either would have closed on a request: neither got one, and both still run.
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, olderTitle.c_str()), olderRecord));
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, sparedTitle.c_str()), sparedRecord));
    EXPECT_FALSE(HasLine(olderRecord, L"close " + olderTitle));
    EXPECT_FALSE(HasLine(sparedRecord, L"close " + sparedTitle));
    EXPECT_TRUE(older->IsRunning());
    EXPECT_TRUE(spared->IsRunning());
}

}  // namespace
}  // namespace control_test
