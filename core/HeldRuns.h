#pragma once
// The runs of Stop tasks that warn before they come. A run is noted once its time is within its task's warning, is
// announced when the warning begins, and keeps its time unless the user answers: it may be postponed (this run
// only, a limited number of times), skipped, or brought forward to now.
#include "core/TaskStore.h"

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace core {

// A run whose warning begins: the task, the local second it was due at, the second it runs at now, and what
// the user may do about it.
struct WarningNotice {
    ScheduledTask task;
    long long due = 0;
    long long runAt = 0;
    int secondsLeft = 0;
    bool canPostpone = false;
};

// Every member may be called from any thread; the scheduler calls the first four at each tick, in their order.
class HeldRuns {
public:
    // What the tick does with the runs: the runs to carry out now; the warnings that begin; and the runs whose
    // warning is over (they ran, were skipped or are gone with their task), by task and due second.
    struct TickResult {
        std::vector<ScheduledTask> runNow;
        std::vector<WarningNotice> warnings;
        std::vector<std::pair<TaskId, long long>> ended;
    };

    // A run made up late warns for its task's whole warning from now, and runs when that is over.
    void AddMadeUp(const ScheduledTask& task, long long nowLocal);
    // The runs that were moved (postponed, brought forward, made up) and whose moment has come, at or before now,
    // as the task is now; a run whose task is gone or no longer runs is dropped.
    std::vector<ScheduledTask> TakeMoved(const Schedule& schedule, long long nowLocal, TickResult& result);
    // The task's run due at that second is not to run then: it was postponed, skipped or brought forward.
    bool HoldsBack(TaskId id, long long dueLocal) const;
    // After the seconds up to now were examined: forgets the runs that are over, notes the warned tasks' runs
    // that come within their warning, and announces those whose warning begins.
    void Look(const Schedule& schedule, long long nowLocal, TickResult& result);

    // The user's answers, for the run of the task due at that second. Postpone moves it by the seconds from the
    // moment it was to run at; its new moment, or empty when it may not be postponed (any more) or is over.
    std::optional<long long> Postpone(TaskId id, long long dueLocal, int seconds);
    bool Skip(TaskId id, long long dueLocal);
    bool RunEarly(TaskId id, long long dueLocal);

    // The runs held now, for tests and the list.
    size_t Count() const;

private:
    struct Held {
        ScheduledTask task;
        long long due = 0;
        long long runAt = 0;
        int postpones = 0;
        bool announced = false;
        bool skipped = false;
    };
    Held* Find(TaskId id, long long dueLocal);
    const Held* Find(TaskId id, long long dueLocal) const;

    mutable std::mutex m_mutex;
    std::vector<Held> m_held;
};

}  // namespace core
