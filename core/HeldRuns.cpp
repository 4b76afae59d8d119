#include "core/HeldRuns.h"

#include "core/Scheduler.h"

#include <algorithm>
#include <limits>

namespace core {
namespace {

// The moment of a run brought forward: before any other.
constexpr long long kAtOnce = std::numeric_limits<long long>::min();

// The task as the schedule holds it now; empty when it no longer runs (removed, disabled, unreadable).
std::optional<ScheduledTask> CurrentTask(const Schedule& schedule, TaskId id) {
    const auto byId = [id](const ScheduledTask& task) { return task.id == id; };
    const auto& warned = schedule.WarnedTasks();
    if (const auto found = std::find_if(warned.begin(), warned.end(), byId); found != warned.end()) {
        return *found;
    }
    const auto all = schedule.Tasks();
    if (const auto found = std::find_if(all.begin(), all.end(), byId); found != all.end()) {
        return *found;
    }
    return std::nullopt;
}

}  // namespace

void HeldRuns::AddMadeUp(const ScheduledTask& task, long long nowLocal) {
    const std::lock_guard lock(m_mutex);
    const long long due = task.madeUpFor.value_or(nowLocal);
    if (!Find(task.id, due)) {
        m_held.push_back({task, due, nowLocal + task.warnSeconds});
    }
}

std::vector<ScheduledTask> HeldRuns::TakeMoved(const Schedule& schedule, long long nowLocal, TickResult& result) {
    const std::lock_guard lock(m_mutex);
    std::vector<ScheduledTask> due;
    std::vector<Held> kept;
    for (Held& held : m_held) {
        if (held.skipped || held.runAt == held.due || held.runAt > nowLocal) {
            kept.push_back(std::move(held));
            continue;
        }
        std::optional<ScheduledTask> task = CurrentTask(schedule, held.task.id);
        // A task turned into a start meanwhile has nothing left to close.
        if (task && !IsStartAction(task->action)) {
            task->madeUpFor = held.task.madeUpFor;
            due.push_back(*task);
        }
        result.ended.emplace_back(held.task.id, held.due);
        // A run brought forward still holds its time back until that passes, as a skipped one does.
        if (held.due > nowLocal) {
            held.skipped = true;
            kept.push_back(std::move(held));
        }
    }
    m_held = std::move(kept);
    return due;
}

bool HeldRuns::HoldsBack(TaskId id, long long dueLocal) const {
    const std::lock_guard lock(m_mutex);
    const Held* held = Find(id, dueLocal);
    return held && (held->skipped || held->runAt != held->due);
}

void HeldRuns::Look(const Schedule& schedule, long long nowLocal, TickResult& result) {
    const std::lock_guard lock(m_mutex);
    // Each run as its task is now: a warning shows what the task names at that moment.
    for (Held& held : m_held) {
        if (std::optional<ScheduledTask> task = CurrentTask(schedule, held.task.id)) {
            task->madeUpFor = held.task.madeUpFor;
            held.task = *task;
        } else {
            held.task.warnSeconds = 0;
        }
    }
    // Over: the run came at its time (or its second was passed over), or its time passed after a skip. Gone: its
    // task no longer runs then, or no longer warns.
    std::erase_if(m_held, [&](const Held& held) {
        if (held.runAt != held.due && !held.skipped) {
            return false;  // a moved run is over when it has run
        }
        const bool over = held.due <= nowLocal;
        const bool gone = held.task.warnSeconds == 0 || !DueAt(held.task, held.due);
        if (over || gone) {
            result.ended.emplace_back(held.task.id, held.due);
            return true;
        }
        return false;
    });
    for (const ScheduledTask& task : schedule.WarnedTasks()) {
        const std::optional<long long> due = NextDueSecond(task, nowLocal);
        if (due && *due - nowLocal <= task.warnSeconds && !Find(task.id, *due)) {
            m_held.push_back({task, *due, *due});
        }
    }
    for (Held& held : m_held) {
        if (!held.announced && !held.skipped && held.runAt != kAtOnce &&
            held.runAt - nowLocal <= held.task.warnSeconds) {
            held.announced = true;
            result.warnings.push_back({held.task, held.due, held.runAt,
                                       static_cast<int>(std::max(0LL, held.runAt - nowLocal)),
                                       held.postpones < held.task.maxPostpones});
        }
    }
}

std::optional<long long> HeldRuns::Postpone(TaskId id, long long dueLocal, int seconds) {
    const std::lock_guard lock(m_mutex);
    Held* held = Find(id, dueLocal);
    if (!held || held->skipped || held->runAt == kAtOnce || held->postpones >= held->task.maxPostpones) {
        return std::nullopt;
    }
    held->runAt += seconds;
    ++held->postpones;
    // Warned again before the new moment.
    held->announced = false;
    return held->runAt;
}

bool HeldRuns::Skip(TaskId id, long long dueLocal) {
    const std::lock_guard lock(m_mutex);
    Held* held = Find(id, dueLocal);
    if (!held || held->skipped) {
        return false;
    }
    held->skipped = true;
    return true;
}

bool HeldRuns::RunEarly(TaskId id, long long dueLocal) {
    const std::lock_guard lock(m_mutex);
    Held* held = Find(id, dueLocal);
    if (!held || held->skipped) {
        return false;
    }
    held->runAt = kAtOnce;
    return true;
}

size_t HeldRuns::Count() const {
    const std::lock_guard lock(m_mutex);
    return m_held.size();
}

HeldRuns::Held* HeldRuns::Find(TaskId id, long long dueLocal) {
    const auto found = std::find_if(m_held.begin(), m_held.end(),
                                    [&](const Held& held) { return held.task.id == id && held.due == dueLocal; });
    return found == m_held.end() ? nullptr : &*found;
}

const HeldRuns::Held* HeldRuns::Find(TaskId id, long long dueLocal) const {
    return const_cast<HeldRuns*>(this)->Find(id, dueLocal);
}

}  // namespace core
