// The bench's own pieces: the profile it writes must be the one the program reads, its reading of a saved
// file must agree with the program's writing, its summaries must not flatter, and its probes must see real
// windows and processes as they are.
#include "bench/BenchProfile.h"
#include "bench/Clock.h"
#include "bench/Probe.h"
#include "bench/Scenarios.h"
#include "bench/Stats.h"
#include "core/Profile.h"
#include "core/TaskTime.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::HelperProcess;

std::wstring ProfilePath() {
    return bench::ProfileFolder() + L"\\Profile.txt";
}

std::string Utf16(const std::wstring& text, bool mark) {
    std::string bytes = mark ? "\xFF\xFE" : "";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST(BenchProfile, TheProgramReadsTheRowsAndTheCountTheBenchWrites) {
    ASSERT_FALSE(core::GetConfigFolder().empty());
    const long long now = bench::NowTicks();
    const std::vector<bench::TaskRow> rows = bench::IdleRows(3, now);
    ASSERT_TRUE(bench::WriteFileBytes(ProfilePath(), bench::ProfileBytes(rows)));
    EXPECT_EQ(core::GetSettingInt(L"TaskCount", L"TaskCount"), 3);
    for (int i = 0; i < 3; ++i) {
        const std::wstring section = L"Task" + std::to_wstring(i);
        EXPECT_EQ(core::GetSetting(section, L"Program"), rows[static_cast<size_t>(i)].program);
        EXPECT_EQ(core::GetSetting(section, L"Action"), rows[static_cast<size_t>(i)].action);
        EXPECT_EQ(core::GetSetting(section, L"Time"), rows[static_cast<size_t>(i)].time);
    }
    EXPECT_EQ(rows[0].action, L"Start");
    EXPECT_EQ(rows[1].action, L"Stop");

    // A count that promises rows the file does not hold.
    ASSERT_TRUE(bench::WriteFileBytes(ProfilePath(), bench::ProfileBytes({}, L"2147483647")));
    EXPECT_EQ(core::GetSetting(L"TaskCount", L"TaskCount"), L"2147483647");
    EXPECT_EQ(core::GetSetting(L"Task0", L"Program"), L"");
    ::DeleteFileW(ProfilePath().c_str());
}

TEST(BenchProfile, TimeTextsAreThoseTheProgramWritesAndIdleRowsAreHoursAway) {
    const long long now = bench::NowTicks();
    FILETIME utc = bench::ToFileTime(now);
    FILETIME local{};
    SYSTEMTIME fields{};
    ASSERT_TRUE(::FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(::FileTimeToSystemTime(&local, &fields));
    fields.wMilliseconds = 0;
    EXPECT_EQ(bench::TimeTextAt(now), core::FormatTaskTime(core::DateTimeValue::FromSystemTime(fields)));

    const std::vector<bench::TaskRow> rows = bench::IdleRows(2, now);
    SYSTEMTIME first{};
    SYSTEMTIME second{};
    ASSERT_TRUE(core::ParseTaskTime(rows[0].time).ToSystemTime(first));
    ASSERT_TRUE(core::ParseTaskTime(rows[1].time).ToSystemTime(second));
    EXPECT_EQ(first.wHour, (fields.wHour + 2) % 24);
    EXPECT_EQ(first.wMinute, fields.wMinute);
    EXPECT_EQ(first.wSecond, fields.wSecond);
    EXPECT_EQ((second.wSecond + 60 - first.wSecond) % 60, 1);
}

TEST(BenchProfile, TenThousandIdleRowsAllHaveTimesOfTheirOwn) {
    const std::vector<bench::TaskRow> rows = bench::IdleRows(10000, bench::NowTicks());
    ASSERT_EQ(rows.size(), 10000u);
    std::set<std::wstring> times;
    for (const bench::TaskRow& row : rows) {
        ASSERT_TRUE(core::ParseTaskTime(row.time).IsValid()) << row.time;
        times.insert(row.time);
    }
    // Spread over less than a day, one second apart: no two rows share a second.
    EXPECT_EQ(times.size(), rows.size());
    EXPECT_EQ(rows.back().program, L"C:\\Bench\\Missing\\Program9999.exe");
}

TEST(BenchProfile, ReadsTheCountOfAFileTheProgramSaved) {
    ASSERT_TRUE(core::SetSetting(L"TaskCount", L"TaskCount", L"7"));
    ASSERT_TRUE(core::SetSetting(L"Task0", L"TaskCount", L"99"));
    EXPECT_EQ(bench::StoredTaskCount(bench::DecodeProfile(testing_support::ReadFileBytes(ProfilePath()))), 7);
    ::DeleteFileW(ProfilePath().c_str());
}

TEST(BenchProfile, DecodesEveryEncodingAndFindsOnlyTheCountKey) {
    const std::wstring text = L"[Task0]\r\nTaskCount=5\r\n[ taskcount ]\r\n  TASKCOUNT = 12 \r\n";
    for (const std::string& bytes :
         {Utf16(text, true), Utf16(text, false), std::string("\xEF\xBB\xBF") + std::string(text.begin(), text.end()),
          std::string(text.begin(), text.end())}) {
        EXPECT_EQ(bench::DecodeProfile(bytes), text);
        EXPECT_EQ(bench::StoredTaskCount(bench::DecodeProfile(bytes)), 12);
    }
    EXPECT_EQ(bench::StoredValue(text, L"task0", L"TaskCount"), L"5");
    EXPECT_EQ(bench::StoredValue(text, L"Task0", L"Time"), std::nullopt);
    EXPECT_EQ(bench::StoredTaskCount(L"[Task0]\nTaskCount=5\n"), std::nullopt);
    EXPECT_EQ(bench::StoredTaskCount(L"[TaskCount]\nTaskCount=\n"), std::nullopt);
    EXPECT_EQ(bench::StoredTaskCount(L"[TaskCount]\nTaskCount=12x\n"), std::nullopt);
    EXPECT_EQ(bench::StoredTaskCount(L"[TaskCount]\nTaskCount=0"), 0);
}

TEST(BenchProfile, ASaveIsSeenOnceTheFileHoldsTheCount) {
    ASSERT_FALSE(core::GetConfigFolder().empty());
    const std::wstring path = ProfilePath();
    const std::wstring temp = bench::ProfileFolder() + L"\\mwbench-test.tmp";
    const auto save = [&](int count) {
        // Replaced whole, as the program saves: written beside it, then renamed over it.
        return bench::WriteFileBytes(temp, bench::ProfileBytes({}, std::to_wstring(count))) &&
               ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    };
    ASSERT_TRUE(save(5));
    const auto holdsThree = [](const std::wstring& text) { return bench::StoredTaskCount(text) == 3; };
    bench::ProfileWatch profile(path);
    const bench::Stopwatch watch;
    // Two saves while the probe waits; it must not fail them, and must take only the second.
    bool saved[2] = {false, false};
    std::thread writer([&] {
        ::Sleep(100);
        saved[0] = save(4);
        ::Sleep(100);
        saved[1] = save(3);
    });
    const std::optional<double> seen = profile.WaitFor(holdsThree, watch, 20000);
    writer.join();
    EXPECT_TRUE(saved[0]);
    EXPECT_TRUE(saved[1]);
    ASSERT_TRUE(seen);
    EXPECT_GE(*seen, 150);
    EXPECT_EQ(bench::StoredTaskCount(bench::DecodeProfile(testing_support::ReadFileBytes(path))), 3);

    // Only a save is read: a file that already passes, and is not saved again, is no save.
    EXPECT_FALSE(bench::ProfileWatch(path).WaitFor(holdsThree, bench::Stopwatch(), 200));
    ::DeleteFileW(path.c_str());
}

TEST(BenchStats, MediansPercentilesAndMaxima) {
    EXPECT_EQ(bench::Median({3, 1, 2}), 2);
    EXPECT_EQ(bench::Median({4, 1, 3, 2}), 2.5);
    std::vector<double> twenty;
    for (int i = 1; i <= 20; ++i) {
        twenty.push_back(21 - i);
    }
    EXPECT_EQ(bench::Percentile(twenty, 95), 19);
    EXPECT_EQ(bench::Percentile(twenty, 100), 20);
    EXPECT_EQ(bench::Percentile({7}, 95), 7);
    EXPECT_EQ(bench::Max({1, 9, 3}), 9);
}

TEST(BenchStats, CellsTellMissedRunsAndStartsThatCameTwice) {
    bench::Samples samples;
    samples.Add(10.0);
    samples.Add(30.0);
    samples.Add(std::nullopt);
    samples.doubled = 1;
    const bench::Cell median = bench::MedianCell(samples);
    EXPECT_EQ(median.value, 20);
    EXPECT_EQ(median.text, "20.0; 1 of 3 missed; 1 twice");
    EXPECT_EQ(bench::SpreadCell(samples).text, "median 20.0, p95 30.0, max 30.0; 1 of 3 missed; 1 twice");

    bench::Samples none;
    none.Add(std::nullopt);
    const bench::Cell empty = bench::MedianCell(none);
    EXPECT_FALSE(empty.value);
    EXPECT_EQ(bench::Ratio(empty, median), "-");
    EXPECT_EQ(bench::Ratio(median, {"0.00", 0.0}), "-");
    EXPECT_EQ(bench::Ratio(median, {"8.00", 8.0}), "2.50");
    EXPECT_EQ(bench::FormatNumber(1968.4), "1968");
    EXPECT_EQ(bench::FormatNumber(12.34), "12.3");
    EXPECT_EQ(bench::FormatNumber(0.171), "0.17");
}

TEST(BenchStats, TheTableHasOneColumnPerBuildAndLinesUp) {
    std::vector<bench::TableRow> rows{{"start (ms)", {"300", 300.0}, {"150", 150.0}, std::nullopt}};
    std::string table = bench::FormatTable(rows);
    EXPECT_EQ(table.find("baseline"), std::string::npos);
    EXPECT_NE(table.find("| 2.00"), std::string::npos);

    rows.push_back({"idle (s per minute)", {"0.20", 0.2}, {"0.01", 0.01}, bench::Cell{"0.40", 0.4}});
    table = bench::FormatTable(rows);
    EXPECT_EQ(table.find("| figure"), 0u);
    EXPECT_NE(table.find("| baseline ratio |"), std::string::npos);
    EXPECT_NE(table.find("| 40.00"), std::string::npos);
    // Every line as wide as the header: a row without a baseline still fills that column.
    size_t width = table.find('\n');
    for (size_t start = 0; start < table.size();) {
        const size_t end = table.find('\n', start);
        EXPECT_EQ(end - start, width);
        start = end + 1;
    }
}

TEST(BenchStats, TheTableDerivesTickCostsAndPoolsTheBusyStarts) {
    bench::ProgramFigures program;
    bench::FloorFigures floor;
    program.idle1000.Add(6.0);
    floor.idle1000.Add(0.6);
    program.latencyOptions.Add(100.0);
    program.latencyBox.Add(3000.0);
    program.latencyBurst.Add(std::nullopt);
    program.latencySuspend.Add(200.0);
    floor.latency.Add(20.0);
    program.start0.Add(100.0);
    program.start1000.Add(150.0);
    const auto find = [](const std::vector<bench::TableRow>& rows, const std::string& prefix) {
        const auto found = std::find_if(rows.begin(), rows.end(),
                                        [&](const bench::TableRow& row) { return row.figure.starts_with(prefix); });
        return found == rows.end() ? nullptr : &*found;
    };

    std::vector<bench::TableRow> rows = bench::TableRows(program, floor, nullptr);
    // 6 s of processor time a minute is 100 ms for each one-second tick.
    const bench::TableRow* tick = find(rows, "tick cost, 1,000 tasks");
    ASSERT_TRUE(tick);
    EXPECT_EQ(tick->marlowick.value, 100);
    EXPECT_EQ(bench::Ratio(tick->marlowick, tick->floor), "10.00");
    // Every busy way in one row: the start that never came is told, not dropped.
    const bench::TableRow* busy = find(rows, "the same, window busy");
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->marlowick.value, 200);
    EXPECT_NE(busy->marlowick.text.find("1 of 4 missed"), std::string::npos);
    const bench::TableRow* growth = find(rows, "start-up with 1,000 tasks over");
    ASSERT_TRUE(growth);
    EXPECT_EQ(growth->marlowick.value, 1.5);
    EXPECT_FALSE(growth->floor.value);
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const bench::TableRow& row) { return row.baseline; }));

    // A run of the empty list alone: what it did not measure is told apart from runs that gave nothing.
    EXPECT_TRUE(bench::Unmeasured(*find(rows, "save after Remove Task")));
    EXPECT_TRUE(bench::Unmeasured(*find(rows, "idle CPU with 1,000 tasks over")));
    EXPECT_FALSE(bench::Unmeasured(*find(rows, "start to visible window, 0 tasks")));
    program.workingSet0.Add(std::nullopt);
    EXPECT_FALSE(bench::Unmeasured(*find(bench::TableRows(program, floor, nullptr), "idle working set")));

    bench::ProgramFigures before;
    before.idle1000.Add(12.0);
    rows = bench::TableRows(program, floor, &before);
    EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](const bench::TableRow& row) { return row.baseline; }));
    EXPECT_EQ(find(rows, "tick cost, 1,000 tasks")->baseline->value, 200);
}

