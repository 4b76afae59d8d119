// Profile.txt in the test prefix's C:\ProgramData: first start, loading, saving, failures.
#include "core/IniFile.h"
#include "core/Portable.h"
#include "core/Profile.h"
#include "core/TaskStore.h"
#include "core/ProfileSecurity.h"
#include "core/TaskOptions.h"
#include "core/UserSettings.h"
#include "framework/MessageBox.h"
#include "helpers/FileSecurity.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

using core::MemoryTaskList;
using core::TaskColumn;

std::wstring CommonAppData() {
    wchar_t path[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, path);
    return path;
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") {
                RemoveTree(path + L"\\" + name);
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}

std::wstring PlatformRead(const std::wstring& section, const std::wstring& key) {
    std::vector<wchar_t> buffer(4096, L'\0');
    ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(), static_cast<DWORD>(buffer.size()),
                               core::GetProfilePath().c_str());
    return buffer.data();
}

class ProfileTest : public testing::Test {
protected:
    void SetUp() override {
        m_root = CommonAppData() + L"\\Korvane";
        m_folder = m_root + L"\\Marlowick";
        m_path = m_folder + L"\\Profile.txt";
        RemoveTree(m_root);
        fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
            m_messages.push_back(request.text);
            EXPECT_EQ(request.caption, L"Marlowick");
            EXPECT_EQ(request.type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
            return IDOK;
        });
    }
    void TearDown() override {
        fw::SetMessageBoxHook({});
        RemoveTree(m_root);
    }

    // Writes the profile as the platform's own functions would (a new file is in the ANSI code page).
    void PlatformWrite(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
        ::CreateDirectoryW(m_root.c_str(), nullptr);
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ASSERT_TRUE(::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), m_path.c_str()));
    }

    void SaveTasks(const std::vector<core::Task>& tasks) {
        MemoryTaskList list;
        for (const core::Task& t : tasks) {
            list.AppendTask(t);
        }
        core::SaveTasks(list);
    }

    MemoryTaskList Load() {
        MemoryTaskList list;
        core::LoadTasks(list);
        return list;
    }

    std::wstring m_root, m_folder, m_path;
    std::vector<std::wstring> m_messages;
};

TEST_F(ProfileTest, FirstStartShowsNoMessageAndSavesAnEmptyList) {
    EXPECT_EQ(core::GetProfilePath(), m_path);
    ASSERT_TRUE(core::EnsureProfileFile());
    EXPECT_EQ(::GetFileAttributesW(m_path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(Load().GetTaskCount(), 0);
    core::SaveTasks(MemoryTaskList{});
    EXPECT_EQ(PlatformRead(L"TaskCount", L"TaskCount"), L"0");
    EXPECT_TRUE(m_messages.empty());

    // A second start keeps what is there.
    SaveTasks({{L"a.exe", L"Start", L"1:00:00 AM"}});
    ASSERT_TRUE(core::EnsureProfileFile());
    EXPECT_EQ(Load().GetTaskCount(), 1);
}

TEST_F(ProfileTest, MissingFileIsReportedOnceWhenLoading) {
    ::CreateDirectoryW(m_root.c_str(), nullptr);
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    EXPECT_EQ(Load().GetTaskCount(), 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], L"Can not open file " + m_path + L" for read\n");
}

TEST_F(ProfileTest, FiveSavedTwoRemovedLeavesTheOldSectionsBehind) {
    SaveTasks({{L"p0", L"Start", L"00:00:00"},
               {L"p1", L"Stop", L"01:00:00"},
               {L"p2", L"Start", L"02:00:00"},
               {L"p3", L"Stop", L"03:00:00"},
               {L"p4", L"Start", L"04:00:00"}});
    MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 5);
    list.RemoveTask(1);
    list.RemoveTask(2);  // the former p3
    core::SaveTasks(list);

    EXPECT_EQ(PlatformRead(L"TaskCount", L"TaskCount"), L"3");
    EXPECT_EQ(PlatformRead(L"Task0", L"Program"), L"p0");
    EXPECT_EQ(PlatformRead(L"Task1", L"Program"), L"p2");
    EXPECT_EQ(PlatformRead(L"Task2", L"Program"), L"p4");
    EXPECT_EQ(PlatformRead(L"Task2", L"Time"), L"04:00:00");
    EXPECT_EQ(PlatformRead(L"Task3", L"Program"), L"p3");
    EXPECT_EQ(PlatformRead(L"Task4", L"Program"), L"p4");
    const MemoryTaskList reloaded = Load();
    ASSERT_EQ(reloaded.GetTaskCount(), 3);
    EXPECT_EQ(reloaded.GetTaskText(1, TaskColumn::Program), L"p2");
    EXPECT_EQ(reloaded.GetTaskText(1, TaskColumn::Action), L"Start");
    EXPECT_TRUE(m_messages.empty());
}

// The text of the file as our reader sees it, whatever its encoding.
std::wstring Contents(const std::wstring& path) {
    core::IniDocument doc;
    EXPECT_EQ(doc.Load(path), core::IniDocument::LoadResult::Ok);
    return doc.Serialize();
}

