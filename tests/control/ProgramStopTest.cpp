// Stopping real helper processes by path and by window title.
#include "control/ProgramStop.h"

#include "ControlTestSupport.h"
#include "control/ProcessPath.h"
#include "control/WindowTitle.h"
#include "core/AsciiCase.h"

#include <psapi.h>

#include <chrono>
#include <cstdio>

namespace control_test {
namespace {

using Messages = std::vector<std::wstring>;

// Of the two processes, the one the platform lists first.
DWORD FirstListed(DWORD a, DWORD b) {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes);
    ids.resize(bytes / sizeof(DWORD));
    for (DWORD id : ids) {
        if (id == a || id == b) {
            return id;
        }
    }
    return 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

using ProgramStopTest = ControlTest;

TEST_F(ProgramStopTest, ByPathStopsOnlyTheFirstListedInstance) {
    HelperCopy copy;
    const std::wstring titleA = UniqueTitle(L"instance A"), titleB = UniqueTitle(L"instance B");
    auto a = StartHelper({L"--ignore-close", L"--title", titleA}, titleA, copy.Path());
    auto b = StartHelper({L"--ignore-close", L"--title", titleB}, titleB, copy.Path());
    const DWORD first = FirstListed(a->Id(), b->Id());
    ASSERT_NE(first, 0u);
    HelperProcess& stopped = first == a->Id() ? *a : *b;
    HelperProcess& spared = first == a->Id() ? *b : *a;
    WriteStopOptions(L"1", L"TRUE");

    control::StopProgram(copy.Path(), *m_stops);
    EXPECT_EQ(m_stops->Count(), 1u);
    EXPECT_EQ(ExitCodeAfter(stopped, 10000), 0u);  // ignored the close request: terminated after the time-out
    EXPECT_TRUE(WaitForNoPendingStop());
    EXPECT_TRUE(spared.IsRunning());
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, ByPathIgnoresTheCaseOfAsciiLettersOnly) {
    HelperCopy copy(L"stoppable-helper-\u00e9.exe");
    const std::wstring title = UniqueTitle(L"case");
    auto helper = StartHelper({L"--title", title}, title, copy.Path());

    // A letter outside A to Z in another case is a different path.
    std::wstring otherCase = copy.Path();
    otherCase.replace(otherCase.find(L'\u00e9'), 1, L"\u00c9");
    control::StopProgramByPath(otherCase, {}, *m_stops);
    EXPECT_EQ(m_stops->Count(), 0u);
    EXPECT_TRUE(helper->IsRunning());

    control::StopProgram(core::AsciiUpper(copy.Path()), *m_stops);
    EXPECT_EQ(ExitCodeAfter(*helper, 10000), 7u);  // closed its window on the request
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, ShortOrForwardSlashPathDoesNotMatch) {
    HelperCopy copy;
    const std::wstring record = testing_support::TempFilePath(L"stop-short-path");
    const std::wstring title = UniqueTitle(L"short path");
    auto helper = StartHelper({L"--record", record, L"--title", title}, title, copy.Path());

    wchar_t shortPath[MAX_PATH]{};
    ASSERT_GT(::GetShortPathNameW(copy.Path().c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), copy.Path());
    control::StopProgram(shortPath, *m_stops);
    EXPECT_EQ(m_messages, Messages{});  // an existing file that is not running as such: nothing at all

    std::wstring forward = copy.Path();
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    control::StopProgramByPath(forward, {}, *m_stops);

    // A match would have posted its close request and left a pending stop (the time-out is 10 s): neither
    // happened, and nothing else could terminate the helper.
    EXPECT_EQ(m_stops->Count(), 0u);
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, title.c_str()), record));
    EXPECT_FALSE(HasLine(record, L"close " + title));
    EXPECT_TRUE(helper->IsRunning());
}

