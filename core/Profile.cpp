#include "core/Profile.h"

#include "core/Portable.h"

#include "core/IniFile.h"
#include "core/ProfileSecurity.h"
#include "core/TaskOptions.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <vector>

namespace core {
namespace {

constexpr wchar_t kCountSection[] = L"TaskCount";
constexpr wchar_t kCountKey[] = L"TaskCount";
constexpr wchar_t kWatchedKey[] = L"Watched";
// The keys a task's section may hold beside Program, Action and Time; each is optional.
constexpr wchar_t kDaysKey[] = L"Days";
constexpr wchar_t kArgumentsKey[] = L"Arguments";
constexpr wchar_t kFolderKey[] = L"Folder";
constexpr wchar_t kEnabledKey[] = L"Enabled";
constexpr wchar_t kRunIfMissedKey[] = L"RunIfMissed";
constexpr wchar_t kWakeKey[] = L"Wake";
constexpr wchar_t kLastRunKey[] = L"LastRun";
constexpr wchar_t kIdKey[] = L"Id";
constexpr wchar_t kEveryKey[] = L"Every";
constexpr wchar_t kUntilKey[] = L"Until";
constexpr wchar_t kDateKey[] = L"Date";
constexpr wchar_t kWarnKey[] = L"Warn";
constexpr wchar_t kMaxPostponesKey[] = L"MaxPostpones";
constexpr wchar_t kTreeKey[] = L"Tree";
// In [TaskCount]: the id the next new task gets, so that no id is ever given twice.
constexpr wchar_t kNextIdKey[] = L"NextId";
// The keys every row has.
constexpr const wchar_t* kRowKeys[] = {L"Program", L"Action", L"Time"};
constexpr wchar_t kDamagedCopyPrefix[] = L"Profile.damaged-";

// Set once the folder failure has been shown; cleared when the folder is there again. The service's threads and
// the window's both ask for the folder.
std::atomic<bool> g_folderFailureShown{false};

std::wstring TaskSection(int row) {
    return L"Task" + std::to_wstring(row);
}

void ReportLoadFailure(const std::wstring& path, IniDocument::LoadResult result) {
    if (result == IniDocument::LoadResult::TooLarge) {
        fw::AfxMessageBox(L"The file " + path +
                              L" is larger than 64 MiB, so it cannot be a task list. It is not loaded, and "
                              L"Marlowick does not write over it.",
                          MB_OK);
        return;
    }
    fw::AfxMessageBox(L"Can not open file " + path + L" for read\n", MB_OK);
}

void ReportWriteFailure() {
    fw::AfxMessageBox(kCannotWriteFile, MB_OK);
}

bool Readable(IniDocument::LoadResult result) {
    return result == IniDocument::LoadResult::Ok || result == IniDocument::LoadResult::Missing;
}

// Loads the file for reading; reports a file that is missing or cannot be read.
bool LoadForRead(const std::wstring& path, IniDocument& doc) {
    const IniDocument::LoadResult result = doc.Load(path);
    if (result != IniDocument::LoadResult::Ok) {
        ReportLoadFailure(path, result);
        return false;
    }
    return true;
}

// The number of rows the file holds: its count, at most kMaxTasks (none for a count below one).
int StoredCount(const IniDocument& doc) {
    return std::min(ParseSettingInt(doc.Get(kCountSection, kCountKey)), kMaxTasks);
}

std::vector<Task> TasksOf(const IniDocument& doc) {
    std::vector<Task> tasks;
    const int count = StoredCount(doc);
    for (int i = 0; i < count; ++i) {
        const std::wstring section = TaskSection(i);
        Task task{doc.Get(section, L"Program"), doc.Get(section, L"Action"), doc.Get(section, L"Time")};
        task.days = doc.Get(section, kDaysKey);
        task.arguments = doc.Get(section, kArgumentsKey);
        task.folder = doc.Get(section, kFolderKey);
        task.enabled = ParseEnabled(doc.Get(section, kEnabledKey));
        task.runIfMissed = ParseYes(doc.Get(section, kRunIfMissedKey));
        task.wake = ParseYes(doc.Get(section, kWakeKey));
        task.lastRun = ParseUtc(doc.Get(section, kLastRunKey));
        // A row without a readable id (an earlier version's) gets one when the list takes it.
        task.id = ParseTaskId(doc.Get(section, kIdKey)).value_or(0);
        task.every = doc.Get(section, kEveryKey);
        task.until = doc.Get(section, kUntilKey);
        task.date = doc.Get(section, kDateKey);
        task.warn = doc.Get(section, kWarnKey);
        task.maxPostpones = doc.Get(section, kMaxPostponesKey);
        task.tree = ParseYes(doc.Get(section, kTreeKey));
        tasks.push_back(std::move(task));
    }
    return tasks;
}

// A row the file means to hold (its section has text) that lost one of the keys every row has.
bool RowIncomplete(const IniDocument& doc, const std::wstring& section) {
    return doc.HasKeys(section) && !std::all_of(std::begin(kRowKeys), std::end(kRowKeys),
                                                [&](const wchar_t* key) { return doc.Has(section, key); });
}

// Gives the incomplete rows of a damaged file their missing keys, empty, as the list reads them: the file
// written afterwards is sound, even by a write that changes no task.
void CompleteRows(IniDocument& doc) {
    const int count = StoredCount(doc);
    for (int i = 0; i < count; ++i) {
        const std::wstring section = TaskSection(i);
        if (!RowIncomplete(doc, section)) {
            continue;
        }
        for (const wchar_t* key : kRowKeys) {
            if (!doc.Has(section, key)) {
                doc.Set(section, key, L"");
            }
        }
    }
}

// The file holds exactly these bytes.
bool HoldsBytes(const std::wstring& path, const std::string& bytes) {
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) != bytes.size()) {
        return false;
    }
    std::vector<char> chunk(64 * 1024);
    for (size_t offset = 0; offset < bytes.size();) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) || read == 0 ||
            read > bytes.size() - offset || std::memcmp(chunk.data(), bytes.data() + offset, read) != 0) {
            return false;
        }
        offset += read;
    }
    return true;
}