TEST(BenchProbes, StampsAreReadPerCopyEarliestFirst) {
    const auto starts = bench::ParseStamps({L"stamp-3.exe 200", L"stamp-3.exe 100", L"", L"stamp-x.exe 5",
                                            L"mwstamp.exe 7", L"stamp-1.exe 50", L"stamp-2.exe 9 trailing"});
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts.at(1), (std::vector<long long>{50}));
    EXPECT_EQ(starts.at(3), (std::vector<long long>{100, 200}));
}

TEST(BenchProbes, AnEventAimedAtAMomentNeverComesEarly) {
    for (long long ms : {0, 3, 40}) {
        const long long target = bench::NowTicks() + ms * bench::kTicksPerMillisecond;
        bench::SleepUntil(target);
        const long long now = bench::NowTicks();
        EXPECT_GE(now, target);
        EXPECT_LT(now - target, 2 * bench::kTicksPerSecond);  // generous: only a hang fails
    }
}

TEST(BenchProbes, TheRecorderStampsItsStartWithTheSharedClock) {
    const std::wstring record = testing_support::TempFilePath(L"mwbench-stamps");
    ::SetEnvironmentVariableW(L"MWBENCH_STAMPS", record.c_str());
    const long long before = bench::NowTicks();
    HelperProcess stamp({}, testing_support::ExecutableFolder() + L"mwstamp.exe");
    ASSERT_TRUE(stamp.Started());
    EXPECT_EQ(stamp.WaitForExit(10000), 0u);
    const long long after = bench::NowTicks();
    const std::vector<std::wstring> lines = testing_support::ReadLines(record);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_TRUE(lines[0].starts_with(L"mwstamp.exe "));
    const long long stamped = std::stoll(lines[0].substr(12));
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
    ::SetEnvironmentVariableW(L"MWBENCH_STAMPS", nullptr);
    ::DeleteFileW(record.c_str());
}