TEST_F(ProgramStopTest, ExistingFileThatIsNotRunningDoesNothing) {
    HelperCopy copy;
    control::StopProgram(copy.Path(), *m_stops);
    EXPECT_EQ(m_stops->Count(), 0u);
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, NeverStopsItsOwnProcess) {
    wchar_t own[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    control::StopProgram(own, *m_stops);
    const DWORD ownId = ::GetCurrentProcessId();
    control::CloseAndTerminateProcess(ownId,
                                      fw::UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ownId)),
                                      own, control::StopOptions{0, true}, *m_stops);
    EXPECT_EQ(m_stops->Count(), 0u);
    EXPECT_EQ(m_messages, Messages{});
}

// A top-level window of the test itself, recording the close requests it gets.
class OwnWindow {
public:
    explicit OwnWindow(const std::wstring& title) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &OwnWindow::Procedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarlowickStopTestWindow";
        ::RegisterClassW(&wc);
        // Topmost, so that it comes before the other program's window in the window order.
        m_hwnd = ::CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                   10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        s_closes = 0;
    }
    ~OwnWindow() { ::DestroyWindow(m_hwnd); }
    HWND Get() const { return m_hwnd; }
    static int Closes() { return s_closes; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) {
            ++s_closes;
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    static inline int s_closes = 0;
    HWND m_hwnd = nullptr;
};

TEST_F(ProgramStopTest, ByTitleSkipsOwnWindowsAndFindsAnotherProgramsWindowOfTheSameTitle) {
    const std::wstring shared = UniqueTitle(L"shared title");
    auto helper = StartHelper({L"--title", shared}, shared);
    OwnWindow own(shared);
    ASSERT_EQ(::FindWindowW(nullptr, shared.c_str()), own.Get());

    control::StopProgram(shared, *m_stops);
    EXPECT_EQ(ExitCodeAfter(*helper, 10000), 7u);
    EXPECT_EQ(OwnWindow::Closes(), 0);
    EXPECT_TRUE(::IsWindow(own.Get()));
    EXPECT_EQ(m_messages, Messages{});

    // Only the program's own window has this title: it is not found.
    control::StopProgram(shared, *m_stops);
    // A close request to the own window would be in this thread's queue by now.
    HandlePendingMessages();
    EXPECT_EQ(m_messages, Messages{L"Can not find program: " + shared});
    EXPECT_EQ(OwnWindow::Closes(), 0);
}

TEST_F(ProgramStopTest, ByTitleAsksEveryTopLevelWindowToCloseAndEndsTheWaitEarly) {
    const std::wstring record = testing_support::TempFilePath(L"stop-all-windows");
    const std::wstring first = UniqueTitle(L"first"), hidden = UniqueTitle(L"hidden"), last = UniqueTitle(L"last");
    auto helper =
        StartHelper({L"--record", record, L"--title", first, L"--hidden-title", hidden, L"--title", last}, last);
    WriteStopOptions(L"30", L"TRUE");

    const auto start = std::chrono::steady_clock::now();
    control::StopProgram(hidden, *m_stops);
    EXPECT_EQ(m_stops->Count(), 1u);
    EXPECT_EQ(ExitCodeAfter(*helper, 20000), 7u);  // ended by itself, not terminated
    EXPECT_TRUE(WaitForNoPendingStop(20000));
    const double waited = SecondsSince(start);
    std::printf("stop of a program that closes: pending for %.2f s (time-out 30 s)\n", waited);
    EXPECT_LT(waited, 20.0);
    EXPECT_TRUE(HasLine(record, L"close " + first));
    EXPECT_TRUE(HasLine(record, L"close " + hidden));
    EXPECT_TRUE(HasLine(record, L"close " + last));
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, ProgramIgnoringTheCloseRequestIsTerminatedAfterTheTimeOut) {
    const std::wstring record = testing_support::TempFilePath(L"stop-ignore");
    const std::wstring title = UniqueTitle(L"ignores close");
    auto helper = StartHelper({L"--ignore-close", L"--record", record, L"--title", title}, title);
    WriteStopOptions(L"1", L"true");

    const auto start = std::chrono::steady_clock::now();
    control::StopProgram(title, *m_stops);
    EXPECT_LT(SecondsSince(start), 5.0);  // the call does not wait
    EXPECT_TRUE(helper->IsRunning());
    EXPECT_EQ(ExitCodeAfter(*helper, 10000), 0u);
    std::printf("terminated %.2f s after the stop (time-out 1 s)\n", SecondsSince(start));
    EXPECT_TRUE(HasLine(record, L"close " + title));
    EXPECT_TRUE(WaitForNoPendingStop());
}

