#pragma once
// How a task is carried out. The scheduling core decides when; what a start or a stop does to other programs
// belongs to the program control above it, which implements this.
#include "framework/Handle.h"

#include <functional>
#include <optional>
#include <string>

namespace core {

// What came of one run: the text of the task list's Last run column, and the event and detail that the history
// keeps (core/History.h), so that nobody has to take the text apart.
struct RunOutcome {
    std::wstring result;
    std::wstring event;
    std::wstring detail;

    bool operator==(const RunOutcome&) const = default;
};

// Hears what came of one run, once. An empty function: nobody listens.
using RunReport = std::function<void(const RunOutcome& outcome)>;

// Tells the listener, when there is one.
inline void TellRunResult(const RunReport& report, const RunOutcome& outcome) {
    if (report) {
        report(outcome);
    }
}

// What a run needs of its task.
struct RunRequest {
    std::wstring program;
    std::wstring action;
    std::wstring arguments;
    std::wstring folder;
    // The task woke the computer for this run: it stays awake while the run is at work.
    bool keepAwake = false;
    // A stop: the programs the process started, and theirs, are stopped with it.
    bool tree = false;
};

// The program a stop would act on, found running: what the user knows it by (its file name, or the window title the
// task names), and its process, held with at least SYNCHRONIZE access so that its id names no other process.
struct RunningProgram {
    std::wstring name;
    fw::UniqueHandle process;
};

// Starts and stops programs. Start may be called from any thread and returns at once: the start runs on a
// thread of its own, which hears the report. Stop and EndStops are called on one thread only, which runs a
// message loop: a stop's wait for its program is handled there, between its other work, and the report
// comes there. EndStops abandons the stops still waiting: nothing is terminated any more, and they report
// nothing.
class TaskRunner {
public:
    virtual ~TaskRunner() = default;

    virtual void Start(const RunRequest& run, RunReport report) = 0;
    virtual void Stop(const RunRequest& run, RunReport report) = 0;
    virtual void EndStops() = 0;
    // The program that a stop of the run would act on, when it runs; shows nothing. Called on the thread of Stop.
    virtual std::optional<RunningProgram> FindRunning(const RunRequest& run) = 0;
};

}  // namespace core