// A copy with these bytes is kept in the folder already.
bool AlreadyKept(const std::wstring& folder, const std::string& bytes) {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\" + kDamagedCopyPrefix + L"*.txt";
    fw::UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) {
        return false;
    }
    do {
        const unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && size == bytes.size() &&
            HoldsBytes(folder + L"\\" + found.cFileName, bytes)) {
            return true;
        }
    } while (::FindNextFileW(search.Get(), &found));
    return false;
}

std::wstring StampedCopyName(const std::wstring& prefix, const SYSTEMTIME& now, int attempt) {
    wchar_t stamp[32]{};
    std::swprintf(stamp, std::size(stamp), L"%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    std::wstring name = prefix + stamp;
    if (attempt > 1) {
        name += L"-" + std::to_wstring(attempt);
    }
    return name + L".txt";
}

enum class NewFile { Written, NameTaken, Failed };

// Writes the bytes into a file that did not exist; never opens one that does. A copy that could not be written
// whole is removed again, so that every copy kept is whole.
NewFile WriteNewFile(const std::wstring& path, const std::string& bytes) {
    bool written = false;
    {
        fw::UniqueFile file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFile::NameTaken : NewFile::Failed;
        }
        DWORD done = 0;
        written = ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size() && ::FlushFileBuffers(file.Get());
    }
    if (!written) {
        fw::IgnoreResult(::DeleteFileW(path.c_str()));
        return NewFile::Failed;
    }
    return NewFile::Written;
}

// Writes the bytes into a new file of the folder named by the prefix and the local time; its path, or empty when
// no copy could be made.
std::wstring WriteStampedCopy(const std::wstring& folder, const std::wstring& prefix, const std::string& bytes) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    for (int attempt = 1; attempt <= kDamagedCopyNamesPerSecond; ++attempt) {
        const std::wstring copy = folder + L"\\" + StampedCopyName(prefix, now, attempt);
        switch (WriteNewFile(copy, bytes)) {
            case NewFile::Written:
                return copy;
            case NewFile::Failed:
                return {};
            case NewFile::NameTaken:
                break;
        }
    }
    return {};
}