TEST_F(ProgramStopTest, TimeOutZeroOrNotNumericTerminatesAtOnce) {
    const wchar_t* timeOuts[] = {L"0", L"abc", L"-5"};
    for (const wchar_t* timeOut : timeOuts) {
        SCOPED_TRACE(timeOut);
        const std::wstring title = UniqueTitle(L"at once");
        auto helper = StartHelper({L"--ignore-close", L"--title", title}, title);
        WriteStopOptions(timeOut, nullptr);
        control::StopProgram(title, *m_stops);
        EXPECT_EQ(m_stops->Count(), 0u);
        EXPECT_EQ(helper->WaitForExit(5000), 0u);
    }
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, TimeOutIsReadAtEveryStopAndClampedToOneDay) {
    const struct {
        const wchar_t* text;
        DWORD milliseconds;
    } cases[] = {{L"86400", 86400000}, {L"86401", 86400000}, {L"99999999999", 86400000},
                 {L" 12x", 12000},     {L"2x", 2000},        {L"-1", 0},
                 {L"abc", 0},          {L"", 10000},         {nullptr, 10000}};
    for (const auto& c : cases) {
        WriteStopOptions(c.text, nullptr);
        const control::StopOptionsRead read = control::ReadStopOptions();
        EXPECT_TRUE(read.fromFile);
        EXPECT_EQ(read.options.timeOutMilliseconds, c.milliseconds) << (c.text ? c.text : L"absent");
    }

    const std::wstring title = UniqueTitle(L"one day");
    auto helper = StartHelper({L"--ignore-close", L"--title", title}, title);
    WriteStopOptions(L"86401", nullptr);
    ReportedResults abandoned;
    control::StopProgram(title, *m_stops, abandoned.Listener());
    const std::vector<control::PendingStops::Info> pending = m_stops->List();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].processId, helper->Id());
    EXPECT_EQ(pending[0].timeOutMilliseconds, 86400000u);
    EXPECT_TRUE(pending[0].forceQuit);

    // Leaving the program abandons the stop: nothing waits, nothing is terminated.
    const auto start = std::chrono::steady_clock::now();
    m_stops.reset();
    EXPECT_LT(SecondsSince(start), 5.0);
    // Only the pending stops could terminate it, and they are gone.
    EXPECT_TRUE(helper->IsRunning());
    EXPECT_TRUE(abandoned.Get().empty());
    m_stops = std::make_unique<control::PendingStops>();
}

TEST_F(ProgramStopTest, ForceQuitClearedAsksToCloseButDoesNotTerminate) {
    const std::wstring record = testing_support::TempFilePath(L"stop-no-force");
    const std::wstring title = UniqueTitle(L"no force quit");
    auto helper = StartHelper({L"--ignore-close", L"--record", record, L"--title", title}, title);
    WriteStopOptions(L"1", L"False");

    control::StopProgram(title, *m_stops);
    ASSERT_EQ(m_stops->Count(), 1u);
    EXPECT_FALSE(m_stops->List()[0].forceQuit);
    EXPECT_TRUE(WaitForNoPendingStop());  // the time-out has passed, and the stop let the process go
    EXPECT_TRUE(HasLine(record, L"close " + title));
    EXPECT_TRUE(helper->IsRunning());

    // Without a time-out either: asked to close, left running.
    WriteStopOptions(L"0", L"FALSE");
    control::StopProgram(title, *m_stops);
    EXPECT_EQ(m_stops->Count(), 0u);
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, title.c_str()), record));
    const std::vector<std::wstring> lines = testing_support::ReadLines(record);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"close " + title), 2);
    EXPECT_TRUE(helper->IsRunning());
}