TEST_F(ProfileTest, OptionalKeysRoundTripAndAnOldProfileGainsOnlyTheKeysAChangeAdds) {
    PlatformWrite(L"TaskCount", L"TaskCount", L"2");
    PlatformWrite(L"Task0", L"Program", L"C:\\tools\\backup.exe");
    PlatformWrite(L"Task0", L"Action", L"Start");
    PlatformWrite(L"Task0", L"Time", L"2:00:00 AM");
    PlatformWrite(L"Task1", L"Program", L"Game");
    PlatformWrite(L"Task1", L"Action", L"Stop");
    PlatformWrite(L"Task1", L"Time", L"11:00:00 PM");
    PlatformWrite(L"Stop", L"TimeOut", L"20");
    const std::wstring before = Contents(m_path);

    // Loaded and saved unchanged: the same keys and values; only the ids the rows were given are added, and the
    // next one.
    MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 2);
    const core::Task old = list.GetTask(0);
    EXPECT_EQ(old.days, L"");
    EXPECT_TRUE(old.enabled);
    EXPECT_FALSE(old.runIfMissed);
    EXPECT_FALSE(old.wake);
    EXPECT_EQ(old.lastRun, std::nullopt);
    core::SaveTasks(list);
    std::wstring expected = before;
    expected.insert(expected.find(L"[Stop]"), L"Id=2\r\n");
    expected.insert(expected.find(L"[Task1]"), L"Id=1\r\n");
    expected.insert(expected.find(L"[Task0]"), L"NextId=3\r\n");
    EXPECT_EQ(Contents(m_path), expected);

    core::Task changed = list.GetTask(0);
    changed.days = L"Mon,Tue,Wed,Thu,Fri";
    changed.arguments = L"--incremental \"D:\\My Backups\"";
    changed.folder = L"C:\\tools";
    changed.enabled = false;
    changed.runIfMissed = true;
    changed.wake = true;
    changed.lastRun = core::ParseUtc(L"2026-12-09T07:00:00Z");
    changed.every = L"15";
    changed.until = L"18:00:00";
    changed.date = L"2026-12-24";
    changed.warn = L"60";
    changed.maxPostpones = L"0";
    changed.tree = true;
    list.ReplaceTask(0, changed);
    core::SaveTasks(list);
    EXPECT_EQ(PlatformRead(L"Task0", L"Days"), L"Mon,Tue,Wed,Thu,Fri");
    EXPECT_EQ(PlatformRead(L"Task0", L"Arguments"), L"--incremental \"D:\\My Backups\"");
    EXPECT_EQ(PlatformRead(L"Task0", L"Folder"), L"C:\\tools");
    EXPECT_EQ(PlatformRead(L"Task0", L"Enabled"), L"FALSE");
    EXPECT_EQ(PlatformRead(L"Task0", L"RunIfMissed"), L"TRUE");
    EXPECT_EQ(PlatformRead(L"Task0", L"Wake"), L"TRUE");
    EXPECT_EQ(PlatformRead(L"Task0", L"LastRun"), L"2026-12-09T07:00:00Z");
    // The three texts an earlier version reads are as they were.
    EXPECT_EQ(PlatformRead(L"Task0", L"Program"), L"C:\\tools\\backup.exe");
    EXPECT_EQ(PlatformRead(L"Task0", L"Time"), L"2:00:00 AM");
    EXPECT_EQ(PlatformRead(L"Task1", L"Days"), L"");
    const core::Task reloaded = Load().GetTask(0);
    EXPECT_EQ(reloaded.days, changed.days);
    EXPECT_EQ(reloaded.arguments, changed.arguments);
    EXPECT_EQ(reloaded.folder, changed.folder);
    EXPECT_FALSE(reloaded.enabled);
    EXPECT_TRUE(reloaded.runIfMissed);
    EXPECT_TRUE(reloaded.wake);
    EXPECT_EQ(reloaded.lastRun, changed.lastRun);
    EXPECT_EQ(reloaded.every, L"15");
    EXPECT_EQ(reloaded.until, L"18:00:00");
    EXPECT_EQ(reloaded.date, L"2026-12-24");
    EXPECT_EQ(reloaded.warn, L"60");
    EXPECT_EQ(reloaded.maxPostpones, L"0");
    EXPECT_TRUE(reloaded.tree);
    EXPECT_EQ(reloaded.id, 1u);

    // Another task takes the section's number: none of the keys of the task before it stays.
    list.RemoveTask(0);
    list.AppendTask(L"C:\\new.exe", L"Start", L"3:00:00 AM");
    list.ReplaceTask(0, list.GetTask(1));
    list.RemoveTask(1);
    core::SaveTasks(list);
    for (const wchar_t* key : {L"Days", L"Arguments", L"Folder", L"Enabled", L"RunIfMissed", L"Wake", L"LastRun",
                               L"Every", L"Until", L"Date", L"Warn", L"MaxPostpones", L"Tree"}) {
        EXPECT_EQ(PlatformRead(L"Task0", key), L"") << key;
    }
    EXPECT_EQ(PlatformRead(L"Task0", L"Program"), L"C:\\new.exe");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, IdsLastThroughSavesAndAreNeverGivenTwice) {
    PlatformWrite(L"TaskCount", L"TaskCount", L"3");
    PlatformWrite(L"TaskCount", L"NextId", L"20");
    for (const wchar_t* section : {L"Task0", L"Task1", L"Task2"}) {
        PlatformWrite(section, L"Program", section);
        PlatformWrite(section, L"Action", L"Start");
        PlatformWrite(section, L"Time", L"01:00:00");
    }
    PlatformWrite(L"Task0", L"Id", L"7");
    // A copied section: its id is taken, so it gets one of its own, as does a row without one.
    PlatformWrite(L"Task1", L"Id", L"7");
    core::TaskStore store;
    core::ProfileState state;
    state.Load(store);
    EXPECT_EQ(store.Ids(), (std::vector<core::TaskId>{7, 20, 21}));

    // The newest task goes: its id is still never given again, in this run or the next.
    ASSERT_TRUE(store.Remove(21));
    ASSERT_EQ(state.Save(store, std::nullopt), core::SaveOutcome::Written);
    core::TaskStore reloaded;
    core::ProfileState again;
    again.Load(reloaded);
    EXPECT_EQ(reloaded.Ids(), (std::vector<core::TaskId>{7, 20}));
    EXPECT_EQ(reloaded.Add({L"new", L"Stop", L"02:00:00"}), 22u);
    EXPECT_EQ(reloaded.GetTask(0).program, L"Task0");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, UnusableTaskCountsLoadNothing) {
    for (const wchar_t* count : {L"", L"abc", L"-3", L"0"}) {
        PlatformWrite(L"TaskCount", L"TaskCount", count);
        PlatformWrite(L"Task0", L"Program", L"should not load");
        EXPECT_EQ(Load().GetTaskCount(), 0) << std::wstring(count).size();
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, CountBeyondTheStoredSectionsLoadsEmptyRows) {
    PlatformWrite(L"TaskCount", L"TaskCount", L"4");
    PlatformWrite(L"Task0", L"Program", L"C:\\a.exe");
    PlatformWrite(L"Task0", L"Action", L"start");
    PlatformWrite(L"Task0", L"Time", L"Invalid DateTime");
    PlatformWrite(L"Task1", L"Program", L"C:\\b.exe");
    MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 4);
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Action), L"start");
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Time), L"Invalid DateTime");
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Action), L"");
    EXPECT_EQ(list.GetTaskText(3, TaskColumn::Program), L"");
    core::SaveTasks(list);
    EXPECT_EQ(PlatformRead(L"Task3", L"Time"), L"");
    EXPECT_EQ(Load().GetTaskCount(), 4);
}

