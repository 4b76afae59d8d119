#pragma once
// Profile.txt in the all-users application-data folder: the tasks and the stop options between runs.
#include "core/Task.h"

#include <string>

namespace core {

// At most this many tasks are loaded, whatever count the file states.
inline constexpr int kMaxTasks = 10000;

// "...\Korvane\Marlowick" in the all-users application-data folder, created when missing; empty on failure.
std::wstring GetConfigFolder();
std::wstring GetProfilePath();

// Tells the user that the file could not be read, as every read of it does.
void ReportProfileReadFailure(const std::wstring& path);

// Reads one value of the file; the empty text when it is absent or the file cannot be read.
std::wstring ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key);
// Writes one value; false after reporting a failure.
bool WriteProfileString(const std::wstring& path,
                        const std::wstring& section,
                        const std::wstring& key,
                        const std::wstring& value);

std::wstring GetSetting(const std::wstring& section, const std::wstring& key);
bool SetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
int GetSettingInt(const std::wstring& section, const std::wstring& key);
// A decimal number: leading white space skipped, an optional sign, the digits up to the first non-digit;
// 0 without digits, the nearest end of the 32-bit range beyond it.
int ParseSettingInt(const std::wstring& text);

// Fills the task list from the file (at most kMaxTasks rows) and writes it back.
void LoadTasks(TaskList& tasks);
void SaveTasks(const TaskList& tasks);

// Creates the folder and an empty file when they are missing, so that a first start reads without error.
// False when the folder could not be made (already reported).
bool EnsureProfileFile();

}  // namespace core