TEST_F(ProgramStopTest, EachStopReportsHowItEndedOnTheThreadThatOwnsTheStops) {
    const std::wstring closes = UniqueTitle(L"closes late"), ignores = UniqueTitle(L"ignores"),
                       kept = UniqueTitle(L"kept");
    auto a = StartHelper({L"--close-delay", L"2000", L"--title", closes}, closes);
    auto b = StartHelper({L"--ignore-close", L"--title", ignores}, ignores);
    auto c = StartHelper({L"--ignore-close", L"--title", kept}, kept);
    ReportedResults closed, terminated, stillRunning, atOnce;
    // The options are read at each stop: the three wait side by side, each with its own.
    WriteStopOptions(L"10", L"TRUE");
    control::StopProgram(closes, *m_stops, closed.Listener());
    WriteStopOptions(L"1", L"TRUE");
    control::StopProgram(ignores, *m_stops, terminated.Listener());
    WriteStopOptions(L"1", L"FALSE");
    control::StopProgram(kept, *m_stops, stillRunning.Listener());
    EXPECT_TRUE(closed.Get().empty() && terminated.Get().empty() && stillRunning.Get().empty());

    ASSERT_TRUE(WaitForNoPendingStop(15000));
    EXPECT_EQ(closed.WaitForOne(0), L"closed by itself");
    EXPECT_EQ(terminated.WaitForOne(0), L"terminated after 1 s");
    EXPECT_EQ(stillRunning.WaitForOne(0), L"still running (force quit off)");
    for (const ReportedResults* reports : {&closed, &terminated, &stillRunning}) {
        for (const ReportedResults::Reported& reported : reports->Get()) {
            EXPECT_EQ(reported.threadId, ::GetCurrentThreadId());
        }
    }
    EXPECT_EQ(a->WaitForExit(5000), 7u);
    EXPECT_EQ(b->WaitForExit(5000), 0u);
    EXPECT_TRUE(c->IsRunning());

    // Without a grace period the stop is over before the call returns.
    WriteStopOptions(L"0", L"TRUE");
    control::StopProgram(kept, *m_stops, atOnce.Listener());
    EXPECT_EQ(atOnce.WaitForOne(0), L"terminated after 0 s");
    EXPECT_EQ(c->WaitForExit(5000), 0u);
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, AStopThatFindsNothingOrCannotOpenItsProcessReportsAtOnceBesideItsBox) {
    const std::wstring missingTitle = UniqueTitle(L"no window has this title");
    ReportedResults byTitle, byPath, refused;
    control::StopProgram(missingTitle, *m_stops, byTitle.Listener());
    EXPECT_EQ(byTitle.WaitForOne(0), L"not found");
    HelperCopy notRunning;
    control::StopProgram(notRunning.Path(), *m_stops, byPath.Listener());
    EXPECT_EQ(byPath.WaitForOne(0), L"not found");

    const std::wstring title = UniqueTitle(L"refuses");
    auto helper = StartHelper({L"--title", title}, title);
    control::StopHooks previous = control::SetStopHooks({[](DWORD) -> HANDLE { return nullptr; }, nullptr});
    control::StopProgram(title, *m_stops, refused.Listener());
    control::SetStopHooks(std::move(previous));
    EXPECT_EQ(refused.WaitForOne(0), L"could not open the process");

    EXPECT_EQ(m_stops->Count(), 0u);
    EXPECT_EQ(m_messages, (Messages{L"Can not find program: " + missingTitle, L"Could not OpenProcess"}));
    EXPECT_TRUE(helper->IsRunning());
}

