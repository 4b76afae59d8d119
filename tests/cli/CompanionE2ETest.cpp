// marlowick.com started as a user would start it, its output redirected: on the profile itself when no Marlowick
// runs, and through the pipe of a running marlowick.exe, whose list and file must show the change at once.
#include "control/RunKeyTestSupport.h"
#include "core/IniFile.h"
#include "core/Profile.h"
#include "core/Task.h"
#include "core/TaskOptions.h"
#include "core/TaskStore.h"
#include "helpers/HelperProcess.h"
#include "helpers/RemoteList.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

using testing_support::HelperProcess;
using testing_support::ReadFileBytes;
using testing_support::WaitUntil;

constexpr DWORD kWait = 20000;

std::wstring BinPath(const wchar_t* name) {
    const std::wstring relative = testing_support::ExecutableFolder() + L"..\\..\\bin\\" + name;
    wchar_t full[MAX_PATH]{};
    ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring ProfileFolder() {
    wchar_t common[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\Korvane\\Marlowick";
}

std::wstring ProfilePath() {
    return ProfileFolder() + L"\\Profile.txt";
}

// Every file of the folder, so that no test sees what an earlier one left.
void RemoveFilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    fw::UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            }
        } while (::FindNextFileW(search.Get(), &found));
    }
}

void RemoveProfile() {
    RemoveFilesIn(ProfileFolder());
}

// A folder in the temporary folder, removed with its files when the test ends, however it ends.
class TempFolder {
public:
    TempFolder() : m_path(testing_support::TempFilePath(L"mwportable")) { ::CreateDirectoryW(m_path.c_str(), nullptr); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        RemoveFilesIn(m_path);
        ::RemoveDirectoryW(m_path.c_str());
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

void WriteTasks(const std::vector<core::Task>& tasks) {
    core::MemoryTaskList list;
    list.AppendTasks(tasks);
    core::SaveTasks(list);
}

std::vector<std::wstring> Lines(const std::string& utf8) {
    std::vector<std::wstring> lines;
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::wstring> out;
    std::vector<std::wstring> err;
};

fw::UniqueFile InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return fw::UniqueFile(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Runs marlowick.com (the built one unless another copy is named) with the arguments (each quoted) and its output
// going to files, and waits for it.
Outcome RunCompanion(const std::vector<std::wstring>& args, const std::wstring& companion = BinPath(L"marlowick.com")) {
    const std::wstring outPath = testing_support::TempFilePath(L"mwcom-out");
    const std::wstring errPath = testing_support::TempFilePath(L"mwcom-err");
    Outcome outcome;
    {
        fw::UniqueFile out = InheritableFile(outPath);
        fw::UniqueFile err = InheritableFile(errPath);
        std::wstring line = L"\"" + companion + L"\"";
        for (const std::wstring& arg : args) {
            line += L" \"" + arg + L"\"";
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &info)) {
            return outcome;
        }
        fw::UniqueHandle process(info.hProcess);
        fw::UniqueHandle thread(info.hThread);
        if (::WaitForSingleObject(process.Get(), kWait) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.Get(), 99);
            ::WaitForSingleObject(process.Get(), kWait);
        }
        ::GetExitCodeProcess(process.Get(), &outcome.exitCode);
    }
    outcome.out = Lines(ReadFileBytes(outPath));
    outcome.err = Lines(ReadFileBytes(errPath));
    ::DeleteFileW(outPath.c_str());
    ::DeleteFileW(errPath.c_str());
    return outcome;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

core::Task MakeTask(const std::wstring& program, const std::wstring& action, const std::wstring& time) {
    return core::Task{program, action, time};
}

class CompanionE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::GetFileAttributesW(BinPath(L"marlowick.com").c_str()), INVALID_FILE_ATTRIBUTES)
            << "marlowick.com not built";
        RemoveProfile();
    }
    void TearDown() override {
        m_marlowick.reset();
        RemoveProfile();
    }

    std::unique_ptr<HelperProcess> m_marlowick;
};

