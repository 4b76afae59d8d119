// Console programs have no window to close: a stop sends them Ctrl+C, on its own console only.
#include "control/ConsoleClose.h"
#include "control/ProgramStop.h"

#include "ControlTestSupport.h"

namespace control_test {
namespace {

using Calls = std::vector<std::wstring>;
using Messages = std::vector<std::wstring>;

// Console calls that are recorded instead of made: the console holds onConsole, and attaching succeeds when
// attachable is set.
class FakeConsole {
public:
    std::vector<DWORD> onConsole;
    bool attachable = true;
    bool ignoresCtrlC = false;
    Calls calls;

    control::ConsoleCalls Get() {
        control::ConsoleCalls fake;
        fake.attach = [this](DWORD id) { return Log(L"attach " + std::to_wstring(id), attachable); };
        fake.ignoreCtrlC = [this](BOOL ignore) { return Log(L"ignore " + std::to_wstring(ignore), true); };
        fake.listProcesses = [this] {
            Log(L"list", true);
            return onConsole;
        };
        fake.generate = [this](DWORD event, DWORD group) {
            return Log(L"generate " + std::to_wstring(event) + L" " + std::to_wstring(group), true);
        };
        fake.free = [this] { return Log(L"free", true); };
        fake.ignoresCtrlC = [this](DWORD) { return ignoresCtrlC; };
        return fake;
    }

private:
    BOOL Log(const std::wstring& call, bool result) {
        calls.push_back(call);
        return result ? TRUE : FALSE;
    }
};

class ConsoleCallsInPlace {
public:
    explicit ConsoleCallsInPlace(FakeConsole& fake) : m_previous(control::SetConsoleCalls(fake.Get())) {}
    ~ConsoleCallsInPlace() { control::SetConsoleCalls(std::move(m_previous)); }

private:
    control::ConsoleCalls m_previous;
};

constexpr DWORD kTarget = 4242;
const std::wstring kTargetText = std::to_wstring(kTarget);

TEST(ConsoleCloseRequest, SendsCtrlCOnlyWhenEveryProcessOnTheConsoleIsATarget) {
    const DWORD own = ::GetCurrentProcessId();
    // A running process to hold: this one. The program itself, attached meanwhile, is not a stranger.
    HANDLE alive = ::GetCurrentProcess();
    const Calls sent{L"ignore 1", L"attach " + kTargetText, L"list", L"generate 0 0", L"free", L"ignore 0"};
    const Calls withheld{L"ignore 1", L"attach " + kTargetText, L"list", L"free", L"ignore 0"};
    const struct {
        std::vector<DWORD> onConsole;
        std::vector<DWORD> targets;
        Calls expected;
        std::vector<DWORD> reached;
    } cases[] = {
        {{kTarget, own}, {kTarget}, sent, {kTarget}},
        {{kTarget, 4300}, {kTarget, 4300}, sent, {kTarget, 4300}},  // its tree shares the console
        {{kTarget, 5000, own}, {kTarget}, withheld, {}},            // a stranger shares it
        {{}, {kTarget}, withheld, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.onConsole.size());
        FakeConsole fake;
        fake.onConsole = c.onConsole;
        ConsoleCallsInPlace inPlace(fake);
        EXPECT_EQ(control::RequestConsoleClose(alive, kTarget, c.targets), c.reached);
        EXPECT_EQ(fake.calls, c.expected);
    }
}

TEST(ConsoleCloseRequest, AProgramWithCtrlCTurnedOffIsSentCtrlBreakToItsGroup) {
    FakeConsole fake;
    fake.onConsole = {kTarget};
    fake.ignoresCtrlC = true;
    ConsoleCallsInPlace inPlace(fake);
    EXPECT_EQ(control::RequestConsoleClose(::GetCurrentProcess(), kTarget, {kTarget}), std::vector<DWORD>{kTarget});
    EXPECT_EQ(fake.calls, (Calls{L"ignore 1", L"attach " + kTargetText, L"list", L"generate 1 " + kTargetText, L"free",
                                 L"ignore 0"}));
}

TEST(ConsoleCloseRequest, NothingIsSentWithoutAConsoleOrToAnEndedProcess) {
    FakeConsole fake;
    fake.onConsole = {kTarget};
    fake.attachable = false;
    {
        ConsoleCallsInPlace inPlace(fake);
        EXPECT_TRUE(control::RequestConsoleClose(::GetCurrentProcess(), kTarget, {kTarget}).empty());
    }
    EXPECT_EQ(fake.calls, (Calls{L"ignore 1", L"attach " + kTargetText, L"ignore 0"}));

    // An ended process's id may name another by now: not even its console is looked at.
    HelperProcess ended({L"--lifetime", L"0"});
    ASSERT_EQ(ended.WaitForExit(10000), 0u);
    FakeConsole untouched;
    untouched.onConsole = {ended.Id()};
    ConsoleCallsInPlace inPlace(untouched);
    EXPECT_TRUE(control::RequestConsoleClose(ended.Handle(), ended.Id(), {ended.Id()}).empty());
    EXPECT_EQ(untouched.calls, Calls{});
}

using ConsoleStopTest = ControlTest;

TEST_F(ConsoleStopTest, AProgramWithAWindowIsAskedThroughItAndOneWithoutThroughItsConsole) {
    const std::wstring title = UniqueTitle(L"has a window");
    auto windowed = StartHelper({L"--title", title}, title);
    HelperCopy copy;
    const std::wstring record = testing_support::TempFilePath(L"stop-windowless");
    auto windowless = StartHelper({L"--record", record}, L"", copy.Path());
    ASSERT_TRUE(WaitUntil([&] { return RecordedProcessId(record) == windowless->Id(); }, 10000));
    FakeConsole fake;
    fake.attachable = false;
    ConsoleCallsInPlace inPlace(fake);
    WriteStopOptions(L"0", L"TRUE");

    control::StopProgram(title, *m_stops);
    EXPECT_EQ(fake.calls, Calls{});
    control::StopProgram(copy.Path(), *m_stops);
    EXPECT_EQ(fake.calls, (Calls{L"ignore 1", L"attach " + std::to_wstring(windowless->Id()), L"ignore 0"}));
    EXPECT_EQ(windowless->WaitForExit(5000), 0u);
    EXPECT_EQ(m_messages, Messages{});
}

// Real console programs, each on a console of its own, as one started from the desktop has.
class RealConsoleStopTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        // A process attaches to one console at most, and a test program has one of its own. Marlowick has none,
        // being a windowed program; the test leaves its own, as its output goes to a pipe rather than to it.
        fw::IgnoreResult(::FreeConsole());
        m_record = testing_support::TempFilePath(L"stop-console");
    }