TEST(BenchProbes, OnlyTheProgramItselfIsMetered) {
    if (!bench::RunsUnderWine()) {
        GTEST_SKIP() << "Windows counts another process's time itself";
    }
    const std::wstring floorExe = testing_support::ExecutableFolder() + L"mwfloor.exe";
    // A program that names the floor among its arguments, as the bench names the builds it measures, and
    // shows a window without the task list.
    const std::wstring title = L"mwbench names " + std::to_wstring(::GetCurrentProcessId());
    HelperProcess naming({L"--title", title, floorExe, L"--lifetime", L"30000"});
    ASSERT_TRUE(testing_support::WaitForWindow(title));
    EXPECT_EQ(bench::FindProcFolder(floorExe), L"");
    EXPECT_FALSE(bench::FindMainWindow(naming.Id()));

    HelperProcess floor({L"0"}, floorExe);
    const bench::Stopwatch watch;
    HWND window = nullptr;
    ASSERT_TRUE(bench::WaitForMainWindow(floor.Id(), watch, 30000, window));
    const std::wstring folder = bench::FindProcFolder(floorExe);
    ASSERT_FALSE(folder.empty());
    EXPECT_GT(bench::ProcThreadsSeconds(folder), 0.0);
    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(floor.WaitForExit(10000), 0u);
    // The folder went with the process.
    EXPECT_EQ(bench::FindProcFolder(floorExe), L"");
}