TEST_F(CompanionE2E, ListPrintsOneLineOfTenFieldsPerTask) {
    core::Task disabled = MakeTask(L"C:\\Tools\\c.exe", L"Start", L"11:00:00 PM");
    disabled.enabled = false;
    disabled.days = L"Mon,Fri";
    WriteTasks({MakeTask(L"C:\\Tools\\a.exe", L"Start", L"7:30:00 AM"),
                MakeTask(L"C:\\Tools\\b.exe", L"Stop", L"6:15:00 PM"), disabled});

    const Outcome listed = RunCompanion({L"list"});
    ASSERT_EQ(listed.exitCode, 0u);
    ASSERT_EQ(listed.out.size(), 3u);
    const std::vector<std::wstring> first = Fields(listed.out[0]);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first[1], L"C:\\Tools\\a.exe");
    EXPECT_EQ(first[3], L"07:30:00");
    EXPECT_EQ(first[5], L"enabled");
    EXPECT_NE(first[9], L"never");
    const std::vector<std::wstring> third = Fields(listed.out[2]);
    EXPECT_EQ(third[4], L"Mon,Fri");
    EXPECT_EQ(third[5], L"disabled");
    // A disabled task is not scheduled: it never runs.
    EXPECT_EQ(third[9], L"never");
}

TEST_F(CompanionE2E, RefusedCommandsExitNonZeroWithOneLineAndLeaveTheFileAsItWas) {
    WriteTasks({MakeTask(L"C:\\Tools\\a.exe", L"Start", L"7:30:00 AM")});
    const std::string before = ReadFileBytes(ProfilePath());
    ASSERT_FALSE(before.empty());

    const std::vector<std::vector<std::wstring>> refused = {
        {L"add", L"C:\\Tools\\b.exe", L"Start", L"25:00:00"},
        {L"add", L"C:\\Tools\\b.exe", L"Start", L"7:30"},
        {L"add", L"C:\\Tools\\b.exe", L"Pause", L"07:30:00"},
        {L"add", L"C:\\Tools\\b.exe", L"Start", L"09:00:00", L"/every", L"15", L"/until", L"09:00:00"},
        {L"add", L"C:\\Tools\\b.exe", L"Start", L"09:00:00", L"/days", L"Mon,Funday"},
        {L"add", L"C:\\Tools\\b.exe", L"Start", L"09:00:00", L"/date", L"2026-02-30"},
        {L"remove", L"99"},
        {L"enable", L"x"},
        {L"import", L"C:\\no\\such\\file.txt"},
        {L"frobnicate"},
    };
    for (const std::vector<std::wstring>& args : refused) {
        const Outcome outcome = RunCompanion(args);
        const std::string name(args[0].begin(), args[0].end());
        EXPECT_NE(outcome.exitCode, 0u) << name;
        EXPECT_NE(outcome.exitCode, STILL_ACTIVE) << name;
        EXPECT_EQ(outcome.err.size(), 1u) << name;
        EXPECT_TRUE(outcome.out.empty()) << name;
        EXPECT_EQ(ReadFileBytes(ProfilePath()), before) << name;
    }
}

TEST_F(CompanionE2E, AddStoresEveryOptionAndTheTimeInTheLocaleFormat) {
    WriteTasks({});
    const Outcome added = RunCompanion({L"add", L"C:\\Tools\\b.exe", L"stop", L"18:05:09", L"/days", L"fri,Mon",
                                        L"/args", L"-q x", L"/folder", L"C:\\Work", L"/every", L"30", L"/until",
                                        L"20:00:00", L"/date", L"2026-12-24", L"/disabled", L"/runifmissed"});
    ASSERT_EQ(added.exitCode, 0u);
    ASSERT_EQ(added.out.size(), 1u);
    const std::optional<core::TaskId> id = core::ParseTaskId(added.out[0]);
    ASSERT_TRUE(id);

    core::MemoryTaskList stored;
    core::LoadTasks(stored);
    ASSERT_EQ(stored.GetTaskCount(), 1);
    const core::Task task = stored.GetTask(0);
    EXPECT_EQ(task.id, *id);
    EXPECT_EQ(task.action, L"Stop");
    // The 12-hour format of the test's locale, as the Task Option dialog stores it.
    EXPECT_EQ(task.time, L"6:05:09 PM");
    EXPECT_EQ(task.days, L"Mon,Fri");
    EXPECT_EQ(task.arguments, L"-q x");
    EXPECT_EQ(task.folder, L"C:\\Work");
    EXPECT_EQ(task.every, L"30");
    EXPECT_EQ(task.until, L"20:00:00");
    EXPECT_EQ(task.date, L"2026-12-24");
    EXPECT_FALSE(task.enabled);
    EXPECT_TRUE(task.runIfMissed);

    ASSERT_EQ(RunCompanion({L"enable", added.out[0]}).exitCode, 0u);
    ASSERT_EQ(RunCompanion({L"remove", added.out[0]}).exitCode, 0u);
    core::MemoryTaskList after;
    core::LoadTasks(after);
    EXPECT_EQ(after.GetTaskCount(), 0);
}

