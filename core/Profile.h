#pragma once
// Profile.txt in the all-users application-data folder: the tasks and the stop options between runs.
#include "core/IniFile.h"
#include "core/Task.h"
#include "core/TaskStore.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A file of tasks for another profile: TaskCount and the Task sections, every key of each task but its last run.
// False when it could not be written; a file that was there is then unchanged.
bool WriteTaskFile(const std::wstring& path, const std::vector<Task>& tasks);
// The tasks of such a file (or of a profile); empty when it cannot be read or has no TaskCount.
std::optional<std::vector<Task>> ReadTaskFile(const std::wstring& path);
// Keeps the profile as it is now beside it, byte for byte, as prefix + "YYYYMMDD-HHMMSS.txt" (local time), never
// over another file (a name already taken gets "-2", "-3", ...). The copy's path; empty when none could be made.
std::wstring KeepProfileCopy(const std::wstring& prefix);

// The file as read is damaged: the document says so (bytes that are no text, a header without its ']'), or a
// row under TaskCount lacks Program, Action or Time while its section holds text. Sections beyond the count
// are what a shorter list leaves behind, and a row without a section has no text to lose: neither is damage.
bool ProfileDamaged(const IniDocument& doc);

// A damaged file's original is kept beside it, byte for byte, as "Profile.damaged-YYYYMMDD-HHMMSS.txt" (local
// time), before anything writes over it: once for each content, never over another file (a name already taken
// gets "-2", "-3", ... up to this many names in one second), and never removed.
inline constexpr int kDamagedCopyNamesPerSecond = 10;

// The text shown when a list could not be written.
inline constexpr wchar_t kCannotWriteFile[] = L"Can't write file ";

// What became of a save.
enum class SaveOutcome {
    // The file holds the list.
    Written,
    // Nothing was written, and nothing needs saying: there is no folder (already reported), or the file could not
    // be read and the list holds nothing that it would lose.
    Held,
    // The list could not be written: the user is told, and the list is written at the next retry.
    Failed,
};

// The task service's hold on the file. While the file's tasks have not been read into the list (the read
// failed), the file is never replaced: each save and each retry reads it again first, and once a read
// succeeds its tasks come into the list in front of those added meanwhile, with ids of their own, and saving
// resumes. A list that could not be written is written at the next save or retry.
//
// Beside the tasks the file keeps the watched mark (Watched in [TaskCount]): the time up to which Marlowick
// looked at the clock, so that a later start knows which due times passed while nobody watched.
class ProfileState {
public:
    // Start-up: fills the list and reports a file that cannot be read.
    void Load(TaskStore& tasks);
    // After each change, each run, at exit and when the session ends. The watched mark is written when there is
    // one; without one the file keeps its own.
    SaveOutcome Save(TaskStore& tasks, std::optional<UtcSeconds> watched);
    // From the service's retry timer: reads an unread file, writes a list not yet written; silent.
    void Retry(TaskStore& tasks, std::optional<UtcSeconds> watched);

    // The file's tasks are in the list (or there was no file).
    bool FileRead() const { return m_fileRead; }
    // The list holds changes the file does not.
    bool SavePending() const { return m_savePending; }
    // The watched mark the file held when its tasks were read; empty for a file of an earlier version.
    std::optional<UtcSeconds> Watched() const { return m_watched; }
    // The path of the copy of a damaged file made since the last call, once; empty when none was made.
    std::wstring TakeKeptCopy() { return std::exchange(m_keptCopy, {}); }

private:
    // Reads the file's tasks in front of the list's when they are not there yet; false when the file
    // still cannot be read.
    bool CatchUp(TaskStore& tasks, IniDocument& doc, const std::wstring& path);

    bool m_fileRead = false;
    bool m_savePending = false;
    std::optional<UtcSeconds> m_watched;
    std::wstring m_keptCopy;
};

// Creates the folder when it is missing, and gives it a file to read: a missing or empty file is restored from
// the newest complete temporary file of an interrupted save, or else a missing one is created empty, so that a
// first start reads without error. False when the folder could not be made (already reported).
bool EnsureProfileFile();

}  // namespace core