TEST(ForceQuitFlag, EmptyOrTrueInAnyCaseIsSetAnythingElseClears) {
    for (const wchar_t* set : {L"", L"TRUE", L"true", L"True"}) {
        EXPECT_TRUE(control::IsForceQuitText(set)) << set;
    }
    for (const wchar_t* cleared : {L"FALSE", L"false", L"no", L"1", L" TRUE", L"TRUE1"}) {
        EXPECT_FALSE(control::IsForceQuitText(cleared)) << cleared;
    }
    WriteStopOptions(L"5", nullptr);
    EXPECT_TRUE(control::ReadStopOptions().options.forceQuit);
    WriteStopOptions(L"5", L"fAlSe");
    EXPECT_FALSE(control::ReadStopOptions().options.forceQuit);
}

TEST_F(ProgramStopTest, EmptyProgramShowsTheMessageAndStopsNothing) {
    const std::wstring record = testing_support::TempFilePath(L"stop-untitled");
    auto helper = StartHelper({L"--record", record, L"--title", L""}, L"");
    HWND untitled = WaitForVisibleWindowOf(helper->Id());
    ASSERT_TRUE(untitled);

    control::StopProgram(L"", *m_stops);
    EXPECT_EQ(m_messages, Messages{L"Can not find program: "});
    EXPECT_EQ(m_stops->Count(), 0u);
    ASSERT_TRUE(HelperHandledEarlierMessages(untitled, record));
    EXPECT_FALSE(HasLine(record, L"close "));
    EXPECT_TRUE(helper->IsRunning());
}

TEST_F(ProgramStopTest, ProgramTextInTheMessageIsNeverAFormat) {
    control::StopProgram(L"No such window %s %d %n %%", *m_stops);
    EXPECT_EQ(m_messages, Messages{L"Can not find program: No such window %s %d %n %%"});
}

TEST_F(ProgramStopTest, SeveralStopsWaitAtOnceAndAnEarlyEndIsReleasedAtOnce) {
    const std::wstring slow1 = UniqueTitle(L"slow 1"), slow2 = UniqueTitle(L"slow 2"), quick = UniqueTitle(L"quick");
    auto a = StartHelper({L"--ignore-close", L"--title", slow1}, slow1);
    auto b = StartHelper({L"--ignore-close", L"--title", slow2}, slow2);
    auto c = StartHelper({L"--title", quick}, quick);
    WriteStopOptions(L"30", L"TRUE");

    control::StopProgram(slow1, *m_stops);
    control::StopProgram(slow2, *m_stops);
    control::StopProgram(quick, *m_stops);
    EXPECT_EQ(m_stops->Count(), 3u);
    EXPECT_EQ(ExitCodeAfter(*c, 10000), 7u);
    EXPECT_TRUE(WaitUntil([&] { return m_stops->Count() == 2; }, 5000));
    std::vector<DWORD> pending;
    for (const control::PendingStops::Info& info : m_stops->List()) {
        pending.push_back(info.processId);
    }
    EXPECT_EQ(pending, (std::vector<DWORD>{a->Id(), b->Id()}));
    EXPECT_TRUE(a->IsRunning());
    EXPECT_TRUE(b->IsRunning());
}