TEST_F(CompanionE2E, ExportThenImportReplaceOnAnEmptyProfileGivesTheSameTasks) {
    core::Task full = MakeTask(L"C:\\Tools\\b.exe", L"Start", L"9:00:00 AM");
    full.days = L"Tue,Thu";
    full.arguments = L"--all";
    full.folder = L"C:\\Work";
    full.runIfMissed = true;
    full.every = L"10";
    full.until = L"10:00:00";
    full.lastRun = 13400000000;
    WriteTasks({MakeTask(L"C:\\Tools\\a.exe", L"Stop", L"7:30:00 AM"), full});
    core::MemoryTaskList original;
    core::LoadTasks(original);

    const std::wstring file = testing_support::TempFilePath(L"mwexport") + L".txt";
    ASSERT_EQ(RunCompanion({L"export", file}).exitCode, 0u);
    RemoveProfile();
    WriteTasks({});
    const Outcome imported = RunCompanion({L"import", file, L"/replace"});
    ::DeleteFileW(file.c_str());
    ASSERT_EQ(imported.exitCode, 0u);

    core::MemoryTaskList copy;
    core::LoadTasks(copy);
    ASSERT_EQ(copy.GetTaskCount(), 2);
    for (int row = 0; row < 2; ++row) {
        core::Task expected = original.GetTask(row);
        core::Task actual = copy.GetTask(row);
        // Ids are the new profile's own; the last run stays with the old one.
        expected.id = actual.id = 0;
        expected.lastRun.reset();
        EXPECT_TRUE(actual.program == expected.program && actual.action == expected.action &&
                    actual.time == expected.time && actual.days == expected.days &&
                    actual.arguments == expected.arguments && actual.folder == expected.folder &&
                    actual.runIfMissed == expected.runIfMissed && actual.every == expected.every &&
                    actual.until == expected.until && !actual.lastRun)
            << row;
    }
    // The profile replaced is kept, never written over.
    ASSERT_EQ(imported.out.size(), 1u);
    const std::wstring kept = imported.out[0].substr(imported.out[0].find(L"C:\\"));
    EXPECT_EQ(Lines(ReadFileBytes(kept)).empty(), false);
}

// The main window of the process once it shows, or null after the time.
HWND WaitForMainWindow(const HelperProcess& process) {
    HWND main = nullptr;
    WaitUntil([&] { return (main = testing_support::VisibleMainWindowOf(process.Id())) != nullptr; }, kWait);
    return main;
}

