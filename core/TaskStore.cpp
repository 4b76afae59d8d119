#include "core/TaskStore.h"

#include "core/TaskOptions.h"
#include "core/TaskTime.h"
#include "framework/Handle.h"

#include <algorithm>

namespace core {
namespace {

bool BySecondThenRow(const ScheduledTask& a, const ScheduledTask& b) {
    return a.secondOfDay != b.secondOfDay ? a.secondOfDay < b.secondOfDay : a.row < b.row;
}

}  // namespace

Schedule::Schedule(std::vector<ScheduledTask> tasks) : m_tasks(std::move(tasks)) {
    std::sort(m_tasks.begin(), m_tasks.end(), &BySecondThenRow);
    for (const ScheduledTask& task : m_tasks) {
        if (task.runIfMissed) {
            m_missable.push_back(task);
        }
        if (task.wake) {
            m_wake.push_back(task);
        }
        if (task.everySeconds > 0) {
            m_repeating.push_back(task);
        }
        if (task.warnSeconds > 0) {
            m_warned.push_back(task);
        }
    }
}

bool Schedulable(const TaskRow& row) {
    return row.secondOfDay >= 0 && row.days && row.task.enabled;
}

ScheduledTask ScheduleEntry(const TaskRow& row, int index) {
    const Task& task = row.task;
    return {row.secondOfDay,  index,           task.id,      row.days.value_or(0),
            row.everySeconds, row.untilSecond, row.date,     std::nullopt,
            task.runIfMissed, task.wake,       task.lastRun, task.program,
            task.action,      task.arguments,  task.folder,  row.warnSeconds,
            row.maxPostpones, task.tree};
}

bool DueAt(const ScheduledTask& task, long long localSecond) {
    const long long second = localSecond % kSecondsPerDay;
    const long long dayStart = localSecond - second;
    if (task.date ? dayStart != *task.date : !(task.days & DayOfWeekBit(localSecond))) {
        return false;
    }
    if (second == task.secondOfDay) {
        return true;
    }
    return task.everySeconds > 0 && second > task.secondOfDay && second <= task.untilSecond &&
           (second - task.secondOfDay) % task.everySeconds == 0;
}

std::span<const ScheduledTask> Schedule::TasksAt(int secondOfDay) const {
    struct SecondOrder {
        bool operator()(const ScheduledTask& task, int second) const { return task.secondOfDay < second; }
        bool operator()(int second, const ScheduledTask& task) const { return second < task.secondOfDay; }
    };
    const auto [first, last] = std::equal_range(m_tasks.begin(), m_tasks.end(), secondOfDay, SecondOrder{});
    return {first, last};
}

TaskStore::TaskStore(const TaskStore& other) : TaskList(other) {
    const std::lock_guard lock(other.m_mutex);
    m_rows = other.m_rows;
    m_nextId = other.m_nextId;
    m_schedule = other.m_schedule;
}

TaskStore& TaskStore::operator=(const TaskStore& other) {
    if (this != &other) {
        const std::scoped_lock lock(m_mutex, other.m_mutex);
        m_rows = other.m_rows;
        m_nextId = other.m_nextId;
        RowsChanged();
    }
    return *this;
}

TaskStore::Row TaskStore::MakeRow(const Task& task) {
    // Parsed here, outside the lock, and never again: the tick compares numbers only.
    Row row;
    row.task = task;
    row.secondOfDay = SecondOfDay(ParseTaskTime(task.time));
    row.days = ParseDays(task.days);
    if (!task.date.empty()) {
        // A date replaces the days; one the calendar does not have is never due, rather than due every day.
        row.date = ParseDate(task.date);
        row.days = row.date ? std::optional<DayMask>(kEveryDay) : std::nullopt;
    }
    if (const std::optional<int> every = ParseEvery(task.every)) {
        row.everySeconds = *every * 60;
        // An end not later than the time is no end: the task repeats to the end of the day, as without one.
        const std::optional<int> until = ParseTime24(task.until);
        if (until && *until > row.secondOfDay) {
            row.untilSecond = *until;
        }
    }
    // A start is never warned of: nothing closes.
    if (!IsStartAction(task.action)) {
        row.warnSeconds = ParseWarn(task.warn).value_or(0);
    }
    row.maxPostpones = ParseMaxPostpones(task.maxPostpones).value_or(kDefaultMaxPostpones);
    return row;
}

void TaskStore::TakeSchedule(Row& row, const Row& parsed) {
    row.secondOfDay = parsed.secondOfDay;
    row.days = parsed.days;
    row.everySeconds = parsed.everySeconds;
    row.untilSecond = parsed.untilSecond;
    row.date = parsed.date;
    row.warnSeconds = parsed.warnSeconds;
    row.maxPostpones = parsed.maxPostpones;
}

void TaskStore::RowsChanged() {
    m_schedule.reset();
    m_index.clear();
}

int TaskStore::GetTaskCount() const {
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

std::wstring TaskStore::GetTaskText(int row, TaskColumn column) const {
    const std::lock_guard lock(m_mutex);
    if (!IsRow(row)) {
        return {};
    }
    const Task& task = m_rows[static_cast<size_t>(row)].task;
    switch (column) {
        case TaskColumn::Program:
            return task.program;
        case TaskColumn::Action:
            return task.action;
        case TaskColumn::Time:
            return task.time;
    }
    return {};
}

Task TaskStore::GetTask(int row) const {
    const std::lock_guard lock(m_mutex);
    return IsRow(row) ? m_rows[static_cast<size_t>(row)].task : Task{};
}

void TaskStore::AppendTask(const Task& task) {
    fw::IgnoreResult(Add(task));
}

TaskId TaskStore::Add(const Task& task) {
    Row row = MakeRow(task);
    const std::lock_guard lock(m_mutex);
    if (row.task.id == 0 || IndexOf(row.task.id) >= 0) {
        row.task.id = m_nextId;
    }
    m_nextId = std::max(m_nextId, row.task.id + 1);
    m_rows.push_back(std::move(row));
    m_schedule.reset();
    if (!m_index.empty()) {
        m_index.emplace(m_rows.back().task.id, m_rows.size() - 1);
    }
    return m_rows.back().task.id;
}

void TaskStore::GiveId(Row& row, std::unordered_set<TaskId>& taken) {
    TaskId& id = row.task.id;
    if (id == 0 || !taken.insert(id).second) {
        id = m_nextId++;
        taken.insert(id);
    }
    m_nextId = std::max(m_nextId, id + 1);
}

TaskId TaskStore::NextId() const {
    const std::lock_guard lock(m_mutex);
    return m_nextId;
}

void TaskStore::ReserveIdsBelow(TaskId next) {
    const std::lock_guard lock(m_mutex);
    m_nextId = std::max(m_nextId, next);
}

void TaskStore::AppendTasks(const std::vector<Task>& tasks) {
    InsertRows(false, tasks);
}

void TaskStore::InsertFront(const std::vector<Task>& tasks) {
    InsertRows(true, tasks);
}

void TaskStore::InsertRows(bool front, const std::vector<Task>& tasks) {
    std::vector<Row> rows;
    rows.reserve(tasks.size());
    for (const Task& task : tasks) {
        rows.push_back(MakeRow(task));
    }
    const std::lock_guard lock(m_mutex);
    std::unordered_set<TaskId> taken;
    taken.reserve(m_rows.size() + rows.size());
    for (const Row& row : m_rows) {
        taken.insert(row.task.id);
    }
    for (Row& row : rows) {
        GiveId(row, taken);
    }
    m_rows.insert(front ? m_rows.begin() : m_rows.end(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    RowsChanged();
}

bool TaskStore::Change(TaskId id, const TaskChange& change) {
    std::optional<Task> task;
    {
        const std::lock_guard lock(m_mutex);
        if (const Row* row = FindRow(id)) {
            task = row->task;
        }
    }
    if (!task) {
        return false;
    }
    change.ApplyTo(*task);
    // Parsed outside the lock; only the members changed are put in, so a run noted meanwhile stays.
    const Row changed = MakeRow(*task);
    const std::lock_guard lock(m_mutex);
    Row* row = FindRow(id);
    if (!row) {
        return false;
    }
    change.ApplyTo(row->task);
    TakeSchedule(*row, changed);
    m_schedule.reset();
    return true;
}

bool TaskStore::Remove(TaskId id) {
    const std::lock_guard lock(m_mutex);
    const int row = IndexOf(id);
    if (row < 0) {
        return false;
    }
    m_rows.erase(m_rows.begin() + row);
    RowsChanged();
    return true;
}

std::optional<TaskRow> TaskStore::Find(TaskId id) const {
    const std::lock_guard lock(m_mutex);
    const int row = IndexOf(id);
    return row < 0 ? std::nullopt : std::optional<TaskRow>(m_rows[static_cast<size_t>(row)]);
}

std::vector<TaskId> TaskStore::Ids() const {
    const std::lock_guard lock(m_mutex);
    std::vector<TaskId> ids;
    ids.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        ids.push_back(row.task.id);
    }
    return ids;
}

std::vector<Task> TaskStore::AllTasks() const {
    const std::lock_guard lock(m_mutex);
    std::vector<Task> tasks;
    tasks.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        tasks.push_back(row.task);
    }
    return tasks;
}

void TaskStore::ReplaceTask(int row, const Task& task) {
    Row replacement = MakeRow(task);
    const std::lock_guard lock(m_mutex);
    if (!IsRow(row)) {
        return;
    }
    Row& current = m_rows[static_cast<size_t>(row)];
    replacement.task.id = current.task.id;
    replacement.result = std::move(current.result);
    current = std::move(replacement);
    m_schedule.reset();
}

void TaskStore::RemoveTask(int row) {
    const std::lock_guard lock(m_mutex);
    if (!IsRow(row)) {
        return;
    }
    m_rows.erase(m_rows.begin() + row);
    RowsChanged();
}

int TaskStore::GetSecondOfDay(int row) const {
    const std::lock_guard lock(m_mutex);
    return IsRow(row) ? m_rows[static_cast<size_t>(row)].secondOfDay : -1;
}

std::optional<DayMask> TaskStore::GetDays(int row) const {
    const std::lock_guard lock(m_mutex);
    return IsRow(row) ? m_rows[static_cast<size_t>(row)].days : std::nullopt;
}

TaskId TaskStore::GetTaskId(int row) const {
    const std::lock_guard lock(m_mutex);
    return IsRow(row) ? m_rows[static_cast<size_t>(row)].task.id : 0;
}

int TaskStore::FindTask(TaskId id) const {
    const std::lock_guard lock(m_mutex);
    return IndexOf(id);
}

int TaskStore::IndexOf(TaskId id) const {
    // Built once after rows moved: the list's cells and each run's report look their task up by id.
    if (m_index.empty() && !m_rows.empty()) {
        m_index.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i) {
            m_index.emplace(m_rows[i].task.id, i);
        }
    }
    const auto found = m_index.find(id);
    return found == m_index.end() ? -1 : static_cast<int>(found->second);
}

TaskStore::Row* TaskStore::FindRow(TaskId id) {
    const int row = IndexOf(id);
    return row < 0 ? nullptr : &m_rows[static_cast<size_t>(row)];
}

bool TaskStore::SetLastRun(TaskId id, UtcSeconds moment) {
    const std::lock_guard lock(m_mutex);
    Row* row = FindRow(id);
    if (!row) {
        return false;
    }
    row->task.lastRun = moment;
    // The scheduler reads the last run when it makes up missed runs.
    m_schedule.reset();
    return true;
}

bool TaskStore::SetLastResult(TaskId id, const std::wstring& result) {
    const std::lock_guard lock(m_mutex);
    Row* row = FindRow(id);
    if (!row) {
        return false;
    }
    row->result = result;
    return true;
}

std::wstring TaskStore::GetLastResult(int row) const {
    const std::lock_guard lock(m_mutex);
    return IsRow(row) ? m_rows[static_cast<size_t>(row)].result : std::wstring();
}

std::shared_ptr<const Schedule> TaskStore::CurrentSchedule() const {
    const std::lock_guard lock(m_mutex);
    if (!m_schedule) {
        std::vector<ScheduledTask> tasks;
        tasks.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (Schedulable(m_rows[i])) {
                tasks.push_back(ScheduleEntry(m_rows[i], static_cast<int>(i)));
            }
        }
        m_schedule = std::make_shared<const Schedule>(std::move(tasks));
    }
    return m_schedule;
}

void MemoryTaskList::AppendTask(const Task& task) {
    TaskStore::AppendTask(task);
    m_selected.push_back(false);
}

void MemoryTaskList::AppendTasks(const std::vector<Task>& tasks) {
    TaskStore::AppendTasks(tasks);
    m_selected.resize(m_selected.size() + tasks.size(), false);
}

void MemoryTaskList::ReplaceTask(int row, const Task& task) {
    TaskStore::ReplaceTask(row, task);
    SelectTask(row, false);
}

void MemoryTaskList::RemoveTask(int row) {
    TaskStore::RemoveTask(row);
    if (IsRow(row)) {
        m_selected.erase(m_selected.begin() + row);
    }
}

int MemoryTaskList::GetFirstSelectedTask() const {
    const auto found = std::find(m_selected.begin(), m_selected.end(), true);
    return found == m_selected.end() ? -1 : static_cast<int>(found - m_selected.begin());
}

void MemoryTaskList::SelectTask(int row, bool selected) {
    if (IsRow(row)) {
        m_selected[static_cast<size_t>(row)] = selected;
    }
}

}  // namespace core