TEST_F(ProgramStopTest, WithoutATimeOutAStopWaitsTheDefaultGracePeriod) {
    // No "Stop" section at all (as SetUp leaves the file), then an empty time-out.
    for (const wchar_t* timeOut : {static_cast<const wchar_t*>(nullptr), L""}) {
        SCOPED_TRACE(timeOut ? L"empty" : L"absent");
        if (timeOut) {
            WriteStopOptions(timeOut, nullptr);
        }
        const std::wstring record = testing_support::TempFilePath(L"stop-grace");
        const std::wstring title = UniqueTitle(L"saves first");
        auto helper = StartHelper({L"--close-delay", L"2000", L"--record", record, L"--title", title}, title);

        control::StopProgram(title, *m_stops);
        const std::vector<control::PendingStops::Info> pending = m_stops->List();
        ASSERT_EQ(pending.size(), 1u);
        EXPECT_EQ(pending[0].timeOutMilliseconds, 10000u);
        EXPECT_TRUE(pending[0].forceQuit);
        // It takes 2 s to close after the request and ends by itself: its own exit code, not the
        // termination's 0.
        EXPECT_EQ(ExitCodeAfter(*helper, 15000), 7u);
        EXPECT_TRUE(HasLine(record, L"close " + title));
        EXPECT_TRUE(WaitForNoPendingStop());
    }
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, UnreadableSettingsFileUsesTheOptionsLastReadAndSaysSoOnceTheStopIsUnderWay) {
    const std::wstring readFailure = L"Can not open file " + core::GetProfilePath() + L" for read\n";
    const std::wstring first = UniqueTitle(L"locked, never read"), second = UniqueTitle(L"locked, read before");
    auto a = StartHelper({L"--ignore-close", L"--title", first}, first);
    auto b = StartHelper({L"--ignore-close", L"--title", second}, second);
    // The box is recorded with the number of stops under way at that moment.
    std::vector<size_t> pendingAtBox;
    auto previous = fw::SetMessageBoxHook([&](const fw::MessageBoxRequest& request) {
        m_messages.push_back(request.text);
        pendingAtBox.push_back(m_stops->Count());
        return IDOK;
    });

    // Nothing read yet: the defaults, never a stop without grace period.
    {
        ProfileLock lock;
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(control::ReadStopOptions().fromFile);
        control::StopProgram(first, *m_stops);
    }
    ASSERT_EQ(m_stops->Count(), 1u);
    EXPECT_EQ(m_stops->List()[0].timeOutMilliseconds, 10000u);
    EXPECT_TRUE(m_stops->List()[0].forceQuit);

    // Read once, then locked: the values of that read.
    WriteStopOptions(L"3", L"FALSE");
    EXPECT_TRUE(control::ReadStopOptions().fromFile);
    {
        ProfileLock lock;
        ASSERT_TRUE(lock.Held());
        control::StopProgram(second, *m_stops);
    }
    ASSERT_EQ(m_stops->Count(), 2u);
    EXPECT_EQ(m_stops->List()[1].processId, b->Id());
    EXPECT_EQ(m_stops->List()[1].timeOutMilliseconds, 3000u);
    EXPECT_FALSE(m_stops->List()[1].forceQuit);

    fw::SetMessageBoxHook(std::move(previous));
    EXPECT_EQ(m_messages, (Messages{readFailure, readFailure}));
    // Each box came once its stop had been handed over, not while the process was being looked up.
    EXPECT_EQ(pendingAtBox, (std::vector<size_t>{1, 2}));
    EXPECT_TRUE(a->IsRunning());
    EXPECT_TRUE(b->IsRunning());
}

