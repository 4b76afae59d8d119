#pragma once
// Profile.txt in the all-users application-data folder: the tasks and the stop options between runs.
#include "core/IniFile.h"
#include "core/Task.h"

#include <string>

namespace core {

// At most this many tasks are loaded, whatever count the file states.
inline constexpr int kMaxTasks = 10000;

// "...\Korvane\Marlowick" in the all-users application-data folder, created when missing; empty on failure.
// A folder that cannot be created is reported once; every later call tries again, silently, until it works.
std::wstring GetConfigFolder();
// The file in that folder; empty when there is no folder, so nothing is ever read or written elsewhere.
std::wstring GetProfilePath();

// Tells the user why the file could not be read, as every read of it does.
void ReportProfileReadFailure(const std::wstring& path, IniDocument::LoadResult result);

// Reads one value of the file; the empty text when it is absent or the file cannot be read. An empty path
// (no folder, already reported) reads as the empty text without a message.
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

// Fills the task list from the file (at most kMaxTasks rows) and writes it back. A file that cannot be
// read is never written over. Each text is stored on one line: a line break in it (CR, LF or both) is
// stored as one blank, so that no row is ever stored half.
void LoadTasks(TaskList& tasks);
void SaveTasks(const TaskList& tasks);
// The text a value is stored as: each line break replaced by one blank.
std::wstring OneLine(const std::wstring& text);

// The main window's hold on the file. While the file's tasks have not been read into the list (the read
// failed), the file is never replaced: each save and each retry reads it again first, and once a read
// succeeds its tasks come into the list in front of those added meanwhile, and saving resumes. A list
// that could not be written is written at the next save or retry.
class ProfileState {
public:
    // Start-up: fills the list and reports a file that cannot be read.
    void Load(TaskList& tasks);
    // After each change, at exit and when the session ends. report: show "Can't write file " when the
    // list could not be written. True when the file now holds the list.
    bool Save(TaskList& tasks, bool report);
    // From the main window's retry timer: reads an unread file, writes a list not yet written; silent.
    void Retry(TaskList& tasks);

    // The file's tasks are in the list (or there was no file).
    bool FileRead() const { return m_fileRead; }
    // The list holds changes the file does not.
    bool SavePending() const { return m_savePending; }

private:
    // Reads the file's tasks in front of the list's when they are not there yet; false when the file
    // still cannot be read.
    bool CatchUp(TaskList& tasks, IniDocument& doc, const std::wstring& path);

    bool m_fileRead = false;
    bool m_savePending = false;
};

// Creates the folder and an empty file when they are missing, so that a first start reads without error.
// False when the folder could not be made (already reported).
bool EnsureProfileFile();

}  // namespace core
