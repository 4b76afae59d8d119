#include "bench/Scenarios.h"

#include "bench/BenchProfile.h"
#include "bench/Clock.h"
#include "bench/Probe.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <tuple>

namespace bench {
namespace {

using testing_support::HelperProcess;

constexpr DWORD kWindowWaitMs = 40000;
constexpr DWORD kAnswerPeriodMs = 3000;
// Let the start's own work end before idle time is counted.
constexpr DWORD kSettleMs = 1500;
constexpr DWORD kIdleWindowMs = 8000;
constexpr int kSavesPerRound = 3;
constexpr DWORD kSaveWaitMs = 10000;
constexpr int kLargeList = 10000;
constexpr int kMediumList = 1000;
constexpr wchar_t kHostileCount[] = L"2147483647";
// Posted in one go, half of what a Windows message queue holds: about a second's work for a window that
// takes them one by one under Wine.
constexpr int kBurstMessages = 5000;
// A Stop task by a window title that no window has: the program says it cannot find it, in a box.
constexpr wchar_t kNoSuchWindow[] = L"Marlowick bench: no window has this title";

void Progress(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string Text(const std::optional<double>& value) {
    return value ? FormatNumber(*value) : std::string("none");
}

std::wstring ProfilePath() {
    return ProfileFolder() + L"\\Profile.txt";
}

bool WriteProfile(const std::vector<TaskRow>& rows, const std::optional<std::wstring>& countText = {}) {
    const bool written = WriteFileBytes(ProfilePath(), ProfileBytes(rows, countText));
    if (!written) {
        Progress("could not write the profile");
    }
    return written;
}

// Processor time over the same stretch of idle time, in seconds per minute, one value per process.
std::vector<double> IdleCpuPerMinute(const std::vector<CpuMeter>& meters, DWORD milliseconds) {
    std::vector<double> before;
    for (const CpuMeter& meter : meters) {
        before.push_back(meter.Seconds());
    }
    const Stopwatch watch;
    ::Sleep(milliseconds);
    const double seconds = watch.Ms() / 1000.0;
    std::vector<double> perMinute;
    for (size_t i = 0; i < meters.size(); ++i) {
        perMinute.push_back((meters[i].Seconds() - before[i]) / seconds * 60.0);
    }
    return perMinute;
}

double TimeFloorSave(const std::vector<TaskRow>& rows) {
    const std::wstring folder = ProfileFolder();
    const std::wstring temp = folder + L"\\mwbench-floor.tmp";
    const std::wstring target = folder + L"\\mwbench-floor.txt";
    const Stopwatch watch;
    const std::string bytes = ProfileBytes(rows);
    {
        fw::UniqueFile file(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::FlushFileBuffers(file.Get());
    }
    ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const double ms = watch.Ms();
    ::DeleteFileW(target.c_str());
    return ms;
}

std::wstring StampPath(const Tools& tools, int index) {
    return tools.stampFolder + L"\\stamp-" + std::to_wstring(index) + L".exe";
}

std::map<int, std::vector<long long>> RecordedStarts(const Tools& tools) {
    return ParseStamps(testing_support::ReadLines(tools.stampRecord));
}

}  // namespace

Launched Launch(const std::wstring& exe, const std::vector<std::wstring>& args) {
    Launched launched;
    const Stopwatch watch;
    launched.process = std::make_unique<HelperProcess>(args, exe);
    if (!launched.process->Started()) {
        Progress("could not start %ls", exe.c_str());
        return launched;
    }
    launched.startMs = WaitForMainWindow(launched.Id(), watch, kWindowWaitMs, launched.window);
    if (!launched.startMs) {
        // Most likely a box in the way: say which, so that the figure is not a mystery.
        if (HWND box = FindMessageBox(launched.Id(), L"")) {
            wchar_t text[512]{};
            ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), text, 512);
            Progress("no main window; a box says: %ls", text);
        } else {
            Progress("no main window within %lu ms", kWindowWaitMs);
        }
    }
    return launched;
}

FileStamp StampOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    return {(static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime};
}

ProfileWatch::ProfileWatch(std::wstring path) : m_path(std::move(path)), m_seen(StampOf(m_path)) {}

std::optional<double> ProfileWatch::WaitFor(const std::function<bool(const std::wstring&)>& holds,
                                            const Stopwatch& since,
                                            DWORD milliseconds) {
    while (since.Ms() < milliseconds) {
        const FileStamp now = StampOf(m_path);
        if (!(now == m_seen)) {
            m_seen = now;
            if (holds(DecodeProfile(ReadSharedFile(m_path)))) {
                return since.Ms();
            }
        }
        ::Sleep(1);
    }
    return std::nullopt;
}

std::optional<double> TimeRemove(const Launched& marlowick, int rowsAfter) {
    HWND list = ::GetDlgItem(marlowick.window, IDC_TASK_LIST);
    if (!SelectOnlyRow(marlowick.Id(), list, 0)) {
        Progress("could not select a row");
        return std::nullopt;
    }
    ProfileWatch profile(ProfilePath());
    const Stopwatch watch;
    ::PostMessageW(marlowick.window, WM_COMMAND, MAKEWPARAM(IDC_REMOVE_TASK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(marlowick.window, IDC_REMOVE_TASK)));
    return profile.WaitFor([&](const std::wstring& text) { return StoredTaskCount(text) == rowsAfter; }, watch,
                           kSaveWaitMs);
}

std::optional<double> TimeModify(const Launched& marlowick, long long newTimeUtcTicks) {
    const DWORD pid = marlowick.Id();
    if (!SelectOnlyRow(pid, ::GetDlgItem(marlowick.window, IDC_TASK_LIST), 0)) {
        Progress("could not select a row");
        return std::nullopt;
    }
    ::PostMessageW(marlowick.window, WM_COMMAND, MAKEWPARAM(IDC_MODIFY_TASK, BN_CLICKED), 0);
    HWND dialog = nullptr;
    const Stopwatch opening;
    while (opening.Ms() < kSaveWaitMs && !(dialog = FindDialog(pid, L"Task Option"))) {
        ::Sleep(5);
    }
    // The dialog fills its fields in its initialisation: it answers once that is over.
    if (!dialog || !AnswerMs(dialog, kSaveWaitMs)) {
        Progress("the Task Option dialog did not open");
        return std::nullopt;
    }
    const FILETIME utc = ToFileTime(newTimeUtcTicks);
    FILETIME local{};
    SYSTEMTIME fields{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &fields);
    fields.wMilliseconds = 0;
    if (!SetRemoteDateTime(pid, ::GetDlgItem(dialog, IDC_TIME_PICKER), fields)) {
        Progress("could not set the time");
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return std::nullopt;
    }
    const std::wstring wanted = TimeTextAt(newTimeUtcTicks);
    ProfileWatch profile(ProfilePath());
    const Stopwatch watch;
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    const std::optional<double> saved = profile.WaitFor(
        [&](const std::wstring& text) { return StoredValue(text, L"Task0", L"Time") == wanted; }, watch, kSaveWaitMs);
    // The test run it offers next: No.
    HWND prompt = nullptr;
    const Stopwatch asking;
    while (asking.Ms() < kSaveWaitMs && !(prompt = FindMessageBox(pid, L"Do you want to test run"))) {
        ::Sleep(5);
    }
    if (prompt) {
        ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        const Stopwatch closing;
        while (closing.Ms() < kSaveWaitMs && ::IsWindow(prompt)) {
            ::Sleep(5);
        }
    }
    return saved;
}

bool PrepareProfileFolder(const std::wstring& marlowick) {
    const std::wstring folder = ProfileFolder();
    if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    Launched first = Launch(marlowick, {});
    if (!first.window) {
        return false;
    }
    // With an empty list the close ends the program at once.
    ::PostMessageW(first.window, WM_CLOSE, 0, 0);
    first.process->WaitForExit(kWindowWaitMs);
    return ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WarmUp(const Tools& tools, const std::vector<std::wstring>& builds) {
    if (!WriteProfile({})) {
        return;
    }
    Launched floorRun = Launch(tools.floorExe, {L"0"});
    for (const std::wstring& build : builds) {
        Launched marlowick = Launch(build, {});
    }
}

void MeasureStartUp(const Tools& tools,
                    const std::vector<std::wstring>& builds,
                    std::vector<ProgramFigures>& figures,
                    FloorFigures& floor,
                    bool emptyOnly) {
    struct Size {
        const char* name;
        int rows;
        bool hostile;
        Samples ProgramFigures::*start;
        Samples FloorFigures::*floorStart;
    };
    static const Size kSizes[] = {
        {"0 tasks", 0, false, &ProgramFigures::start0, &FloorFigures::start0},
        {"1,000 tasks", kMediumList, false, &ProgramFigures::start1000, &FloorFigures::start1000},
        {"10,000 tasks", kLargeList, false, &ProgramFigures::start10000, &FloorFigures::start10000},
        {"TaskCount=2147483647, no sections", 0, true, &ProgramFigures::startHostile, nullptr},
    };
    const long long now = NowTicks();
    for (const Size& size : kSizes) {
        if (emptyOnly && (size.rows != 0 || size.hostile)) {
            continue;
        }
        const std::vector<TaskRow> rows = IdleRows(size.rows, now);
        const std::optional<std::wstring> countText =
            size.hostile ? std::optional<std::wstring>(kHostileCount) : std::nullopt;
        Launched floorRun;
        if (size.floorStart) {
            floorRun = Launch(tools.floorExe, {std::to_wstring(size.rows)});
            (floor.*size.floorStart).Add(floorRun.startMs);
            Progress("floor, %s: start %s ms", size.name, Text(floorRun.startMs).c_str());
            if (size.rows == kLargeList && floorRun.window) {
                floor.answer10000.Add(LongestAnswerMs(floorRun.window, kAnswerPeriodMs, kAnswerTimeoutMs));
            }
            // The floor has settled before the first build starts: the machine is as quiet for it as for the
            // builds after it (without this, the first build's start-up paid for the floor's first seconds).
            ::Sleep(kSettleMs);
        }
        for (size_t b = 0; b < builds.size(); ++b) {
            ProgramFigures& f = figures[b];
            // Each build starts from the same file: a save by the one before has changed it.
            if (!WriteProfile(rows, countText)) {
                continue;
            }
            Launched marlowick = Launch(builds[b], {});
            (f.*size.start).Add(marlowick.startMs);
            Progress("build %zu, %s: start %s ms", b + 1, size.name, Text(marlowick.startMs).c_str());
            if (!marlowick.window) {
                continue;
            }
            if (size.rows == kLargeList || size.hostile) {
                const double longest = LongestAnswerMs(marlowick.window, kAnswerPeriodMs, kAnswerTimeoutMs);
                (size.hostile ? f.answerHostile : f.answer10000).Add(longest);
                Progress("build %zu, %s: longest answer %s ms", b + 1, size.name, FormatNumber(longest).c_str());
                continue;
            }
            ::Sleep(kSettleMs);
            // The floor sits idle beside the first build, over the same seconds.
            std::vector<CpuMeter> watched{CpuMeter(marlowick.process->Handle(), builds[b])};
            const bool withFloor = b == 0 && floorRun.window;
            if (withFloor) {
                watched.emplace_back(floorRun.process->Handle(), tools.floorExe);
            }
            const std::vector<double> idle = IdleCpuPerMinute(watched, kIdleWindowMs);
            (size.rows == 0 ? f.idle0 : f.idle1000).Add(idle[0]);
            if (withFloor) {
                (size.rows == 0 ? floor.idle0 : floor.idle1000).Add(idle[1]);
            }
            Progress("build %zu, %s: idle %s s per minute", b + 1, size.name, FormatNumber(idle[0]).c_str());
            if (size.rows == 0) {
                // Read after the idle stretch, from outside, as a user's task manager would.
                const std::optional<double> workingSet = WorkingSetMb(marlowick.process->Handle());
                f.workingSet0.Add(workingSet);
                if (withFloor) {
                    floor.workingSet0.Add(WorkingSetMb(floorRun.process->Handle()));
                }
                Progress("build %zu, %s: working set %s MB", b + 1, size.name, Text(workingSet).c_str());
            }
            if (size.rows == kMediumList) {
                for (int k = 0; k < kSavesPerRound; ++k) {
                    const std::optional<double> save = TimeRemove(marlowick, kMediumList - k - 1);
                    f.save.Add(save);
                    Progress("build %zu: save after Remove Task %s ms", b + 1, Text(save).c_str());
                    ::Sleep(200);
                }
                for (int k = 0; k < kSavesPerRound; ++k) {
                    const std::optional<double> save =
                        TimeModify(marlowick, now + (3 * 3600 + 17 * (k + 1)) * kTicksPerSecond);
                    f.saveModify.Add(save);
                    Progress("build %zu: save after Modify Task %s ms", b + 1, Text(save).c_str());
                    ::Sleep(200);
                }
            }
        }
    }
}

void MeasureStartLatency(const Tools& tools, const std::wstring& marlowick, ProgramFigures& figures) {
    struct Planned {
        double offset;
        Samples ProgramFigures::*mode;
    };
    // Seconds from the first planned one. The window is left alone for the first four, then kept busy in one
    // way after the other; each way begins before its seconds and ends after them.
    static const Planned kPlan[] = {
        {0, &ProgramFigures::latencyIdle},     {1, &ProgramFigures::latencyIdle},
        {2, &ProgramFigures::latencyIdle},     {3, &ProgramFigures::latencyIdle},
        {5, &ProgramFigures::latencyOptions},  {6, &ProgramFigures::latencyOptions},
        {7, &ProgramFigures::latencyOptions},  {9, &ProgramFigures::latencyBox},
        {10, &ProgramFigures::latencyBox},     {14, &ProgramFigures::latencyBurst},
        {15, &ProgramFigures::latencyBurst},   {17, &ProgramFigures::latencySuspend},
        {18, &ProgramFigures::latencySuspend}, {19, &ProgramFigures::latencySuspend},
    };
    constexpr double kBoxSecond = 9;
    ::DeleteFileW(tools.stampRecord.c_str());
    // Far enough ahead for the start of a program with a short list.
    const long long base = (NowTicks() / kTicksPerSecond + 4) * kTicksPerSecond;
    const auto at = [&](double seconds) { return base + std::llround(seconds * kTicksPerSecond); };

    std::vector<TaskRow> rows;
    for (int i = 0; i < static_cast<int>(std::size(kPlan)); ++i) {
        if (kPlan[i].offset == kBoxSecond) {
            // Before the start of the same second: its box must not hold that start back.
            rows.push_back({kNoSuchWindow, L"Stop", TimeTextAt(at(kBoxSecond))});
        }
        rows.push_back({StampPath(tools, i), L"Start", TimeTextAt(at(kPlan[i].offset))});
    }
    if (!WriteProfile(rows)) {
        return;
    }
    Launched program = Launch(marlowick, {});
    if (!program.window) {
        for (const Planned& planned : kPlan) {
            (figures.*planned.mode).Add(std::nullopt);
        }
        return;
    }
    const DWORD pid = program.Id();

    // The Options sheet, open over the seconds 5 to 7.
    SleepUntil(at(4.5));
    ::PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS, BN_CLICKED), 0);
    HWND sheet = nullptr;
    while (NowTicks() < at(5) && !(sheet = FindDialog(pid, L"Config"))) {
        ::Sleep(5);
    }
    if (!sheet) {
        Progress("the Options sheet did not open in time");
    }
    SleepUntil(at(7.9));
    if (sheet) {
        ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    }