TEST_F(ProgramStopTest, TheProcessFoundIsHeldSoOneThatStartsAfterItsEndIsNeverReached) {
    const std::wstring title = UniqueTitle(L"ends after look-up");
    const std::wstring laterRecord = testing_support::TempFilePath(L"stop-later-instance");
    auto found = StartHelper({L"--ignore-close", L"--title", title}, title);
    std::unique_ptr<HelperProcess> later;
    bool heldTheFoundProcess = false;
    // Between the look-up and the close requests the found program ends, and another one with the same title
    // starts: what a box shown at that moment would let happen.
    control::StopHooks previous = control::SetStopHooks(
        {nullptr, [&](DWORD processId, HANDLE process) {
             found->Kill();
             // The handle held is the found process's: that process's end signals it.
             heldTheFoundProcess = processId == found->Id() && ::WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
             later = StartHelper({L"--record", laterRecord, L"--title", title}, title);
         }});
    control::StopProgram(title, *m_stops);
    control::SetStopHooks(std::move(previous));

    ASSERT_TRUE(later);
    EXPECT_TRUE(heldTheFoundProcess);
    // The stop acts on the ended process only: it is released at once, and the later program got nothing.
    EXPECT_TRUE(WaitForNoPendingStop());
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, title.c_str()), laterRecord));
    EXPECT_FALSE(HasLine(laterRecord, L"close " + title));
    EXPECT_TRUE(later->IsRunning());
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, AnInstanceThatCannotBeOpenedToBeStoppedIsPassedOverAndReportedWhenNoneCan) {
    HelperCopy copy;
    const std::wstring recordA = testing_support::TempFilePath(L"stop-refused-a");
    const std::wstring recordB = testing_support::TempFilePath(L"stop-refused-b");
    const std::wstring titleA = UniqueTitle(L"refused A"), titleB = UniqueTitle(L"refused B");
    auto a = StartHelper({L"--ignore-close", L"--record", recordA, L"--title", titleA}, titleA, copy.Path());
    auto b = StartHelper({L"--ignore-close", L"--record", recordB, L"--title", titleB}, titleB, copy.Path());
    const DWORD first = FirstListed(a->Id(), b->Id());
    ASSERT_NE(first, 0u);
    const DWORD other = first == a->Id() ? b->Id() : a->Id();
    const std::wstring& firstTitle = first == a->Id() ? titleA : titleB;
    const std::wstring& firstRecord = first == a->Id() ? recordA : recordB;
    const std::wstring& otherTitle = first == a->Id() ? titleB : titleA;
    const std::wstring& otherRecord = first == a->Id() ? recordB : recordA;

    // The first instance refuses the rights of a stop, as another user's or an elevated one does.
    std::vector<DWORD> refuse{first};
    control::StopHooks previous =
        control::SetStopHooks({[&](DWORD processId) -> HANDLE {
                                   if (std::find(refuse.begin(), refuse.end(), processId) != refuse.end()) {
                                       return nullptr;
                                   }
                                   return ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
                               },
                               nullptr});
    control::StopProgram(copy.Path(), *m_stops);
    ASSERT_EQ(m_stops->Count(), 1u);
    EXPECT_EQ(m_stops->List()[0].processId, other);
    EXPECT_EQ(m_messages, Messages{});

    // Neither can be opened: said so, and nothing is asked to close.
    refuse.push_back(other);
    control::StopProgram(copy.Path(), *m_stops);
    control::StopProgram(firstTitle, *m_stops);
    control::SetStopHooks(std::move(previous));
    EXPECT_EQ(m_messages, (Messages{L"Could not OpenProcess", L"Could not OpenProcess"}));
    EXPECT_EQ(m_stops->Count(), 1u);
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, firstTitle.c_str()), firstRecord));
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, otherTitle.c_str()), otherRecord));
    EXPECT_FALSE(HasLine(firstRecord, L"close " + firstTitle));
    const std::vector<std::wstring> lines = testing_support::ReadLines(otherRecord);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"close " + otherTitle), 1);
}

TEST_F(ProgramStopTest, AWindowWithoutACaptionOrWithALongTitleIsStopped) {
    const std::wstring plain = UniqueTitle(L"no caption");
    const std::wstring longTitle = UniqueTitle(L"long " + std::wstring(300, L'x'));
    for (const auto& [option, title] : {std::pair{L"--nocaption-title", plain}, {L"--title", longTitle}}) {
        SCOPED_TRACE(title.size());
        auto helper = StartHelper({option, title}, title);
        HWND window = ::FindWindowW(nullptr, title.c_str());
        ASSERT_TRUE(window);
        EXPECT_EQ(control::ReadWindowTitle(window), title);
        control::StopProgram(title, *m_stops);
        EXPECT_EQ(ExitCodeAfter(*helper, 10000), 7u);
    }
    EXPECT_EQ(m_messages, Messages{});
}