TEST_F(CompanionE2E, ImportFirstTakesTheTasksOnlyWhereThereIsNoProfileAndExitCreatesNone) {
    const std::wstring file = testing_support::TempFilePath(L"mwfirst");
    ASSERT_TRUE(core::WriteTaskFile(file, {MakeTask(L"C:\\Tools\\a.exe", L"Start", L"7:30:00 AM")}));
    // With no Marlowick running, exit says so and leaves no profile behind for a first import to find.
    EXPECT_EQ(RunCompanion({L"exit"}).exitCode, 1u);
    EXPECT_EQ(::GetFileAttributesW(ProfilePath().c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(RunCompanion({L"import", file, L"/first"}).exitCode, 0u);
    const Outcome again = RunCompanion({L"import", file, L"/FIRST"});
    ::DeleteFileW(file.c_str());
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_EQ(again.out.size(), 1u);
    core::MemoryTaskList stored;
    core::LoadTasks(stored);
    EXPECT_EQ(stored.GetTaskCount(), 1);
}

TEST_F(CompanionE2E, LogonSetsThisCopysStartAtLogonAndSaysWhichItIs) {
    const std::wstring exe = BinPath(L"marlowick.exe");
    control_test::RemoveRunValue();
    EXPECT_EQ(RunCompanion({L"logon"}).out, std::vector<std::wstring>{L"off"});
    ASSERT_EQ(RunCompanion({L"logon", L"on"}).exitCode, 0u);
    EXPECT_TRUE(control::IsStartAtLogonSet(exe));
    EXPECT_EQ(RunCompanion({L"logon"}).out, std::vector<std::wstring>{L"on"});
    EXPECT_EQ(RunCompanion({L"logon", L"maybe"}).exitCode, 1u);
    ASSERT_EQ(RunCompanion({L"logon", L"off"}).exitCode, 0u);
    EXPECT_FALSE(control_test::ReadRunValue());
    control_test::RemoveRunValue();
}

TEST_F(CompanionE2E, WithMarlowickRunningAddGoesToItsListAndFileAndExitEndsIt) {
    WriteTasks({MakeTask(L"C:\\Tools\\a.exe", L"Start", L"7:30:00 AM")});
    m_marlowick = std::make_unique<HelperProcess>(std::vector<std::wstring>{}, BinPath(L"marlowick.exe"));
    const HWND main = WaitForMainWindow(*m_marlowick);
    ASSERT_TRUE(main);
    const testing_support::RemoteList list(m_marlowick->Id(), ::GetDlgItem(main, IDC_TASK_LIST));
    ASSERT_TRUE(list.Valid());

    const Outcome added = RunCompanion({L"add", L"C:\\Tools\\new.exe", L"Start", L"21:00:00"});
    ASSERT_EQ(added.exitCode, 0u);
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 2; }, kWait));
    EXPECT_EQ(list.Text(1, 0), L"C:\\Tools\\new.exe");
    core::MemoryTaskList stored;
    core::LoadTasks(stored);
    ASSERT_EQ(stored.GetTaskCount(), 2);
    EXPECT_EQ(stored.GetTask(1).program, L"C:\\Tools\\new.exe");
    EXPECT_EQ(std::to_wstring(stored.GetTask(1).id), added.out.at(0));

    // The running Marlowick answers list from its own tasks.
    EXPECT_EQ(RunCompanion({L"list"}).out.size(), 2u);
    const Outcome exited = RunCompanion({L"exit"});
    EXPECT_EQ(exited.exitCode, 0u);
    EXPECT_EQ(m_marlowick->WaitForExit(kWait), 0u);
}

// A copy unpacked into a folder with a "portable" file runs beside the installed one: its own profile beside
// itself, its own marlowick.com pipe, nothing of the installed copy's tasks.
TEST_F(CompanionE2E, APortableCopyRunsBesideTheInstalledOneAndKeepsItsProfileBesideItself) {
    const TempFolder temp;
    const std::wstring& folder = temp.Path();
    for (const wchar_t* file : {L"marlowick.exe", L"marlowick.com", L"SkinHu.dll"}) {
        ASSERT_TRUE(::CopyFileW(BinPath(file).c_str(), (folder + L"\\" + file).c_str(), TRUE));
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(folder + L"\\portable", ""));
    const std::wstring portableCom = folder + L"\\marlowick.com";
    WriteTasks({MakeTask(L"C:\\Tools\\installed.exe", L"Start", L"7:30:00 AM")});
    const std::string installedBefore = ReadFileBytes(ProfilePath());

    m_marlowick = std::make_unique<HelperProcess>(std::vector<std::wstring>{}, BinPath(L"marlowick.exe"));
    ASSERT_TRUE(WaitForMainWindow(*m_marlowick));
    HelperProcess portable({}, folder + L"\\marlowick.exe");
    const HWND portableMain = WaitForMainWindow(portable);
    ASSERT_TRUE(portableMain) << "the portable copy did not show its window beside the installed one";
    const testing_support::RemoteList portableList(portable.Id(), ::GetDlgItem(portableMain, IDC_TASK_LIST));
    EXPECT_EQ(portableList.Count(), 0);

    const Outcome added = RunCompanion({L"add", L"C:\\Tools\\carried.exe", L"Start", L"21:00:00"}, portableCom);
    ASSERT_EQ(added.exitCode, 0u);
    EXPECT_TRUE(WaitUntil([&] { return portableList.Count() == 1; }, kWait));
    core::IniDocument carried;
    ASSERT_EQ(carried.Load(folder + L"\\Profile.txt"), core::IniDocument::LoadResult::Ok);
    EXPECT_NE(carried.Serialize().find(L"carried.exe"), std::wstring::npos);
    EXPECT_EQ(ReadFileBytes(ProfilePath()), installedBefore);
    // Its window's size goes beside it too.
    RECT window{};
    ::GetWindowRect(portableMain, &window);
    ::SetWindowPos(portableMain, nullptr, 0, 0, window.right - window.left, window.bottom - window.top + 100,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil(
        [&] {
            core::IniDocument settings;
            return settings.Load(folder + L"\\Settings.ini") == core::IniDocument::LoadResult::Ok &&
                   settings.Has(L"Window", L"WindowHeight");
        },
        kWait));
    const Outcome installedList = RunCompanion({L"list"});
    ASSERT_EQ(installedList.out.size(), 1u);
    EXPECT_NE(installedList.out[0].find(L"installed.exe"), std::wstring::npos);

    EXPECT_EQ(RunCompanion({L"exit"}, portableCom).exitCode, 0u);
    EXPECT_EQ(portable.WaitForExit(kWait), 0u);
    EXPECT_TRUE(m_marlowick->IsRunning());
    EXPECT_EQ(RunCompanion({L"exit"}).exitCode, 0u);
    EXPECT_EQ(m_marlowick->WaitForExit(kWait), 0u);
}

}  // namespace

