#pragma once
// The tasks while the program runs, and all that acts on them without a window: the profile, the scheduler and
// its thread, the runs and the stops that wait, the wake timer and what came of each run. The main window shows
// the tasks and sends commands; a command line or any other owner can do the same.
#include "core/History.h"
#include "core/Profile.h"
#include "core/Scheduler.h"
#include "core/TaskRunner.h"
#include "core/TaskStore.h"
#include "core/WakeTimer.h"
#include "framework/MessageBox.h"
#include "framework/WorkerThread.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace core {

// A Stop task's run comes soon and its program is running: the user is warned, and may answer.
struct StopWarning {
    TaskId id = 0;
    // The local second the run was due at, which names it in an answer, and the seconds left before it.
    long long due = 0;
    int secondsLeft = 0;
    bool canPostpone = false;
    // The program's file name, or the window title the task names.
    std::wstring name;
    // The program's process, held while the warning is up: the warning goes when it ends.
    std::shared_ptr<const fw::UniqueHandle> process;
};

// The user's answer to a warning.
enum class WarningAnswer { CloseNow, Postpone, Skip };

// What the service tells its owner.
struct ServiceEvent {
    enum class Kind {
        // A task ran (by its time, made up, or run now): its last run changed.
        TaskRan,
        // What came of a run: text is the result, in the words of the Last run column.
        ResultArrived,
        // Tasks came, went or changed.
        ListChanged,
        // The list could not be written: text is the message to show.
        SaveFailed,
        // A stop waits for its program to close.
        StopPending,
        // A message for the user: text, shown as a box of boxType.
        Message,
        // The profile was damaged and its original has been kept beside it: text is the copy's path. Told once,
        // when the copy is made.
        FileKeptAside,
        // A start failed, or a stop had to terminate its program or could not stop it: text names the task and
        // what happened, for a notice.
        RunFailed,
        // A warning to show: warning holds it.
        WarningBegins,
        // The run a warning was about ran, was answered or is gone: warning names it (id and due).
        WarningEnds,
    };
    explicit ServiceEvent(Kind kind, TaskId id = 0, std::wstring text = {}, UINT boxType = MB_OK)
        : kind(kind), id(id), text(std::move(text)), boxType(boxType) {}

    Kind kind;
    TaskId id;
    std::wstring text;
    UINT boxType;
    std::shared_ptr<const StopWarning> warning;
};

// Hands an event to the owner. Called on any of the service's threads, and on the thread of a command; it must
// not wait for the owner's thread.
using EventDispatcher = std::function<void(const ServiceEvent& event)>;

// Owns the tasks and runs them. Every message the work raises (a profile that cannot be read or written, a program
// a stop cannot find) comes to the owner as an event; the service itself shows nothing and waits for nobody.
//
// Threads: the scheduler ticks on a thread of its own; starts run on threads of their own; stops, their waits, the
// throttled saves of last runs and the retries of the profile run on the service's worker thread. Commands may come
// from any thread and act on a task by its id, on the task as it is at that moment. Once the service is destroyed
// (or, for stops, once it has exited) no event comes any more.
// What tests replace in a task service: the clock and zone the scheduler reads, and the wake timer's platform calls.
struct ServiceOptions {
    Clock clock = SystemClock;
    TimeZoneRules zone = SystemTimeZone();
    WakeTimer::Calls wakeCalls = WakeTimer::PlatformCalls();
    // How often a profile that could not be read, or a list that could not be written, is tried again.
    DWORD profileRetryMs = 30000;
};

class TaskService {
public:
    using Options = ServiceOptions;
    // Runs are written to the profile at most this often, all tasks together, and this long after the run at the
    // soonest.
    static constexpr DWORD kRunSavePeriodMs = 1000;
    static constexpr DWORD kRunSaveDelayMs = 250;

    TaskService(std::unique_ptr<TaskRunner> runner, EventDispatcher dispatch, Options options = {});
    TaskService(const TaskService&) = delete;
    TaskService& operator=(const TaskService&) = delete;
    ~TaskService() { Shutdown(); }

    // Reads the profile, making the folder and an empty file the first time.
    void Load();
    // The profile's folder and file can be changed by nobody but SYSTEM, the Administrators and this user.
    bool ProfileTrusted() const;
    // From now on tasks run by their time. Until then, none does.
    void StartScheduler();
    bool Scheduling() const { return m_schedulerThread != nullptr; }

    const TaskStore& Tasks() const { return m_tasks; }
    // The file's tasks are in the list (or there was no file).
    bool ProfileRead() const;
    // The watched mark that the next save writes.
    std::optional<UtcSeconds> Watched() const;