// Keeps the bytes beside the file unless a copy holds them already; a copy made now is named in *made. False
// when no copy could be made.
bool KeepOriginal(const std::wstring& path, const std::string& bytes, std::wstring* made) {
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
    if (AlreadyKept(folder, bytes)) {
        return true;
    }
    const std::wstring copy = WriteStampedCopy(folder, kDamagedCopyPrefix, bytes);
    if (copy.empty()) {
        return false;
    }
    if (made) {
        *made = copy;
    }
    return true;
}

// The one rule for a damaged file, between reading it and anything that may write over it (and at start-up, so
// that the copy exists before anything could write): its original is kept, and its rows are completed. False when
// the original could not be kept: then the file is not to be written over, and the write is tried again later.
bool KeepIfDamaged(const std::wstring& path, IniDocument& doc, std::wstring* made) {
    if (!ProfileDamaged(doc)) {
        return true;
    }
    if (!KeepOriginal(path, doc.Bytes(), made)) {
        return false;
    }
    CompleteRows(doc);
    return true;
}

// Sets an optional key, or removes it when the task has the default (so that a file of an earlier version
// gains only the keys that a change adds, and a row never keeps a key of the task that had its number).
void SetOrRemove(IniDocument& doc, const std::wstring& section, const wchar_t* key, const std::wstring& value) {
    if (value.empty()) {
        doc.Remove(section, key);
    } else {
        doc.Set(section, key, OneLine(value));
    }
}

// The id the file says the next new task gets; 1 for a file without one.
TaskId StoredNextId(const IniDocument& doc) {
    return ParseTaskId(doc.Get(kCountSection, kNextIdKey)).value_or(1);
}

// The list never gives an id that the file has given before, even to a task that is gone.
void ReserveStoredIds(const IniDocument& doc, TaskStore& tasks) {
    tasks.ReserveIdsBelow(StoredNextId(doc));
}

// Writes the rows and their count into the document; every text fits on its line, so every row is stored whole.
void StoreRows(const std::vector<Task>& tasks, IniDocument& doc) {
    // Sections beyond the count, left from a longer list, stay in the file; nothing reads them.
    const int count = static_cast<int>(tasks.size());
    doc.Set(kCountSection, kCountKey, std::to_wstring(count));
    for (int i = 0; i < count; ++i) {
        const std::wstring section = TaskSection(i);
        const Task& task = tasks[static_cast<size_t>(i)];
        doc.Set(section, L"Program", OneLine(task.program));
        doc.Set(section, L"Action", OneLine(task.action));
        doc.Set(section, L"Time", OneLine(task.time));
        SetOrRemove(doc, section, kDaysKey, task.days);
        SetOrRemove(doc, section, kArgumentsKey, task.arguments);
        SetOrRemove(doc, section, kFolderKey, task.folder);
        SetOrRemove(doc, section, kEnabledKey, task.enabled ? L"" : L"FALSE");
        SetOrRemove(doc, section, kRunIfMissedKey, task.runIfMissed ? L"TRUE" : L"");
        SetOrRemove(doc, section, kWakeKey, task.wake ? L"TRUE" : L"");
        SetOrRemove(doc, section, kLastRunKey, task.lastRun ? FormatUtc(*task.lastRun) : L"");
        SetOrRemove(doc, section, kIdKey, task.id ? std::to_wstring(task.id) : L"");
        SetOrRemove(doc, section, kEveryKey, task.every);
        SetOrRemove(doc, section, kUntilKey, task.until);
        SetOrRemove(doc, section, kDateKey, task.date);
        SetOrRemove(doc, section, kWarnKey, task.warn);
        SetOrRemove(doc, section, kMaxPostponesKey, task.maxPostpones);
        SetOrRemove(doc, section, kTreeKey, task.tree ? L"TRUE" : L"");
    }
}

// The rows, and the id the next new task gets beside them.
void StoreTasks(const std::vector<Task>& tasks, TaskId nextId, IniDocument& doc) {
    // Never below what the file promised before, nor at an id in use.
    nextId = std::max(nextId, StoredNextId(doc));
    for (const Task& task : tasks) {
        nextId = std::max(nextId, task.id + 1);
    }
    doc.Set(kCountSection, kNextIdKey, std::to_wstring(nextId));
    StoreRows(tasks, doc);
}

}  // namespace

