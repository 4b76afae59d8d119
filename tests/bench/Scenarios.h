#pragma once
// The measurements, each run against one Marlowick build or against the floor. Every function starts
// what it needs, measures, and ends what it started.
#include "bench/Probe.h"
#include "bench/Stats.h"
#include "helpers/HelperProcess.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// Where the bench's own programs are and where the started programs record their starts.
struct Tools {
    std::wstring floorExe;
    // Copies of the recorder, one per planned start, named stamp-<n>.exe.
    std::wstring stampFolder;
    std::wstring stampRecord;
};

// The figures of one Marlowick build.
struct ProgramFigures {
    Samples start0, start1000, start10000, startHostile;
    Samples answer10000, answerHostile;
    Samples idle0, idle1000;
    // Megabytes, read once the window has sat idle.
    Samples workingSet0;
    Samples save, saveModify;
    Samples latencyIdle, latencyOptions, latencyBox, latencyBurst, latencySuspend;
};

// The same figures of the floor, where it has one.
struct FloorFigures {
    Samples start0, start1000, start10000;
    Samples answer10000;
    Samples idle0, idle1000;
    Samples workingSet0;
    Samples save;
    Samples latency;
};

// A started program and its main window, once that showed. The program ends with the object.
struct Launched {
    std::unique_ptr<testing_support::HelperProcess> process;
    HWND window = nullptr;
    std::optional<double> startMs;

    DWORD Id() const { return process->Id(); }
};

// Starts the program and waits for its main window; the time to it is the start-up figure.
Launched Launch(const std::wstring& exe, const std::vector<std::wstring>& args);

// Size and time of last write of a file: a save that replaced the file changes one of them.
struct FileStamp {
    unsigned long long size = 0;
    unsigned long long written = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::wstring& path);

// Watches the profile for the save that an action causes. Made before the action, it reads the file only
// once a save has replaced it: a save renames its new file over the old one, and under Wine that rename
// fails while anyone holds the file open, whatever the sharing, so a probe that read at any moment would
// fail the very save it waits for.
class ProfileWatch {
public:
    explicit ProfileWatch(std::wstring path);

    // Waits until the text of the file passes the check; the stopwatch's time then, or nothing after the
    // time.
    std::optional<double> WaitFor(const std::function<bool(const std::wstring&)>& holds,
                                  const Stopwatch& since,
                                  DWORD milliseconds);

private:
    std::wstring m_path;
    FileStamp m_seen;
};

// Removes the first row with the Remove Task button and times it until the file holds that many rows.
std::optional<double> TimeRemove(const Launched& marlowick, int rowsAfter);
// Gives the first row a new time through Modify Task and the Task Option dialog, and times it from OK until
// the file holds that time; the test run it offers then is declined.
std::optional<double> TimeModify(const Launched& marlowick, long long newTimeUtcTicks);

// The longest a sent message waits for an answer before it counts as none.
inline constexpr unsigned kAnswerTimeoutMs = 2000;

// Makes sure the profile folder exists as the program makes it: a first start of the program with no
// folder creates it, so the bench never has to guess the protection the program expects.
bool PrepareProfileFolder(const std::wstring& marlowick);

// Starts every program once and ends it, so that the first measured start does not pay for the disk cache
// and the desktop that the first program of a fresh prefix warms.
void WarmUp(const Tools& tools, const std::vector<std::wstring>& builds);

// One round of the start-up, idle, working-set and save figures for every build (the first one's idle time
// and working set are taken side by side with the floor's); with emptyOnly, those of the empty list alone.
void MeasureStartUp(const Tools& tools,
                    const std::vector<std::wstring>& builds,
                    std::vector<ProgramFigures>& figures,
                    FloorFigures& floor,
                    bool emptyOnly = false);

// One round of start latencies: programs due at planned seconds while the window is idle, has its Options
// sheet open, shows a message box raised by a task of the same second, is flooded with posted messages and
// has its thread suspended.
void MeasureStartLatency(const Tools& tools, const std::wstring& marlowick, ProgramFigures& figures);

// One round of the floors that need no window: a direct start at the second, and a save of 999 rows that
// writes, flushes and renames.
void MeasureDirectFloors(const Tools& tools, FloorFigures& floor);

// The table's rows from the figures; the baseline's when there is one.
std::vector<TableRow> TableRows(const ProgramFigures& marlowick,
                                const FloorFigures& floor,
                                const ProgramFigures* baseline);

}  // namespace bench