TEST(BenchProbes, TheFloorShowsItsRowsAndTheProbesSeeAndHoldItsWindow) {
    const bench::Stopwatch watch;
    HelperProcess floor({L"1000"}, testing_support::ExecutableFolder() + L"mwfloor.exe");
    ASSERT_TRUE(floor.Started());
    HWND window = nullptr;
    const std::optional<double> shown = bench::WaitForMainWindow(floor.Id(), watch, 30000, window);
    ASSERT_TRUE(shown);
    std::printf("the floor with 1,000 rows showed after %.0f ms\n", *shown);
    HWND list = ::GetDlgItem(window, IDC_TASK_LIST);
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1000);
    for (int id : {IDC_ADD_TASK, IDC_REMOVE_TASK, IDC_MODIFY_TASK, IDC_OPTIONS, IDC_HIDE}) {
        EXPECT_TRUE(::GetDlgItem(window, id)) << id;
    }

    ASSERT_TRUE(bench::SelectOnlyRow(floor.Id(), list, 2));
    ASSERT_TRUE(bench::SelectOnlyRow(floor.Id(), list, 3));
    EXPECT_EQ(::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 3);

    ASSERT_TRUE(bench::AnswerMs(window, 10000));
    {
        bench::SuspendedThread suspended(::GetWindowThreadProcessId(window, nullptr));
        ASSERT_TRUE(suspended.Suspended());
        EXPECT_FALSE(bench::AnswerMs(window, 300));
        // A ping without answer counts as its whole time-out, never as nothing.
        EXPECT_GE(bench::LongestAnswerMs(window, 100, 300), 300);
        suspended.Resume();
        EXPECT_TRUE(bench::AnswerMs(window, 10000));
    }
    // Filling 1,000 rows takes processor time, and the meter must see it, under Wine as on Windows.
    const bench::CpuMeter meter(floor.Handle(), testing_support::ExecutableFolder() + L"mwfloor.exe");
    EXPECT_GT(meter.Seconds(), 0.01);
    if (bench::RunsUnderWine()) {
        EXPECT_TRUE(meter.ReadsProc());
    }
    // Read from outside: a process with a window holds megabytes, never nothing.
    EXPECT_GT(bench::WorkingSetMb(floor.Handle()).value_or(0), 1.0);
    EXPECT_FALSE(bench::FindMessageBox(floor.Id(), L""));
    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(floor.WaitForExit(10000), 0u);
}

