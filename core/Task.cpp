#include "core/Task.h"

namespace core {

std::wstring MemoryTaskList::GetTaskText(int row, TaskColumn column) const {
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

void MemoryTaskList::AppendTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) {
    m_rows.push_back(Row{Task{program, action, time}});
}

void MemoryTaskList::ReplaceTask(int row,
                                 const std::wstring& program,
                                 const std::wstring& action,
                                 const std::wstring& time) {
    // As in the list control: the row is deleted and a new, unselected one takes its place.
    if (!IsRow(row)) {
        return;
    }
    m_rows[static_cast<size_t>(row)] = Row{Task{program, action, time}};
}

void MemoryTaskList::RemoveTask(int row) {
    if (IsRow(row)) {
        m_rows.erase(m_rows.begin() + row);
    }
}

int MemoryTaskList::GetFirstSelectedTask() const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].selected) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void MemoryTaskList::SelectTask(int row, bool selected) {
    if (IsRow(row)) {
        m_rows[static_cast<size_t>(row)].selected = selected;
    }
}

}  // namespace core