std::wstring OneLine(const std::wstring& text) {
    std::wstring line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            // CR LF is one line break, and so one blank.
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
                ++i;
            }
            line.push_back(L' ');
        } else {
            line.push_back(text[i]);
        }
    }
    return line;
}

bool ProfileDamaged(const IniDocument& doc) {
    if (doc.Damaged()) {
        return true;
    }
    const int count = StoredCount(doc);
    for (int i = 0; i < count; ++i) {
        if (RowIncomplete(doc, TaskSection(i))) {
            return true;
        }
    }
    return false;
}

std::wstring GetConfigFolder() {
    // A portable copy keeps its files beside itself, in a folder its user made.
    if (const std::wstring& portable = PortableFolder(); !portable.empty()) {
        return portable;
    }
    wchar_t base[MAX_PATH]{};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, base))) {
        return {};
    }
    std::wstring folder = std::wstring(base) + L"\\Korvane\\Marlowick";
    if (::PathIsDirectoryW(folder.c_str())) {
        g_folderFailureShown = false;
        return folder;
    }
    // Another instance may have made it in the meantime: only a folder that still is not there is a failure.
    if (!CreateProtectedFolder(folder) && !::PathIsDirectoryW(folder.c_str())) {
        if (!g_folderFailureShown.exchange(true)) {
            fw::AfxMessageBox(L"Sorry,Cannot create config file folder.", MB_OK);
        }
        return {};
    }
    g_folderFailureShown = false;
    return folder;
}

std::wstring GetProfilePath() {
    const std::wstring folder = GetConfigFolder();
    return folder.empty() ? std::wstring() : folder + L"\\Profile.txt";
}

void ReportProfileReadFailure(const std::wstring& path, IniDocument::LoadResult result) {
    ReportLoadFailure(path, result);
}

std::wstring ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
    if (path.empty()) {
        return {};
    }
    IniDocument doc;
    if (!LoadForRead(path, doc)) {
        return {};
    }
    return doc.Get(section, key);
}

bool WriteProfileString(const std::wstring& path,
                        const std::wstring& section,
                        const std::wstring& key,
                        const std::wstring& value) {
    if (path.empty()) {
        return false;
    }
    IniDocument doc;
    // A file that exists but cannot be read is never replaced: its contents would be lost.
    if (!Readable(doc.Load(path)) || !KeepIfDamaged(path, doc, nullptr) || !doc.Set(section, key, value) ||
        !doc.Save(path)) {
        ReportWriteFailure();
        return false;
    }
    return true;
}

std::wstring GetSetting(const std::wstring& section, const std::wstring& key) {
    return ReadProfileString(GetProfilePath(), section, key);
}

bool SetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    return WriteProfileString(GetProfilePath(), section, key, value);
}