    // The commands. Each writes the list at once; a failure comes as SaveFailed.
    TaskId Add(const Task& task);
    // False when the task is gone.
    bool Modify(TaskId id, const TaskChange& change);
    bool Remove(TaskId id);
    bool SetEnabled(TaskId id, bool enabled);
    // Runs the task now, whatever its time, days or state, and notes the run.
    bool RunNow(TaskId id);
    // The user's answer to the warning of the task's run due at that local second: close the program now, postpone
    // the run by the minutes, or skip it. False when the run cannot be answered so (it is over, or was postponed as
    // often as the task allows). The answer goes into the history; a run closed now runs at the next tick.
    bool AnswerWarning(TaskId id, long long dueLocal, WarningAnswer answer, int postponeMinutes);
    // Tasks taken from elsewhere, each with a new id: after the list's own, or in place of all of them. One change
    // and one write, however many tasks come.
    void AddTasks(const std::vector<Task>& tasks);
    void ReplaceTasks(const std::vector<Task>& tasks);
    // The list holds changes that the profile does not, because the last write failed.
    bool SavePending() const;

    // Adds a line to the history (History.txt beside the profile), stamped with the service's clock now. The
    // line is written on the worker thread: the caller never waits for the file. A line that cannot be written
    // is dropped and counted; nothing is shown.
    void Record(TaskId id,
                const std::wstring& program,
                const std::wstring& action,
                const std::wstring& event,
                const std::wstring& detail);
    // The lines that could not be written since the service was made.
    unsigned HistoryLinesDropped() const { return m_historyDropped; }

    // The computer has resumed from sleep.
    void NoticeResume();
    // The session ends: the list is written as it is, silently.
    void SessionEnding();
    // Leaving: the scheduler stops first, so that no run comes after the last write; stops still waiting are
    // abandoned (their programs were asked to close, nothing is terminated any more); then the list is written.
    void Exit();
    // Stops the threads without writing the list (Exit writes it); stops still waiting are abandoned, and no
    // event comes any more, not even from a start that reports later.
    void Shutdown();

private:
    // Where events and the results of runs go; shared with start threads that may outlive the service.
    struct Gate;

    // While it lives, the boxes raised on this thread come to the owner as events.
    fw::MessageBoxRedirect MessagesAsEvents() const;
    void Emit(ServiceEvent event) const;
    // Posts work to the worker thread, with its messages as events.
    void PostWork(std::function<void()> work, DWORD delay = 0);

    // On the scheduler's thread: the tasks of one second.
    void OnDue(const std::vector<ScheduledTask>& due);
    void Carry(TaskId id, const RunRequest& run);
    // On the worker thread.
    void StopOnWorker(TaskId id, const RunRequest& run);
    // On the scheduler's thread: a warning begins or ends.
    void OnWarning(const WarningNotice& notice);
    void OnWarningEnded(TaskId id, long long dueLocal);
    // Hears the outcome of the task's run: its Last run text, its history line and, for a failure, a notice.
    RunReport ReportFor(TaskId id, const RunRequest& run) const;
    // Writes a stamped line on the worker thread (on this one once the worker has ended).
    void RecordLine(history::Line line);

    // Writes the list now; report: a failure becomes SaveFailed.
    void SaveNow(bool report);
    // Writes the runs noted, now or once the save period has passed since the last write.
    void SaveSoon();
    // The file is unread, or does not hold the list yet: a retry is due.
    bool RetryNeeded() const;
    // Tries again after the retry period, and again after each that did not succeed, until none is needed.
    void RetryWhileNeeded();
    // Under the profile's lock.
    std::optional<UtcSeconds> WatchedLocked() const;
    // After the profile was read late: its tasks came in front.
    void NoteCatchUp(bool readBefore);
    // Tells the owner of a copy of a damaged profile that a load or save has just made (none when empty).
    void NoteKeptCopy(const std::wstring& copy) const;

    TaskStore m_tasks;
    std::unique_ptr<TaskRunner> m_runner;
    std::shared_ptr<Gate> m_gate;
    Options m_options;
    mutable std::mutex m_profileMutex;
    ProfileState m_profile;
    WakeTimer m_wakeTimer;
    std::unique_ptr<Scheduler> m_scheduler;
    std::atomic<bool> m_saveQueued{false};
    std::atomic<bool> m_retryArmed{false};
    std::atomic<unsigned> m_historyDropped{0};
    std::atomic<ULONGLONG> m_lastSave{0};
    bool m_exited = false;
    std::unique_ptr<fw::WorkerThread> m_worker;
    // Last: its thread ends first, before anything it uses goes.
    std::unique_ptr<SchedulerThread> m_schedulerThread;
};

}  // namespace core