TEST_F(ProfileTest, HugeTaskCountLoadsAtMostTenThousandRowsQuickly) {
    PlatformWrite(L"TaskCount", L"TaskCount", L"2147483647");
    const auto start = std::chrono::steady_clock::now();
    const MemoryTaskList list = Load();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("Loading TaskCount=2147483647 took %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(list.GetTaskCount(), core::kMaxTasks);
    EXPECT_LT(ms, 10000);
}

TEST_F(ProfileTest, LongAndNonAsciiTextsRoundTripWhole) {
    const std::wstring longPath = L"C:\\" + std::wstring(296, L'L') + L".exe";
    ASSERT_EQ(longPath.size(), 303u);
    const std::wstring accents = L"C:\\Programme\\Caf\x00e9\\\x65e5\x672c\x8a9e.exe";
    SaveTasks({{longPath, L"Start", L"07:30:00"}, {accents, L"Stop", L"19:05:00"}, {L"%s%n%d", L"Stop", L"1"}});
    const MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 3);
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Program), longPath);
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Program), accents);
    EXPECT_EQ(list.GetTaskText(2, TaskColumn::Program), L"%s%n%d");
    // The platform's own functions read the same file the same way.
    EXPECT_EQ(PlatformRead(L"Task1", L"Program"), accents);
}

TEST_F(ProfileTest, AnsiFileWrittenByThePlatformLoadsUnchanged) {
    PlatformWrite(L"TaskCount", L"TaskCount", L"1");
    PlatformWrite(L"Task0", L"Program", L"C:\\Tools\\Caf\x00e9\\backup.exe");
    PlatformWrite(L"Task0", L"Action", L"Start");
    PlatformWrite(L"Task0", L"Time", L"2:00:00 AM");
    PlatformWrite(L"Stop", L"TimeOut", L"25");
    ASSERT_NE(testing_support::ReadFileBytes(m_path).substr(0, 2), "\xFF\xFE");
    MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 1);
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Program), L"C:\\Tools\\Caf\x00e9\\backup.exe");
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Time), L"2:00:00 AM");
    EXPECT_EQ(core::GetSettingInt(L"Stop", L"TimeOut"), 25);

    // Saving converts the file to UTF-16 and keeps what the tasks do not own.
    list.AppendTask(L"C:\\\x65e5\x672c.exe", L"Stop", L"3:00:00 AM");
    core::SaveTasks(list);
    EXPECT_EQ(testing_support::ReadFileBytes(m_path).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(core::GetSetting(L"Stop", L"TimeOut"), L"25");
    EXPECT_EQ(Load().GetTaskText(1, TaskColumn::Program), L"C:\\\x65e5\x672c.exe");
}

