#include "core/Profile.h"

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
#include <cwctype>
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

std::vector<Task> TasksOf(const IniDocument& doc) {
    std::vector<Task> tasks;
    const int count = std::min(ParseSettingInt(doc.Get(kCountSection, kCountKey)), kMaxTasks);
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
        tasks.push_back(std::move(task));
    }
    return tasks;
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

// Writes the list into the document; every text fits on its line, so every row is stored whole.
void StoreTasks(const std::vector<Task>& tasks, IniDocument& doc) {
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
    }
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

std::wstring GetConfigFolder() {
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
    if (!Readable(doc.Load(path)) || !doc.Set(section, key, value) || !doc.Save(path)) {
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
    if (!Readable(doc.Load(path))) {
        ReportWriteFailure();
        return;
    }
    std::vector<Task> rows;
    for (int i = 0; i < tasks.GetTaskCount(); ++i) {
        rows.push_back(tasks.GetTask(i));
    }
    StoreTasks(rows, doc);
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
    tasks.AppendTasks(TasksOf(doc));
}

bool ProfileState::CatchUp(TaskStore& tasks, IniDocument& doc, const std::wstring& path) {
    if (!Readable(doc.Load(path))) {
        return false;
    }
    if (!m_fileRead) {
        // New ids for the file's tasks: every task already in the list keeps its own, and with it its results.
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
    StoreTasks(tasks.AllTasks(), doc);
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