    // The box of the Stop task at second 9, left open for 3 s.
    HWND box = nullptr;
    while (NowTicks() < at(kBoxSecond + 3) && !(box = FindMessageBox(pid, L""))) {
        ::Sleep(10);
    }
    SleepUntil(at(kBoxSecond + 3));
    if (box || (box = FindMessageBox(pid, L"")) != nullptr) {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else {
        Progress("the Stop task showed no box");
    }

    // A burst of posted messages just before the seconds 14 and 15.
    SleepUntil(at(13.6));
    for (int i = 0; i < kBurstMessages && ::PostMessageW(program.window, WM_NULL, 0, 0); ++i) {
    }

    // The window's thread suspended for 3 s over the seconds 17 to 19.
    SleepUntil(at(16.5));
    {
        SuspendedThread suspended(::GetWindowThreadProcessId(program.window, nullptr));
        if (!suspended.Suspended()) {
            Progress("could not suspend the window's thread");
        }
        SleepUntil(at(19.5));
    }

    // Every planned start, or what came of them within half a minute.
    const auto allStarted = [&] { return RecordedStarts(tools).size() >= std::size(kPlan); };
    while (!allStarted() && NowTicks() < at(19.5 + 30)) {
        ::Sleep(50);
    }
    ::Sleep(500);  // a start that comes twice comes soon after the first
    const std::map<int, std::vector<long long>> starts = RecordedStarts(tools);
    for (int i = 0; i < static_cast<int>(std::size(kPlan)); ++i) {
        Samples& samples = figures.*kPlan[i].mode;
        const auto found = starts.find(i);
        if (found == starts.end()) {
            samples.Add(std::nullopt);
            continue;
        }
        samples.Add(static_cast<double>(found->second.front() - at(kPlan[i].offset)) / kTicksPerMillisecond);
        samples.doubled += static_cast<int>(found->second.size()) - 1;
    }
    Progress("start latency: %zu of %zu planned starts recorded", starts.size(), std::size(kPlan));
}

void MeasureDirectFloors(const Tools& tools, FloorFigures& floor) {
    constexpr int kDirectStarts = 4;
    for (int k = 0; k < kDirectStarts; ++k) {
        ::DeleteFileW(tools.stampRecord.c_str());
        const long long due = (NowTicks() / kTicksPerSecond + 1) * kTicksPerSecond;
        SleepUntil(due);
        HelperProcess stamp({}, StampPath(tools, 0));
        stamp.WaitForExit(10000);
        const std::map<int, std::vector<long long>> starts = RecordedStarts(tools);
        const auto found = starts.find(0);
        floor.latency.Add(
            found == starts.end()
                ? std::nullopt
                : std::optional<double>(static_cast<double>(found->second.front() - due) / kTicksPerMillisecond));
    }
    const std::vector<TaskRow> rows = IdleRows(kMediumList - 1, NowTicks());
    for (int k = 0; k < kSavesPerRound; ++k) {
        floor.save.Add(TimeFloorSave(rows));
    }
    Progress("floor: direct start %s ms, save %s ms", FormatNumber(Median(floor.latency.values)).c_str(),
             FormatNumber(Median(floor.save.values)).c_str());
}

std::vector<TableRow> TableRows(const ProgramFigures& marlowick,
                                const FloorFigures& floor,
                                const ProgramFigures* baseline) {
    std::vector<TableRow> rows;
    const auto add = [&](const std::string& figure, Cell (*cell)(const Samples&), Samples ProgramFigures::*program,
                         const Samples& floorSamples) {
        TableRow row{figure, cell(marlowick.*program), cell(floorSamples), std::nullopt};
        if (baseline) {
            row.baseline = cell(baseline->*program);
        }
        rows.push_back(row);
    };
    add("start to visible window, 0 tasks (ms)", MedianCell, &ProgramFigures::start0, floor.start0);
    add("idle working set, 0 tasks (MB)", MedianCell, &ProgramFigures::workingSet0, floor.workingSet0);
    add("start to visible window, 1,000 tasks (ms)", MedianCell, &ProgramFigures::start1000, floor.start1000);
    add("start to visible window, 10,000 tasks (ms)", MedianCell, &ProgramFigures::start10000, floor.start10000);
    add("start to visible window, TaskCount=2147483647 and no sections (ms)", MedianCell, &ProgramFigures::startHostile,
        floor.start10000);
    // How the cost grows with the list: the median with 1,000 tasks over the median with none.
    const auto quotient = [](const Samples& large, const Samples& small) -> Cell {
        if (large.values.empty() || small.values.empty() || Median(small.values) <= 0) {
            return {"-", std::nullopt};
        }
        const double value = Median(large.values) / Median(small.values);
        return {FormatNumber(value), value};
    };
    const auto addGrowth = [&](const std::string& figure, Samples ProgramFigures::*large,
                               Samples ProgramFigures::*small, const Samples& floorLarge, const Samples& floorSmall) {
        TableRow row{figure, quotient(marlowick.*large, marlowick.*small), quotient(floorLarge, floorSmall),
                     std::nullopt};
        if (baseline) {
            row.baseline = quotient(baseline->*large, baseline->*small);
        }
        rows.push_back(row);
    };
    addGrowth("start-up with 1,000 tasks over start-up with 0", &ProgramFigures::start1000, &ProgramFigures::start0,
              floor.start1000, floor.start0);
    add("longest answer to WM_NULL in the 3 s after it shows, 10,000 tasks (ms, 2000 = none)", MedianMaxCell,
        &ProgramFigures::answer10000, floor.answer10000);
    add("the same, TaskCount=2147483647 (ms, 2000 = none)", MedianMaxCell, &ProgramFigures::answerHostile,
        floor.answer10000);
    add("idle CPU, 0 tasks (s per minute)", MedianCell, &ProgramFigures::idle0, floor.idle0);
    add("idle CPU, 1,000 tasks none due (s per minute)", MedianCell, &ProgramFigures::idle1000, floor.idle1000);
    addGrowth("idle CPU with 1,000 tasks over idle CPU with 0", &ProgramFigures::idle1000, &ProgramFigures::idle0,
              floor.idle1000, floor.idle0);

    // A tick a second: the idle time per minute, over sixty, is what one tick costs.
    const auto perTick = [](const Samples& idle) {
        Samples tick = idle;
        for (double& value : tick.values) {
            value = value * 1000.0 / 60.0;
        }
        return tick;
    };
    ProgramFigures ticks = marlowick;
    ticks.idle0 = perTick(marlowick.idle0);
    ticks.idle1000 = perTick(marlowick.idle1000);
    std::optional<ProgramFigures> baselineTicks;
    if (baseline) {
        baselineTicks = *baseline;
        baselineTicks->idle0 = perTick(baseline->idle0);
        baselineTicks->idle1000 = perTick(baseline->idle1000);
    }
    for (const auto& [figure, member, floorIdle] :
         {std::tuple{"tick cost, 0 tasks (ms of CPU per second)", &ProgramFigures::idle0, &floor.idle0},
          std::tuple{"tick cost, 1,000 tasks (ms of CPU per second)", &ProgramFigures::idle1000, &floor.idle1000}}) {
        TableRow row{figure, MedianCell(ticks.*member), MedianCell(perTick(*floorIdle)), std::nullopt};
        if (baselineTicks) {
            row.baseline = MedianCell(*baselineTicks.*member);
        }
        rows.push_back(row);
    }

    add("save after Remove Task, 1,000 tasks, until the file holds it (ms)", MedianMaxCell, &ProgramFigures::save,
        floor.save);
    add("save after Modify Task (a new time), 1,000 tasks, from OK until the file holds it (ms)", MedianMaxCell,
        &ProgramFigures::saveModify, floor.save);
    add("due second to the program's start, window idle (ms)", SpreadCell, &ProgramFigures::latencyIdle, floor.latency);
    add("the same, Options sheet open (ms)", SpreadCell, &ProgramFigures::latencyOptions, floor.latency);
    add("the same, a box raised by a task of that second open for 3 s (ms)", SpreadCell, &ProgramFigures::latencyBox,
        floor.latency);
    add("the same, after a burst of " + std::to_string(kBurstMessages) + " posted messages (ms)", SpreadCell,
        &ProgramFigures::latencyBurst, floor.latency);
    add("the same, UI thread suspended for 3 s (ms)", SpreadCell, &ProgramFigures::latencySuspend, floor.latency);

    // Every busy way together.
    const auto busy = [](const ProgramFigures& f) {
        Samples all;
        for (const Samples* s : {&f.latencyOptions, &f.latencyBox, &f.latencyBurst, &f.latencySuspend}) {
            all.Append(*s);
        }
        return all;
    };
    TableRow row{"the same, window busy in any of these ways (ms)", SpreadCell(busy(marlowick)),
                 SpreadCell(floor.latency), std::nullopt};
    if (baseline) {
        row.baseline = SpreadCell(busy(*baseline));
    }
    rows.push_back(row);
    return rows;
}

}  // namespace bench