TEST_F(ProgramStopTest, TheShellIsNeverTerminatedAndOnlyItsWindowsOfThatTitleAreAskedToClose) {
    HelperCopy copy;
    const std::wstring record = testing_support::TempFilePath(L"stop-shell");
    const std::wstring folder = UniqueTitle(L"folder"), desktop = UniqueTitle(L"desktop");
    // The helper becomes the desktop's shell: its windows are the shell window and a folder window.
    ASSERT_EQ(::GetShellWindow(), nullptr) << "this desktop has a shell already";
    auto shell = StartHelper({L"--ignore-close", L"--record", record, L"--shell-title", desktop, L"--title", folder},
                             folder, copy.Path());
    ASSERT_TRUE(HasLine(record, L"shell 1"));
    ASSERT_EQ(control::GetShellProcessId(), shell->Id());
    WriteStopOptions(L"0", L"TRUE");

    ReportedResults byTitle, byPath;
    control::StopProgram(folder, *m_stops, byTitle.Listener());
    control::StopProgram(copy.Path(), *m_stops, byPath.Listener());

    EXPECT_EQ(m_stops->Count(), 0u);
    EXPECT_EQ(byTitle.WaitForOne(0), L"asked to close (desktop shell)");
    EXPECT_EQ(byPath.WaitForOne(0), L"asked to close (desktop shell)");
    ASSERT_TRUE(HelperHandledEarlierMessages(::FindWindowW(nullptr, desktop.c_str()), record));
    const std::vector<std::wstring> lines = testing_support::ReadLines(record);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"close " + folder), 1);
    EXPECT_FALSE(HasLine(record, L"close " + desktop));
    EXPECT_TRUE(shell->IsRunning());
    EXPECT_EQ(m_messages, Messages{});

    // Once the shell has gone, the desktop has none, and the same program is an ordinary one again.
    shell->Kill();
    EXPECT_TRUE(WaitUntil([] { return ::GetShellWindow() == nullptr; }, 5000));
}

// Lists many made-up ids before the given ones, with EnumProcesses's contract: as many as fit, and the bytes
// written.
class CrowdedProcessList {
public:
    CrowdedProcessList(size_t madeUp, std::vector<DWORD> real) {
        for (size_t i = 0; i < madeUp; ++i) {
            m_ids.push_back(0x7FF00000u + static_cast<DWORD>(i) * 4);
        }
        m_ids.insert(m_ids.end(), real.begin(), real.end());
        m_previous = control::SetEnumProcessesFunction([this](DWORD* ids, DWORD bytes, DWORD* written) {
            m_bufferSizes.push_back(bytes / sizeof(DWORD));
            const size_t count = std::min<size_t>(m_ids.size(), bytes / sizeof(DWORD));
            std::copy_n(m_ids.begin(), count, ids);
            *written = static_cast<DWORD>(count * sizeof(DWORD));
            return TRUE;
        });
    }
    ~CrowdedProcessList() { control::SetEnumProcessesFunction(std::move(m_previous)); }
    const std::vector<size_t>& BufferSizes() const { return m_bufferSizes; }

private:
    std::vector<DWORD> m_ids;
    std::vector<size_t> m_bufferSizes;
    control::EnumProcessesFunction m_previous;
};

TEST_F(ProgramStopTest, AStopByPathSeesEveryProcessHoweverManyRun) {
    HelperCopy copy;
    const std::wstring title = UniqueTitle(L"listed last");
    auto helper = StartHelper({L"--title", title}, title, copy.Path());
    {
        CrowdedProcessList crowded(1500, {helper->Id()});
        EXPECT_EQ(control::ListProcessIds().size(), 1501u);
        // A list that fills the buffer exactly may go on: it is asked again with a larger one.
        EXPECT_EQ(crowded.BufferSizes(), (std::vector<size_t>{1024, 2048}));
        control::StopProgram(copy.Path(), *m_stops);
    }
    EXPECT_EQ(ExitCodeAfter(*helper, 10000), 7u);
    {
        CrowdedProcessList exact(2047, {helper->Id()});
        EXPECT_EQ(control::ListProcessIds().size(), 2048u);
        EXPECT_EQ(exact.BufferSizes(), (std::vector<size_t>{1024, 2048, 4096}));
    }
    EXPECT_EQ(m_messages, Messages{});
}

}  // namespace
}  // namespace control_test
