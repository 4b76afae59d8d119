#pragma once
// The words of the add command, read into a task.
#include "core/Task.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Reads "add <program> <Start|Stop> <HH:MM:SS> [/days ...] [/args ...] [/folder ...] [/every ...] [/until ...]
// [/date ...] [/disabled] [/runifmissed]" into the task, its time stored in the user's locale format as the Task
// Option dialog stores it. The reason it is refused, or empty when it is taken.
std::optional<std::wstring> ReadAddWords(const std::vector<std::wstring>& words, core::Task& task);

}  // namespace cli