TEST_F(ProfileTest, FilesWithoutAByteOrderMarkKeepTheirTasksThroughASave) {
    const std::wstring text =
        L"[TaskCount]\r\nTaskCount=1\r\n[Task0]\r\nProgram=C:\\Caf\x00e9\\\x65e5\x672c.exe\r\nAction=Stop\r\n"
        L"Time=02:00:00\r\n";
    const int utf8Size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(utf8Size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), utf8Size, nullptr,
                          nullptr);
    const std::string utf16(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    for (const std::string& bytes : {utf16, utf8}) {
        ::CreateDirectoryW(m_root.c_str(), nullptr);
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        {
            fw::UniqueFile file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(file);
            DWORD written = 0;
            ASSERT_TRUE(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        }
        MemoryTaskList list = Load();
        ASSERT_EQ(list.GetTaskCount(), 1) << bytes.size();
        EXPECT_EQ(list.GetTaskText(0, TaskColumn::Program), L"C:\\Caf\x00e9\\\x65e5\x672c.exe");
        list.AppendTask(L"b.exe", L"Start", L"03:00:00");
        core::SaveTasks(list);
        const MemoryTaskList saved = Load();
        ASSERT_EQ(saved.GetTaskCount(), 2);
        EXPECT_EQ(saved.GetTaskText(0, TaskColumn::Program), L"C:\\Caf\x00e9\\\x65e5\x672c.exe");
        EXPECT_EQ(saved.GetTaskText(0, TaskColumn::Time), L"02:00:00");
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, SettingsAsNumbers) {
    const std::pair<const wchar_t*, int> cases[] = {
        {L" 42x", 42},
        {L"-7", -7},
        {L"abc", 0},
        {L"", 0},
        {L"99999999999", 2147483647},
        {L"-99999999999", -2147483647 - 1},
        {L"+5", 5},
        {L"\t 12 34", 12},
        {L"- 3", 0},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(core::ParseSettingInt(text), value) << static_cast<int>(std::wstring(text).size());
    }
    ASSERT_TRUE(core::SetSetting(L"Stop", L"TimeOut", L" 42x"));
    EXPECT_EQ(core::GetSettingInt(L"Stop", L"TimeOut"), 42);
    EXPECT_EQ(core::GetSetting(L"Stop", L"TimeOut"), L" 42x");
    EXPECT_EQ(core::GetSettingInt(L"Stop", L"Absent"), 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, FolderThatCannotBeCreatedIsReportedOnceAndNothingLandsInTheRoot) {
    // A file where the maker's folder should be.
    HANDLE file = ::CreateFileW(m_root.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    EXPECT_EQ(core::GetConfigFolder(), L"");
    EXPECT_EQ(core::GetProfilePath(), L"");
    EXPECT_FALSE(core::EnsureProfileFile());
    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    list.AppendTask(L"kept.exe", L"Start", L"01:00:00");
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Held);
    EXPECT_FALSE(core::SetSetting(L"Stop", L"TimeOut", L"5"));
    EXPECT_EQ(core::GetSetting(L"Stop", L"TimeOut"), L"");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], L"Sorry,Cannot create config file folder.");
    // Never the root of the current drive.
    wchar_t root[MAX_PATH]{};
    ::GetCurrentDirectoryW(MAX_PATH, root);
    EXPECT_EQ(::GetFileAttributesW((std::wstring(root, 2) + L"\\Profile.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(list.GetTaskCount(), 1);

    // Once the folder can be made, the next save makes it and writes the list kept meanwhile.
    ASSERT_TRUE(::DeleteFileW(m_root.c_str()));
    EXPECT_TRUE(state.SavePending());
    state.Retry(list, {});
    EXPECT_FALSE(state.SavePending());
    EXPECT_EQ(PlatformRead(L"Task0", L"Program"), L"kept.exe");
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(ProfileTest, ProfileThatCannotBeWrittenIsReportedAndKept) {
    SaveTasks({{L"keep.exe", L"Start", L"01:00:00"}});
    const std::string before = testing_support::ReadFileBytes(m_path);
    {
        // As root, read-only bits are ignored: hold the file open without sharing instead.
        HANDLE lock = ::CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(core::SetSetting(L"Stop", L"TimeOut", L"5"));
        SaveTasks({{L"other.exe", L"Stop", L"02:00:00"}});
        ::CloseHandle(lock);
    }
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0], L"Can't write file ");
    EXPECT_EQ(m_messages[1], L"Can't write file ");
    EXPECT_EQ(testing_support::ReadFileBytes(m_path), before);
}

// The step of a save at which the process of a kill test ends.
core::SaveStep g_endAt = core::SaveStep::PartWritten;

class SaveKillTest : public ProfileTest, public testing::WithParamInterface<core::SaveStep> {
protected:
    std::vector<std::wstring> Programs() {
        const MemoryTaskList list = Load();
        std::vector<std::wstring> programs;
        for (int i = 0; i < list.GetTaskCount(); ++i) {
            programs.push_back(list.GetTaskText(i, TaskColumn::Program));
        }
        return programs;
    }
    int Leftovers() const {
        int count = 0;
        WIN32_FIND_DATAW found{};
        fw::UniqueFind search(::FindFirstFileW((m_folder + L"\\mwk*.tmp").c_str(), &found));
        for (bool more = static_cast<bool>(search); more; more = ::FindNextFileW(search.Get(), &found)) {
            ++count;
        }
        return count;
    }
};

// The process ends at a step of a save; the next start reads the list before the save or the list after it,
// whole. When the file is missing as well (as an interrupted replace of an earlier version left it), a
// temporary file is taken only when the save wrote it whole.
TEST_P(SaveKillTest, AProcessEndedAtAnyStepOfASaveLosesNoTask) {
    const std::vector<std::wstring> before{L"old.exe", L"kept.exe"};
    const std::vector<std::wstring> after{L"old.exe", L"kept.exe", L"new.exe"};
    SaveTasks({{before[0], L"Start", L"01:00:00"}, {before[1], L"Stop", L"02:00:00"}});
    // What an earlier interrupted save left, cut short: the save's clean-up has it to remove.
    ASSERT_TRUE(testing_support::WriteFileBytes(m_folder + L"\\mwk0001.tmp", "\xff\xfe[TaskCount]"));
    ::Sleep(20);
    const core::SaveStep step = GetParam();
    EXPECT_EXIT(
        {
            g_endAt = step;
            core::SetSaveHook([](core::SaveStep reached) {
                if (reached == g_endAt) {
                    ::ExitProcess(3);
                }
            });
            SaveTasks(
                {{after[0], L"Start", L"01:00:00"}, {after[1], L"Stop", L"02:00:00"}, {after[2], L"Start", L"03:00"}});
        },
        testing::ExitedWithCode(3), "");
    ASSERT_TRUE(core::EnsureProfileFile());
    const std::vector<std::wstring> loaded = Programs();
    EXPECT_EQ(loaded, step >= core::SaveStep::Replaced ? after : before);

    const bool whole =
        step == core::SaveStep::Written || step == core::SaveStep::Flushed || step == core::SaveStep::Replacing;
    EXPECT_EQ(Leftovers(), step < core::SaveStep::Replaced ? 2 : 1);
    ASSERT_TRUE(::DeleteFileW(m_path.c_str()));
    ASSERT_TRUE(core::EnsureProfileFile());
    const std::vector<std::wstring> restored = Programs();
    EXPECT_EQ(restored, whole ? after : std::vector<std::wstring>{});
    const auto lost = std::count_if(before.begin(), before.end(), [&](const std::wstring& program) {
        return std::find(loaded.begin(), loaded.end(), program) == loaded.end();
    });
    std::printf("ended at step %d: %zu tasks loaded, %d lost; without the file, %zu restored\n", static_cast<int>(step),
                loaded.size(), static_cast<int>(lost), restored.size());
    EXPECT_TRUE(m_messages.empty());
    // The next save takes what is left away.
    SaveTasks({{L"next.exe", L"Start", L"04:00:00"}});
    EXPECT_EQ(Leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P(EachStep,
                         SaveKillTest,
                         testing::Values(core::SaveStep::PartWritten,
                                         core::SaveStep::Written,
                                         core::SaveStep::Flushed,
                                         core::SaveStep::Replacing,
                                         core::SaveStep::Replaced,
                                         core::SaveStep::CleaningUp));

// A leftover takes the place only of a file that is missing or empty; a file that is there but locked keeps
// its place and its tasks.
TEST_F(ProfileTest, ALeftoverNeverReplacesAFileThatIsThere) {
    SaveTasks({{L"whole.exe", L"Start", L"01:00:00"}});
    const std::string whole = testing_support::ReadFileBytes(m_path);
    SaveTasks({{L"current.exe", L"Start", L"01:00:00"}, {L"second.exe", L"Start", L"01:00:00"}});
    const std::wstring leftover = m_folder + L"\\mwk0001.tmp";
    ASSERT_TRUE(testing_support::WriteFileBytes(leftover, whole));
    {
        HANDLE lock = ::CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(core::EnsureProfileFile());
        ::CloseHandle(lock);
    }
    EXPECT_EQ(Load().GetTaskCount(), 2);
    EXPECT_NE(::GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);

    // An empty file (a crash before anything reached the disk) takes the leftover.
    { fw::UniqueFile empty(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
    ASSERT_TRUE(core::EnsureProfileFile());
    EXPECT_EQ(Load().GetTaskText(0, TaskColumn::Program), L"whole.exe");
    EXPECT_EQ(::GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, ManyTasksSaveAndLoadQuickly) {
    for (int count : {1000, core::kMaxTasks}) {
        MemoryTaskList list;
        for (int i = 0; i < count; ++i) {
            list.AppendTask(L"C:\\Program Files\\Tool " + std::to_wstring(i) + L"\\tool.exe",
                            i % 2 ? L"Stop" : L"Start", L"7:30:00 PM");
        }
        const auto t0 = std::chrono::steady_clock::now();
        core::SaveTasks(list);
        const auto t1 = std::chrono::steady_clock::now();
        const MemoryTaskList loaded = Load();
        const auto t2 = std::chrono::steady_clock::now();
        const auto saveMs = std::chrono::duration_cast<std::chrono::milliseconds>(t1 - t0).count();
        const auto loadMs = std::chrono::duration_cast<std::chrono::milliseconds>(t2 - t1).count();
        std::printf("%d tasks: save %lld ms, load %lld ms\n", count, static_cast<long long>(saveMs),
                    static_cast<long long>(loadMs));
        ASSERT_EQ(loaded.GetTaskCount(), count);
        EXPECT_EQ(loaded.GetTaskText(count - 1, TaskColumn::Program),
                  L"C:\\Program Files\\Tool " + std::to_wstring(count - 1) + L"\\tool.exe");
        // A generous bound: the figures above are what to watch.
        EXPECT_LT(saveMs, 10000);
        EXPECT_LT(loadMs, 10000);
    }
}

// The window's save after a change: the file is read again, the list stored and the file replaced (flushed
// first). The figure is printed; the bound is generous.
TEST_F(ProfileTest, SaveAfterAChangeWithAThousandTasks) {
    core::TaskStore list;
    std::vector<core::Task> tasks;
    for (int i = 0; i < 1000; ++i) {
        tasks.push_back({L"C:\\Program Files\\Tool " + std::to_wstring(i) + L"\\tool.exe", L"Start", L"7:30:00 PM"});
    }
    list.AppendTasks(tasks);
    core::ProfileState state;
    ASSERT_EQ(state.Save(list, {}), core::SaveOutcome::Written);
    list.RemoveTask(500);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(state.Save(list, {}), core::SaveOutcome::Written);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("save after a remove with 1,000 tasks: %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 1000);
    const MemoryTaskList loaded = Load();
    ASSERT_EQ(loaded.GetTaskCount(), 999);
    EXPECT_EQ(loaded.GetTaskText(500, TaskColumn::Program), L"C:\\Program Files\\Tool 501\\tool.exe");
    EXPECT_EQ(m_messages, std::vector<std::wstring>{});
}

// Holds the profile open without sharing, as another program can.
class ProfileLock {
public:
    explicit ProfileLock(const std::wstring& path)
        : m_file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    bool Held() const { return static_cast<bool>(m_file); }
    void Release() { m_file.Reset(); }

private:
    fw::UniqueFile m_file;
};

TEST_F(ProfileTest, AProfileThatCouldNotBeReadIsNeverSavedOver) {
    SaveTasks({{L"first.exe", L"Start", L"01:00:00"}, {L"second.exe", L"Stop", L"02:00:00"}});
    const std::string before = testing_support::ReadFileBytes(m_path);
    ProfileLock lock(m_path);
    ASSERT_TRUE(lock.Held());

    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], L"Can not open file " + m_path + L" for read\n");
    EXPECT_FALSE(state.FileRead());
    EXPECT_EQ(list.GetTaskCount(), 0);

    // Leaving with the empty list writes nothing and needs no word: nothing of it is lost.
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Held);
    // A task added meanwhile cannot be written yet, which the user is to be told; a retry is silent.
    list.AppendTask(L"added.exe", L"Start", L"03:00:00");
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Failed);
    state.Retry(list, {});
    EXPECT_EQ(m_messages.size(), 1u);
    lock.Release();
    EXPECT_EQ(testing_support::ReadFileBytes(m_path), before);

    // The first read that works brings the file's tasks in front of the one added, and saves them all.
    state.Retry(list, {});
    EXPECT_TRUE(state.FileRead());
    EXPECT_FALSE(state.SavePending());
    ASSERT_EQ(list.GetTaskCount(), 3);
    EXPECT_EQ(list.GetTaskText(0, TaskColumn::Program), L"first.exe");
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Action), L"Stop");
    EXPECT_EQ(list.GetTaskText(2, TaskColumn::Program), L"added.exe");
    const MemoryTaskList stored = Load();
    ASSERT_EQ(stored.GetTaskCount(), 3);
    EXPECT_EQ(stored.GetTaskText(0, TaskColumn::Program), L"first.exe");
    EXPECT_EQ(stored.GetTaskText(2, TaskColumn::Time), L"03:00:00");
    // Later retries take nothing in twice.
    state.Retry(list, {});
    EXPECT_EQ(list.GetTaskCount(), 3);
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(ProfileTest, AFileReadAtStartThatIsLockedLaterIsWrittenAtTheNextRetryWithoutTakingItsTasksTwice) {
    SaveTasks({{L"first.exe", L"Start", L"01:00:00"}});
    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    ASSERT_TRUE(state.FileRead());
    list.AppendTask(L"added.exe", L"Stop", L"02:00:00");
    {
        ProfileLock lock(m_path);
        ASSERT_TRUE(lock.Held());
        EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Failed);
        EXPECT_TRUE(state.SavePending());
    }
    state.Retry(list, {});
    EXPECT_FALSE(state.SavePending());
    EXPECT_EQ(list.GetTaskCount(), 2);
    EXPECT_EQ(Load().GetTaskCount(), 2);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, ALineBreakInATextIsStoredAsABlankAndTheRowStaysWhole) {
    // An older, longer list left its sections behind.
    SaveTasks({{L"old0.exe", L"Start", L"01:00:00"}, {L"old1.exe", L"Start", L"02:00:00"}});
    SaveTasks({{L"new.exe", L"Start", L"03:00:00"}, {L"Report\r\nDraft\nCopy\rEnd", L"Stop", L"04:00:00"}});
    EXPECT_TRUE(m_messages.empty());
    const MemoryTaskList list = Load();
    ASSERT_EQ(list.GetTaskCount(), 2);
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Program), L"Report Draft Copy End");
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Action), L"Stop");
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Time), L"04:00:00");
    EXPECT_EQ(core::OneLine(L"\r\n\n"), L"  ");
}