TEST(BenchProbes, TheBenchDrivesTheRealProgram) {
    const std::wstring marlowick = testing_support::ExecutableFolder() + L"..\\..\\bin\\marlowick.exe";
    ASSERT_NE(::GetFileAttributesW(marlowick.c_str()), INVALID_FILE_ATTRIBUTES) << "marlowick.exe not built";
    // As on a machine where Marlowick never ran: the first start makes the folder.
    const std::wstring folder = bench::ProfileFolder();
    ::DeleteFileW(ProfilePath().c_str());
    ::RemoveDirectoryW(folder.c_str());
    ASSERT_TRUE(bench::PrepareProfileFolder(marlowick));
    EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);

    // The program takes the bench's profile as its own: every row shows, and Remove Task saves.
    ASSERT_TRUE(bench::WriteFileBytes(ProfilePath(), bench::ProfileBytes(bench::IdleRows(3, bench::NowTicks()))));
    {
        const bench::Launched program = bench::Launch(marlowick, {});
        ASSERT_TRUE(program.window);
        std::printf("marlowick.exe with 3 tasks showed after %.0f ms\n", *program.startMs);
        EXPECT_EQ(::SendMessageW(::GetDlgItem(program.window, IDC_TASK_LIST), LVM_GETITEMCOUNT, 0, 0), 3);
        // Modify Task with a new time: in the file from OK on, and the offered test run declined.
        const long long later = bench::NowTicks() + 5 * 3600 * bench::kTicksPerSecond;
        ASSERT_TRUE(bench::TimeModify(program, later));
        EXPECT_EQ(core::GetSetting(L"Task0", L"Time"), bench::TimeTextAt(later));
        EXPECT_TRUE(testing_support::WaitUntil([&] { return !bench::FindMessageBox(program.Id(), L""); }, 10000));

        // Saved one after the other, so that the probe reads the file while the next save replaces it.
        for (int rowsAfter : {2, 1, 0}) {
            const std::optional<double> saved = bench::TimeRemove(program, rowsAfter);
            ASSERT_TRUE(saved) << rowsAfter;
            EXPECT_EQ(::SendMessageW(::GetDlgItem(program.window, IDC_TASK_LIST), LVM_GETITEMCOUNT, 0, 0), rowsAfter);
        }
        EXPECT_FALSE(bench::FindMessageBox(program.Id(), L""));
    }
    ::DeleteFileW(ProfilePath().c_str());
}

}  // namespace