namespace {

std::string Utf8(const std::wstring& text) {
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

TEST_F(CompanionE2E, HistoryPrintsTheOlderFileFirstAndFiltersById) {
    WriteTasks({});
    const std::string bom = "\xEF\xBB\xBF";
    const std::wstring older =
        L"2026-12-01 08:00:00+01:00\t2\tC:\\Tools\\a.exe\tStart\tstart failed\tAccess denied\r\n";
    const std::wstring newer1 = L"2026-12-02 08:00:00+01:00\t12\tC:\\Tools\\Grüße.exe\tStop\tterminated\t20\r\n";
    const std::wstring newer2 =
        L"2026-12-02 09:00:00+01:00\t2\tC:\\Tools\\a.exe\tStart\tmade up\t2026-12-02 02:00:00\r\n";
    ASSERT_TRUE(testing_support::WriteFileBytes(ProfileFolder() + L"\\History.1.txt", bom + Utf8(older)));
    ASSERT_TRUE(testing_support::WriteFileBytes(ProfileFolder() + L"\\History.txt", bom + Utf8(newer1 + newer2)));

    const Outcome all = RunCompanion({L"history"});
    ASSERT_EQ(all.exitCode, 0u);
    ASSERT_EQ(all.out.size(), 3u);
    EXPECT_EQ(all.out[0] + L"\r\n", older);
    EXPECT_EQ(all.out[1] + L"\r\n", newer1);
    // Id 2 only, not 12 that ends with it.
    const Outcome two = RunCompanion({L"history", L"2"});
    ASSERT_EQ(two.exitCode, 0u);
    EXPECT_EQ(two.out, (std::vector<std::wstring>{all.out[0], all.out[2]}));
}

TEST_F(CompanionE2E, RunPrintsWhatCameOfTheRunAndFailsWhenNothingWasStopped) {
    core::Task start = MakeTask(testing_support::HelperPath(), L"Start", L"3:00:00 AM");
    start.arguments = L"--lifetime 1000";
    core::Task stop = MakeTask(L"C:\\no\\such\\program.exe", L"Stop", L"3:00:00 AM");
    WriteTasks({start, stop});
    core::MemoryTaskList stored;
    core::LoadTasks(stored);

    const Outcome started = RunCompanion({L"run", std::to_wstring(stored.GetTask(0).id)});
    EXPECT_EQ(started.exitCode, 0u);
    EXPECT_EQ(started.out, (std::vector<std::wstring>{L"started"}));
    const Outcome stopped = RunCompanion({L"run", std::to_wstring(stored.GetTask(1).id)});
    EXPECT_EQ(stopped.exitCode, 1u);
    EXPECT_EQ(stopped.err, (std::vector<std::wstring>{L"not found"}));
    // The run is noted as the task's last run.
    core::MemoryTaskList after;
    core::LoadTasks(after);
    EXPECT_TRUE(after.GetTask(0).lastRun.has_value());
}

}  // namespace
