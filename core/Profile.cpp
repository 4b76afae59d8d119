#include "core/Profile.h"

#include "core/IniFile.h"
#include "framework/MessageBox.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cwctype>

namespace core {
namespace {

constexpr wchar_t kCountSection[] = L"TaskCount";
constexpr wchar_t kCountKey[] = L"TaskCount";

std::wstring TaskSection(int row) {
    return L"Task" + std::to_wstring(row);
}

void ReportReadFailure(const std::wstring& path) {
    fw::AfxMessageBox(L"Can not open file " + path + L" for read\n", MB_OK);
}

void ReportWriteFailure() {
    fw::AfxMessageBox(L"Can't write file ", MB_OK);
}

// Loads the file for reading; reports a file that is missing or cannot be read.
bool LoadForRead(const std::wstring& path, IniDocument& doc) {
    if (doc.Load(path) != IniDocument::LoadResult::Ok) {
        ReportReadFailure(path);
        return false;
    }
    return true;
}

}  // namespace

std::wstring GetConfigFolder() {
    wchar_t base[MAX_PATH]{};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, base))) {
        return {};
    }
    std::wstring folder = std::wstring(base) + L"\\Korvane\\Marlowick";
    if (::PathFileExistsW(folder.c_str())) {
        return folder;
    }
    // Another instance may have made it in the meantime: only a folder that still is not there is a failure.
    if (::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr) != ERROR_SUCCESS &&
        !::PathIsDirectoryW(folder.c_str())) {
        fw::AfxMessageBox(L"Sorry,Cannot create config file folder.", MB_OK);
        return {};
    }
    return folder;
}

std::wstring GetProfilePath() {
    return GetConfigFolder() + L"\\Profile.txt";
}

void ReportProfileReadFailure(const std::wstring& path) {
    ReportReadFailure(path);
}

std::wstring ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
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
    IniDocument doc;
    // A file that exists but cannot be read is never replaced: its contents would be lost.
    if (doc.Load(path) == IniDocument::LoadResult::Unreadable || !doc.Set(section, key, value) || !doc.Save(path)) {
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
    if (!LoadForRead(path, doc)) {
        return;
    }
    const int count = std::min(ParseSettingInt(doc.Get(kCountSection, kCountKey)), kMaxTasks);
    for (int i = 0; i < count; ++i) {
        const std::wstring section = TaskSection(i);
        tasks.AppendTask(doc.Get(section, L"Program"), doc.Get(section, L"Action"), doc.Get(section, L"Time"));
    }
}

void SaveTasks(const TaskList& tasks) {
    const std::wstring path = GetProfilePath();
    IniDocument doc;
    if (doc.Load(path) == IniDocument::LoadResult::Unreadable) {
        ReportWriteFailure();
        return;
    }
    // Sections beyond the count, left from a longer list, stay in the file; nothing reads them.
    const int count = tasks.GetTaskCount();
    bool stored = doc.Set(kCountSection, kCountKey, std::to_wstring(count));
    for (int i = 0; i < count; ++i) {
        const std::wstring section = TaskSection(i);
        stored &= doc.Set(section, L"Program", tasks.GetTaskText(i, TaskColumn::Program));
        stored &= doc.Set(section, L"Action", tasks.GetTaskText(i, TaskColumn::Action));
        stored &= doc.Set(section, L"Time", tasks.GetTaskText(i, TaskColumn::Time));
    }
    const bool saved = doc.Save(path);
    if (!stored || !saved) {
        ReportWriteFailure();
    }
}

bool EnsureProfileFile() {
    const std::wstring folder = GetConfigFolder();
    if (folder.empty()) {
        return false;
    }
    const std::wstring path = folder + L"\\Profile.txt";
    if (!::PathFileExistsW(path.c_str()) && !IniDocument{}.Save(path)) {
        ReportWriteFailure();
    }
    return true;
}

}  // namespace core
