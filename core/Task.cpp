#include "core/Task.h"

namespace core {
namespace {

template <typename T>
void Note(std::optional<T>& change, const T& before, const T& after) {
    if (before != after) {
        change = after;
    }
}

template <typename T>
void Apply(const std::optional<T>& change, T& member) {
    if (change) {
        member = *change;
    }
}

}  // namespace

TaskChange TaskChange::Between(const Task& before, const Task& after) {
    TaskChange change;
    Note(change.program, before.program, after.program);
    Note(change.action, before.action, after.action);
    Note(change.time, before.time, after.time);
    Note(change.days, before.days, after.days);
    Note(change.arguments, before.arguments, after.arguments);
    Note(change.folder, before.folder, after.folder);
    Note(change.enabled, before.enabled, after.enabled);
    Note(change.runIfMissed, before.runIfMissed, after.runIfMissed);
    Note(change.wake, before.wake, after.wake);
    Note(change.every, before.every, after.every);
    Note(change.until, before.until, after.until);
    Note(change.date, before.date, after.date);
    Note(change.warn, before.warn, after.warn);
    Note(change.maxPostpones, before.maxPostpones, after.maxPostpones);
    Note(change.tree, before.tree, after.tree);
    return change;
}

void TaskChange::ApplyTo(Task& task) const {
    Apply(program, task.program);
    Apply(action, task.action);
    Apply(time, task.time);
    Apply(days, task.days);
    Apply(arguments, task.arguments);
    Apply(folder, task.folder);
    Apply(enabled, task.enabled);
    Apply(runIfMissed, task.runIfMissed);
    Apply(wake, task.wake);
    Apply(every, task.every);
    Apply(until, task.until);
    Apply(date, task.date);
    Apply(warn, task.warn);
    Apply(maxPostpones, task.maxPostpones);
    Apply(tree, task.tree);
}

}  // namespace core