TEST_F(ProfileTest, AFileBeyondTheSizeLimitIsReportedOnceAndLeftAlone) {
    ::CreateDirectoryW(m_root.c_str(), nullptr);
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    {
        fw::UniqueFile file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size{};
        size.QuadPart = core::IniDocument::kMaxFileBytes + 4096;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get()));
    }
    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find(L"larger than 64 MiB"), std::wstring::npos);
    EXPECT_NE(m_messages[0].find(m_path), std::wstring::npos);
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Held);
    state.Retry(list, {});
    EXPECT_EQ(m_messages.size(), 1u);
    list.AppendTask(L"a.exe", L"Start", L"01:00:00");
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Failed);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, static_cast<DWORD>(core::IniDocument::kMaxFileBytes + 4096));
}

// A profile as a file states it: the count, then rows 0 to rows-1 with their three keys.
std::wstring ProfileText(const std::wstring& count, int rows) {
    std::wstring text = L"[TaskCount]\r\nTaskCount=" + count + L"\r\n";
    for (int i = 0; i < rows; ++i) {
        const std::wstring n = std::to_wstring(i);
        text += L"[Task" + n + L"]\r\nProgram=C:\\tool" + n + L".exe\r\nAction=Start\r\nTime=0" + n + L":00:00\r\n";
    }
    return text;
}