int ParseSettingInt(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min(value * 10 + (text[i] - L'0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

int GetSettingInt(const std::wstring& section, const std::wstring& key) {
    return ParseSettingInt(GetSetting(section, key));
}

void LoadTasks(TaskList& tasks) {
    const std::wstring path = GetProfilePath();
    IniDocument doc;
    if (path.empty() || !LoadForRead(path, doc)) {
        return;
    }
    tasks.AppendTasks(TasksOf(doc));
}

void SaveTasks(const TaskList& tasks) {
    const std::wstring path = GetProfilePath();
    if (path.empty()) {
        return;
    }
    IniDocument doc;
    if (!Readable(doc.Load(path)) || !KeepIfDamaged(path, doc, nullptr)) {
        ReportWriteFailure();
        return;
    }
    std::vector<Task> rows;
    for (int i = 0; i < tasks.GetTaskCount(); ++i) {
        rows.push_back(tasks.GetTask(i));
    }
    StoreTasks(rows, 1, doc);
    if (!doc.Save(path)) {
        ReportWriteFailure();
    }
}

bool EnsureProfileFile() {
    const std::wstring folder = GetConfigFolder();
    if (folder.empty()) {
        return false;
    }
    if (!IniDocument::RestoreOrCreate(folder + L"\\Profile.txt")) {
        ReportWriteFailure();
    }
    return true;
}

bool WriteTaskFile(const std::wstring& path, const std::vector<Task>& tasks) {
    std::vector<Task> rows = tasks;
    for (Task& task : rows) {
        // A run belongs to this profile, not to the tasks taken elsewhere.
        task.lastRun.reset();
    }
    IniDocument doc;
    StoreRows(rows, doc);
    return doc.Save(path);
}

std::optional<std::vector<Task>> ReadTaskFile(const std::wstring& path) {
    IniDocument doc;
    if (doc.Load(path) != IniDocument::LoadResult::Ok || !doc.Has(kCountSection, kCountKey)) {
        return std::nullopt;
    }
    return TasksOf(doc);
}

std::wstring KeepProfileCopy(const std::wstring& prefix) {
    const std::wstring folder = GetConfigFolder();
    if (folder.empty()) {
        return {};
    }
    std::string bytes;
    IniDocument doc;
    const IniDocument::LoadResult result = doc.Load(folder + L"\\Profile.txt");
    if (result != IniDocument::LoadResult::Ok && result != IniDocument::LoadResult::Missing) {
        return {};
    }
    return WriteStampedCopy(folder, prefix, doc.Bytes());
}

void ProfileState::Load(TaskStore& tasks) {
    m_fileRead = false;
    const std::wstring path = GetProfilePath();
    if (path.empty()) {
        return;
    }
    IniDocument doc;
    const IniDocument::LoadResult result = doc.Load(path);
    if (result != IniDocument::LoadResult::Ok) {
        ReportLoadFailure(path, result);
    }
    if (!Readable(result)) {
        return;
    }
    m_fileRead = true;
    m_watched = ParseUtc(doc.Get(kCountSection, kWatchedKey));
    ReserveStoredIds(doc, tasks);
    tasks.AppendTasks(TasksOf(doc));
    // A copy that cannot be made now is made by the first save, which writes nothing until it is.
    fw::IgnoreResult(KeepIfDamaged(path, doc, &m_keptCopy));
}

bool ProfileState::CatchUp(TaskStore& tasks, IniDocument& doc, const std::wstring& path) {
    if (!Readable(doc.Load(path))) {
        return false;
    }
    if (!m_fileRead) {
        // The file's tasks keep their ids where no task added meanwhile took them; a task already in the list keeps
        // its own, and with it its results.
        ReserveStoredIds(doc, tasks);
        tasks.InsertFront(TasksOf(doc));
        m_watched = ParseUtc(doc.Get(kCountSection, kWatchedKey));
        m_fileRead = true;
    }
    return true;
}

SaveOutcome ProfileState::Save(TaskStore& tasks, std::optional<UtcSeconds> watched) {
    const bool hadUnreadFile = !m_fileRead;
    m_savePending = true;
    const std::wstring path = GetProfilePath();
    IniDocument doc;
    if (path.empty() || !CatchUp(tasks, doc, path)) {
        // Nothing added while the file was unread: the file is left as it is, and nothing is lost.
        if (hadUnreadFile && tasks.GetTaskCount() == 0) {
            m_savePending = false;
            return SaveOutcome::Held;
        }
        // Without a folder the user has been told already; the list is written once the folder can be made.
        return path.empty() ? SaveOutcome::Held : SaveOutcome::Failed;
    }
    if (!KeepIfDamaged(path, doc, &m_keptCopy)) {
        return SaveOutcome::Failed;
    }
    StoreTasks(tasks.AllTasks(), tasks.NextId(), doc);
    if (watched) {
        doc.Set(kCountSection, kWatchedKey, FormatUtc(*watched));
    }
    if (!doc.Save(path)) {
        return SaveOutcome::Failed;
    }
    m_savePending = false;
    return SaveOutcome::Written;
}

void ProfileState::Retry(TaskStore& tasks, std::optional<UtcSeconds> watched) {
    if (m_savePending) {
        fw::IgnoreResult(Save(tasks, watched));
        return;
    }
    if (!m_fileRead) {
        const std::wstring path = GetProfilePath();
        IniDocument doc;
        if (!path.empty()) {
            fw::IgnoreResult(CatchUp(tasks, doc, path));
        }
    }
}

}  // namespace core