    std::unique_ptr<HelperProcess> StartConsoleHelper(const std::wstring& onCtrlC, DWORD flags = 0) {
        auto helper =
            std::make_unique<HelperProcess>(std::vector<std::wstring>{L"--record", m_record, L"--on-ctrl-c", onCtrlC},
                                            testing_support::ConsoleHelperPath(), CREATE_NEW_CONSOLE | flags);
        EXPECT_TRUE(helper->Started()) << "error " << helper->StartError();
        // Ready once it has recorded its start: its handler is in place by then.
        EXPECT_TRUE(WaitUntil([&] { return RecordedProcessId(m_record) == helper->Id(); }, 10000));
        return helper;
    }

    std::wstring m_record;
};

TEST_F(RealConsoleStopTest, AProgramThatIgnoresCtrlCIsTerminatedAfterTheTimeOut) {
    auto helper = StartConsoleHelper(L"ignore");
    WriteStopOptions(L"1", L"TRUE");
    ReportedResults reported;
    control::StopProgram(testing_support::ConsoleHelperPath(), *m_stops, reported.Listener());
    EXPECT_EQ(reported.WaitForOne(), L"terminated after 1 s");
    EXPECT_EQ(helper->WaitForExit(5000), 0u);
    EXPECT_TRUE(HasLine(m_record, L"ctrl 0"));  // it was asked, and took the request without ending
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(RealConsoleStopTest, AProgramThatEndsOnCtrlCIsRecordedAsClosed) {
    auto helper = StartConsoleHelper(L"exit");
    EXPECT_FALSE(control::IgnoresCtrlC(helper->Id()));
    WriteStopOptions(L"30", L"TRUE");
    ReportedResults reported;
    control::StopProgram(testing_support::ConsoleHelperPath(), *m_stops, reported.Listener());
    EXPECT_EQ(reported.WaitForOne(20000), L"closed by itself");
    EXPECT_EQ(helper->WaitForExit(5000), 3u);
    EXPECT_TRUE(HasLine(m_record, L"ctrl 0"));
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(RealConsoleStopTest, TheLeaderOfANewProcessGroupIsSentCtrlBreak) {
    // It starts with Ctrl+C turned off, and leaves it so.
    auto helper = StartConsoleHelper(L"exit", CREATE_NEW_PROCESS_GROUP);
    ASSERT_TRUE(control::IgnoresCtrlC(helper->Id()));
    // The platform's own calls, with what the event's call answered.
    struct Sent {
        DWORD event, group;
        BOOL result;
        DWORD error;
    };
    std::vector<Sent> sent;
    control::ConsoleCalls watched;
    watched.generate = [&](DWORD event, DWORD group) {
        const BOOL result = ::GenerateConsoleCtrlEvent(event, group);
        sent.push_back({event, group, result, result ? 0 : ::GetLastError()});
        return result;
    };
    control::ConsoleCalls previous = control::SetConsoleCalls(std::move(watched));
    WriteStopOptions(L"2", L"TRUE");
    ReportedResults reported;
    control::StopProgram(testing_support::ConsoleHelperPath(), *m_stops, reported.Listener());
    control::SetConsoleCalls(std::move(previous));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].event, static_cast<DWORD>(CTRL_BREAK_EVENT));
    EXPECT_EQ(sent[0].group, helper->Id());
    if (!sent[0].result && sent[0].error == ERROR_INVALID_HANDLE) {
        // Wine 8 refuses Ctrl+Break to a process group: the stop falls back on its time-out.
        EXPECT_EQ(reported.WaitForOne(), L"terminated after 2 s");
        EXPECT_FALSE(HasLine(m_record, L"ctrl 1"));
        GTEST_SKIP() << "GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, group) fails with ERROR_INVALID_HANDLE here";
    }
    EXPECT_TRUE(sent[0].result) << "error " << sent[0].error;
    EXPECT_EQ(reported.WaitForOne(), L"closed by itself");
    EXPECT_EQ(helper->WaitForExit(5000), 3u);
    EXPECT_TRUE(HasLine(m_record, L"ctrl 1"));
}

}  // namespace
}  // namespace control_test