std::wstring Replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    return text.replace(text.find(from), from.size(), to);
}

std::string Bytes8(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::string Bytes16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// An 8-bit file of 3 tasks with NULs inside values and between sections.
std::string BytesWithNuls() {
    using namespace std::string_literals;
    return "[TaskCount]\r\nTaskCount=3\r\n\0\0\r\n[Task0]\r\nProgram=C:\\tool0.exe\0junk=1\r\nAction=Start\r\n"
           "Time=00:00:00\r\n\0\r\n[Task1]\r\nProgram=C:\\tool1.exe\r\nAction=Stop\0Start\r\n\0Time=09:09:09\r\n"
           "Time=01:00:00\0\0 PM\r\n[Task2]\r\nProgram=C:\\tool2.exe\r\nAction=Start\r\nTime=02:00:00\r\n"s;
}

// What a sound reader shows of each hostile shape, and whether the file counts as damaged: a damaged one is kept
// aside at start-up, and any write (here one that changes no task) leaves the file sound with every row.
TEST_F(ProfileTest, HostileFilesShowWhatTheyHoldAndOnlyDamagedOnesAreKeptAside) {
    const std::wstring two = ProfileText(L"2", 2);
    const std::wstring three = ProfileText(L"3", 3);
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    const struct {
        const char* name;
        std::string bytes;
        int rows, sections;  // sections: the first rows, which have a program
        bool damaged;
    } shapes[] = {
        {"random bytes", noise, 0, 0, true},
        {"empty", "", 0, 0, false},
        {"1 MiB value", Bytes8(Replaced(two, L"Time=00", L"Arguments=" + std::wstring(1 << 20, L'x') + L"\r\nTime=00")),
         2, 2, false},
        {"TaskCount=2147483647", Bytes8(ProfileText(L"2147483647", 2)), core::kMaxTasks, 2, false},
        {"TaskCount=-5", Bytes8(ProfileText(L"-5", 2)), 0, 0, false},
        {"TaskCount=10000, no sections", Bytes8(ProfileText(L"10000", 0)), core::kMaxTasks, 0, false},
        {"duplicates", Bytes8(Replaced(two, L"Action", L"Program=C:\\dup.exe\r\nAction") + two), 2, 2, false},
        {"UTF-16 without a mark", Bytes16(two), 2, 2, false},
        {"8-bit with NULs", BytesWithNuls(), 3, 3, true},
        {"[Task1 without ]", Bytes8(Replaced(three, L"[Task1]", L"[Task1")), 3, 3, true},
        {"line of 100,000 without =", Bytes8(Replaced(three, L"Time=01", std::wstring(100000, L'y') + L"\nTime=01")), 3,
         3, false},
        {"UTF-16 cut in a character", "\xFF\xFE" + Bytes16(two).substr(0, two.size() * 2 - 1), 2, 2, true},
        {"UTF-16 with a zeroed tail", Bytes16(two) + std::string(4096, '\0'), 2, 2, true},
        {"UTF-16 half a character", "\xFF\xFE" + Bytes16(Replaced(two, L"Start", L"St\xD800")), 2, 2, true},
        {"UTF-8 invalid", "\xEF\xBB\xBF" + Bytes8(Replaced(two, L"Start", L"St\xC3(")), 2, 2, true},
        {"a row without Action", Bytes8(Replaced(two, L"Action=Start\r\nTime=01", L"Time=01")), 2, 2, true},
        {"sections beyond the count", Bytes8(ProfileText(L"1", 3)), 1, 1, false},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        RemoveTree(m_root);
        ASSERT_FALSE(core::GetConfigFolder().empty());
        ASSERT_TRUE(testing_support::WriteFileBytes(m_path, shape.bytes));
        core::ProfileState state;
        MemoryTaskList list;
        state.Load(list);
        ASSERT_EQ(list.GetTaskCount(), shape.rows);
        for (int i = 0; i < std::min(shape.rows, shape.sections + 1); ++i) {
            EXPECT_EQ(list.GetTaskText(i, TaskColumn::Program),
                      i < shape.sections ? L"C:\\tool" + std::to_wstring(i) + L".exe" : L"");
        }
        EXPECT_EQ(state.TakeKeptCopy().empty(), !shape.damaged);
        EXPECT_EQ(testing_support::DamagedCopies(m_folder).size(), shape.damaged ? 1u : 0u);

        ASSERT_TRUE(core::SetSetting(L"Stop", L"TimeOut", L"5"));
        core::IniDocument doc;
        ASSERT_EQ(doc.Load(m_path), core::IniDocument::LoadResult::Ok);
        EXPECT_FALSE(core::ProfileDamaged(doc));
        EXPECT_EQ(Load().GetTaskCount(), shape.rows);
    }
    EXPECT_TRUE(m_messages.empty());
}

// The name a copy made this many seconds after the moment takes: the first of its second, or the one numbered.
std::wstring CopyName(const std::wstring& folder, SYSTEMTIME at, int secondsLater, int number = 1) {
    FILETIME time{};
    ::SystemTimeToFileTime(&at, &time);
    ULARGE_INTEGER value{{time.dwLowDateTime, time.dwHighDateTime}};
    value.QuadPart += static_cast<ULONGLONG>(secondsLater) * 10000000ULL;
    time = {value.LowPart, value.HighPart};
    ::FileTimeToSystemTime(&time, &at);
    wchar_t name[64]{};
    std::swprintf(name, std::size(name), L"\\Profile.damaged-%04u%02u%02u-%02u%02u%02u", at.wYear, at.wMonth, at.wDay,
                  at.wHour, at.wMinute, at.wSecond);
    return folder + name + (number > 1 ? L"-" + std::to_wstring(number) : L"") + L".txt";
}

TEST_F(ProfileTest, ADamagedFileIsKeptOnceByteForByteHoweverOftenItIsReadAndWritten) {
    ASSERT_FALSE(core::GetConfigFolder().empty());
    const std::string damaged = BytesWithNuls();
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, damaged));
    SYSTEMTIME started{};
    ::GetLocalTime(&started);
    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    // Each row reads up to its NUL.
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Action), L"Stop");
    EXPECT_EQ(list.GetTaskText(1, TaskColumn::Time), L"01:00:00");
    const std::wstring copy = state.TakeKeptCopy();
    EXPECT_TRUE(copy == CopyName(m_folder, started, 0) || copy == CopyName(m_folder, started, 1));
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Written);
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Written);
    // The same content again, read as at a restart and written by each road: no second copy.
    for (int road = 0; road < 3; ++road) {
        ASSERT_TRUE(testing_support::WriteFileBytes(m_path, damaged));
        core::ProfileState restarted;
        MemoryTaskList again;
        restarted.Load(again);
        EXPECT_TRUE(restarted.TakeKeptCopy().empty());
        if (road == 0) {
            EXPECT_EQ(restarted.Save(again, {}), core::SaveOutcome::Written);
        } else if (road == 1) {
            EXPECT_TRUE(core::SetSetting(L"Stop", L"TimeOut", L"5"));
        } else {
            core::SaveTasks(again);
        }
    }
    EXPECT_EQ(testing_support::DamagedCopies(m_folder), std::vector<std::wstring>{copy});
    EXPECT_EQ(testing_support::ReadFileBytes(copy), damaged);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ProfileTest, ACopyNeverTakesAnotherFilesNameAndWithoutOneTheDamagedFileIsNotWrittenOver) {
    SaveTasks({{L"C:\\tool0.exe", L"Start", L"01:00:00"}});
    core::ProfileState state;
    MemoryTaskList list;
    state.Load(list);
    // Another program damages the file, and every name a copy could take in the next seconds holds something else.
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, BytesWithNuls()));
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::vector<std::wstring> taken;
    for (int i = 0; i < 6 * core::kDamagedCopyNamesPerSecond; ++i) {
        taken.push_back(
            CopyName(m_folder, now, i / core::kDamagedCopyNamesPerSecond, i % core::kDamagedCopyNamesPerSecond + 1));
        ASSERT_TRUE(testing_support::WriteFileBytes(taken.back(), std::to_string(i)));
    }
    EXPECT_EQ(state.Save(list, {}), core::SaveOutcome::Failed);
    EXPECT_EQ(testing_support::ReadFileBytes(m_path), BytesWithNuls());
    // With the first name of each second still taken, the copy takes the next one, and the list is written.
    for (int i = 0; i < static_cast<int>(taken.size()); ++i) {
        if (i % core::kDamagedCopyNamesPerSecond != 0) {
            ASSERT_TRUE(::DeleteFileW(taken[i].c_str()));
        }
    }
    state.Retry(list, {});
    EXPECT_FALSE(state.SavePending());
    const std::wstring copy = state.TakeKeptCopy();
    EXPECT_EQ(copy.substr(copy.size() - 6), L"-2.txt");
    EXPECT_EQ(testing_support::ReadFileBytes(copy), BytesWithNuls());
    for (int i = 0; i < static_cast<int>(taken.size()); i += core::kDamagedCopyNamesPerSecond) {
        EXPECT_EQ(testing_support::ReadFileBytes(taken[i]), std::to_string(i));
    }
    EXPECT_EQ(Load().GetTaskText(0, TaskColumn::Program), L"C:\\tool0.exe");
}

// The SDDL text of an object's owner and DACL.
std::wstring SecurityOf(const std::wstring& path, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    fw::UniqueLocalMemory owned(descriptor);
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, nullptr)) {
        return L"(unconvertible)";
    }
    fw::UniqueLocalMemory ownedText(text);
    return text;
}

std::string Narrowed(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// The descriptor of an SDDL text, owned.
fw::UniqueLocalMemory Descriptor(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        << Narrowed(sddl);
    return fw::UniqueLocalMemory(descriptor);
}

std::wstring CurrentUserSidText() {
    const std::wstring sddl = core::ProtectedFolderSddl();
    // The one grant that is neither SYSTEM, the Administrators nor everyone.
    const size_t start = sddl.find(L";;;S-1-");
    return start == std::wstring::npos ? L"" : sddl.substr(start + 3, sddl.find(L')', start) - start - 3);
}

TEST(ProfileSecurity, OnlyTheThreeOwnersAndNoOtherWriterAreTrusted) {
    const std::wstring user = CurrentUserSidText();
    ASSERT_FALSE(user.empty());
    const auto trusted = [](const std::wstring& sddl) {
        const fw::UniqueLocalMemory descriptor = Descriptor(sddl);
        return core::IsTrustedDescriptor(descriptor.Get());
    };
    const std::wstring mine = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")(A;OICI;FR;;;WD)";
    EXPECT_TRUE(trusted(L"O:" + user + mine));
    EXPECT_TRUE(trusted(L"O:SY" + mine));
    EXPECT_TRUE(trusted(L"O:BA" + mine));
    // Owned by another user or group: whoever owns it can change its DACL.
    EXPECT_FALSE(trusted(L"O:BU" + mine));
    EXPECT_FALSE(trusted(L"O:S-1-5-21-1-2-3-1001" + mine));
    // Someone else may write, append, add files, delete or change the protection.
    for (const wchar_t* grant :
         {L"(A;;FW;;;BU)", L"(A;;0x2;;;WD)", L"(A;;0x4;;;AU)", L"(A;;GA;;;WD)", L"(A;;GW;;;BU)", L"(A;;WD;;;BU)",
          L"(A;;WO;;;BU)", L"(A;;SD;;;BU)", L"(A;;0x40;;;S-1-5-21-1-2-3-1001)"}) {
        EXPECT_FALSE(trusted(L"O:SY" + mine + grant)) << Narrowed(grant);
    }
    // Reading, a denial, and a grant that only passes on to what the folder holds are no danger to it.
    EXPECT_TRUE(trusted(L"O:SY" + mine + L"(A;;FRFX;;;BU)(D;;FA;;;AN)(A;OICIIO;FA;;;CO)"));
    // No DACL at all lets everyone do everything.
    EXPECT_FALSE(trusted(L"O:SY"));
    EXPECT_FALSE(core::IsTrustedDescriptor(nullptr));
}

TEST(ProfileSecurity, TheFolderDescriptorIsProtectedWithFourGrants) {
    const fw::UniqueLocalMemory descriptor = Descriptor(L"O:SY" + core::ProtectedFolderSddl());
    ASSERT_TRUE(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.Get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(dacl);
    EXPECT_EQ(dacl->AceCount, 4);
    EXPECT_TRUE(core::IsTrustedDescriptor(descriptor.Get()));
    const std::wstring sddl = core::ProtectedFolderSddl();
    EXPECT_NE(sddl.find(L"(A;OICI;FA;;;SY)"), std::wstring::npos);
    EXPECT_NE(sddl.find(L"(A;OICI;FA;;;BA)"), std::wstring::npos);
    EXPECT_NE(sddl.find(L"(A;OICI;0x1200a9;;;WD)"), std::wstring::npos);
}

TEST_F(ProfileTest, TheFolderOnDiskIsTrustedUntilOthersMayWriteIt) {
    ASSERT_TRUE(core::EnsureProfileFile());
    const std::wstring made = SecurityOf(m_folder, DACL_SECURITY_INFORMATION);
    SCOPED_TRACE(Narrowed(made));
    // Everyone may read and nothing more.
    EXPECT_NE(made.find(L"(A;OICI;0x1200a9;;;WD)"), std::wstring::npos);
    EXPECT_TRUE(core::IsTrustedObject(m_folder));
    EXPECT_TRUE(core::IsProfileTrusted(m_folder, m_path));

    // Everyone may write the file, then the folder.
    ASSERT_TRUE(test_support::SetProtectedDacl(m_path, L"D:P(A;;FA;;;SY)(A;;FA;;;WD)"));
    EXPECT_FALSE(core::IsTrustedObject(m_path));
    EXPECT_FALSE(core::IsProfileTrusted(m_folder, m_path));
    ASSERT_TRUE(
        test_support::SetProtectedDacl(m_path, L"D:P(A;;FA;;;SY)(A;;FA;;;" + CurrentUserSidText() + L")(A;;FR;;;WD)"));
    EXPECT_TRUE(core::IsProfileTrusted(m_folder, m_path));
    ASSERT_TRUE(test_support::SetProtectedDacl(m_folder, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)"));
    EXPECT_FALSE(core::IsProfileTrusted(m_folder, m_path));
    ASSERT_TRUE(test_support::SetProtectedDacl(m_folder, L""));
    EXPECT_FALSE(core::IsTrustedObject(m_folder));
}

// Only a file named "portable" beside the exe makes a copy portable, and a copy's names follow its folder, whatever
// the letter case it was started with.
TEST(PortableCopy, TheMarkIsAFileBesideTheExeAndTheNamesFollowTheFolder) {
    const std::wstring folder = testing_support::TempFilePath(L"mwportable");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring exe = folder + L"\\marlowick.exe";
    const std::wstring mark = folder + L"\\" + core::kPortableMarkName;
    EXPECT_EQ(core::PortableFolderOf(exe), L"");
    ASSERT_TRUE(::CreateDirectoryW(mark.c_str(), nullptr));
    EXPECT_EQ(core::PortableFolderOf(exe), L"");
    ASSERT_TRUE(::RemoveDirectoryW(mark.c_str()));
    ASSERT_TRUE(testing_support::WriteFileBytes(mark, ""));
    EXPECT_EQ(core::PortableFolderOf(exe), folder);
    RemoveTree(folder);

    EXPECT_EQ(core::NameSuffixFor(L""), L"");
    EXPECT_EQ(core::NameSuffixFor(L"E:\\Tools\\Marlowick"), core::NameSuffixFor(L"e:\\tools\\MARLOWICK"));
    EXPECT_NE(core::NameSuffixFor(L"E:\\Tools\\Marlowick"), core::NameSuffixFor(L"E:\\Tools\\Marlowick2"));
    EXPECT_EQ(core::NameSuffixFor(L"E:\\Tools\\Marlowick").front(), L'.');
    // The test itself is an installed copy: its names are the program's own.
    EXPECT_EQ(core::InstanceNameSuffix(), L"");
}

TEST(UserSettings, ATextReadsBackAsWrittenAndAnUnwrittenOneIsAbsent) {
    const std::wstring name = L"TestSetting" + std::to_wstring(::GetCurrentProcessId());
    EXPECT_FALSE(core::ReadUserSetting(name));
    ASSERT_TRUE(core::WriteUserSetting(name, L"640,480"));
    EXPECT_EQ(core::ReadUserSetting(name).value_or(L"?"), L"640,480");
    ASSERT_TRUE(core::WriteUserSetting(name, L""));
    EXPECT_EQ(core::ReadUserSetting(name).value_or(L"?"), L"");
    fw::UniqueRegKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, core::kUserSettingsKey, 0, KEY_SET_VALUE, key.Put()), ERROR_SUCCESS);
    ::RegDeleteValueW(key.Get(), name.c_str());
}

}  // namespace
