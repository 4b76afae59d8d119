// The packages as a user or a fleet meets them: the built programs' version and manifest, the MSI installed,
// upgraded and removed by the prefix's msiexec, the installed and the portable marlowick.exe started.
#include "control/LogonStart.h"
#include "core/Profile.h"
#include "core/Task.h"
#include "core/TaskStore.h"
#include "framework/Handle.h"
#include "helpers/HelperProcess.h"
#include "helpers/RemoteList.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::HelperProcess;
using testing_support::WaitUntil;

constexpr DWORD kWait = 20000;
constexpr DWORD kInstallWait = 120000;
constexpr wchar_t kUpgradeCode[] = L"{605A30EE-57C8-4F60-8A0B-2A948B08E81F}";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring FullPath(const std::wstring& relative) {
    wchar_t full[MAX_PATH]{};
    ::GetFullPathNameW((testing_support::ExecutableFolder() + relative).c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring DistMsi() {
    return FullPath(L"..\\..\\dist\\Marlowick-" + Wide(MARLOWICK_VERSION) + L".msi");
}

std::wstring NextMsi() {
    return FullPath(L"..\\package\\Marlowick-" + Wide(MARLOWICK_NEXT_VERSION) + L".msi");
}

std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring InstallFolder() {
    return KnownFolder(CSIDL_PROGRAM_FILES) + L"\\Marlowick";
}

std::wstring InstalledExe() {
    return InstallFolder() + L"\\marlowick.exe";
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The Start-menu shortcut: in the all-users menu, where Windows puts it, or in the user's, where Wine does.
bool ShortcutExists() {
    return Exists(KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Marlowick.lnk") ||
           Exists(KnownFolder(CSIDL_PROGRAMS) + L"\\Marlowick.lnk");
}

std::wstring AllUsersProfile() {
    return KnownFolder(CSIDL_COMMON_APPDATA) + L"\\Korvane\\Marlowick\\Profile.txt";
}

void RemoveAllUsersProfile() {
    ::DeleteFileW(AllUsersProfile().c_str());
}

// Runs msiexec with the arguments and returns its exit code.
DWORD Msiexec(const std::vector<std::wstring>& args) {
    wchar_t system[MAX_PATH]{};
    ::GetSystemDirectoryW(system, MAX_PATH);
    HelperProcess msiexec(args, std::wstring(system) + L"\\msiexec.exe");
    return msiexec.Started() ? msiexec.WaitForExit(kInstallWait) : msiexec.StartError();
}

std::optional<std::wstring> ReadText(HKEY root, const std::wstring& key, const wchar_t* name) {
    fw::UniqueRegKey opened;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, opened.Put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t text[1024]{};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(text);
}

std::optional<std::wstring> RunValue(HKEY root) {
    return ReadText(root, control::kRunKeyPath, control::kRunValueName);
}

void RemoveRunValue(HKEY root) {
    fw::UniqueRegKey key;
    if (::RegOpenKeyExW(root, control::kRunKeyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.Get(), control::kRunValueName);
    }
}

// The DisplayVersion of every entry named Marlowick in Programs and Features.
std::vector<std::wstring> ProgramEntries() {
    std::vector<std::wstring> versions;
    fw::UniqueRegKey uninstall;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, uninstall.Put()) !=
        ERROR_SUCCESS) {
        return versions;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(uninstall.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring key = std::wstring(kUninstallKey) + L"\\" + name;
        if (ReadText(HKEY_LOCAL_MACHINE, key, L"DisplayName") == L"Marlowick") {
            versions.push_back(ReadText(HKEY_LOCAL_MACHINE, key, L"DisplayVersion").value_or(L"?"));
        }
    }
    return versions;
}

// The product codes that the installer knows under Marlowick's upgrade code.
std::vector<std::wstring> RelatedProducts() {
    std::vector<std::wstring> products;
    wchar_t code[39]{};
    for (DWORD i = 0; ::MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        products.push_back(code);
    }
    return products;
}

// The visible main window of the process, or null after the time.
HWND WaitForMainWindow(const HelperProcess& process) {
    HWND main = nullptr;
    WaitUntil([&] { return (main = testing_support::VisibleMainWindowOf(process.Id())) != nullptr; }, kWait);
    return main;
}

// Every test starts and ends with no Marlowick installed, no profile and no Run value.
class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Exists(DistMsi())) << "the MSI is not built";
        Clean();
    }
    void TearDown() override { Clean(); }

    static void Clean() {
        for (const std::wstring& product : RelatedProducts()) {
            fw::IgnoreResult(Msiexec({L"/x", product, L"/qn"}));
        }
        RemoveAllUsersProfile();
        RemoveRunValue(HKEY_LOCAL_MACHINE);
        RemoveRunValue(HKEY_CURRENT_USER);
    }
};

TEST(PackageFiles, TheProgramsCarryTheProjectVersionAndThePerMonitorManifest) {
    for (const wchar_t* name : {L"marlowick.exe", L"marlowick.com"}) {
        const std::wstring path = FullPath(L"..\\..\\bin\\") + name;
        DWORD ignored = 0;
        std::vector<BYTE> info(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
        ASSERT_FALSE(info.empty()) << "no version resource in " << testing::PrintToString(path);
        ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(HIWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(numbers, Wide(MARLOWICK_VERSION));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        wchar_t* text = nullptr;
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                                     reinterpret_cast<void**>(&text), &size));
        EXPECT_EQ(std::wstring(text), Wide(MARLOWICK_VERSION) + L".0");
    }

    fw::UniqueLibrary exe(::LoadLibraryExW(FullPath(L"..\\..\\bin\\marlowick.exe").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe);
    HRSRC found = ::FindResourceW(exe.Get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(found);
    const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(exe.Get(), found)));
    const std::string manifest(bytes, ::SizeofResource(exe.Get(), found));
    EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                            "PerMonitorV2</dpiAwareness>"),
              std::string::npos);
    EXPECT_NE(manifest.find("name=\"Korvane.Marlowick\" version=\"" MARLOWICK_VERSION ".0\""), std::string::npos);
}

TEST_F(Installer, InstallsPerMachineStartsAndUninstallEndsItAndKeepsTheProfile) {
    ASSERT_EQ(Msiexec({L"/i", DistMsi(), L"/qn"}), 0u);
    for (const wchar_t* name : {L"\\marlowick.exe", L"\\marlowick.com", L"\\SkinHu.dll"}) {
        EXPECT_TRUE(Exists(InstallFolder() + name)) << testing::PrintToString(std::wstring(name));
    }
    EXPECT_TRUE(ShortcutExists());
    EXPECT_EQ(ProgramEntries(), std::vector<std::wstring>{Wide(MARLOWICK_VERSION)});
    // Without AUTOSTART=1 nothing starts at logon.
    EXPECT_FALSE(RunValue(HKEY_LOCAL_MACHINE));

    HelperProcess marlowick({}, InstalledExe());
    ASSERT_TRUE(WaitForMainWindow(marlowick));
    ASSERT_TRUE(WaitUntil([] { return Exists(AllUsersProfile()); }, kWait));

    // The running copy is asked to exit before its files go.
    EXPECT_EQ(Msiexec({L"/x", DistMsi(), L"/qn"}), 0u);
    EXPECT_EQ(marlowick.WaitForExit(kWait), 0u);
    EXPECT_FALSE(Exists(InstalledExe()));
    EXPECT_FALSE(Exists(InstallFolder()));
    EXPECT_FALSE(ShortcutExists());
    EXPECT_TRUE(ProgramEntries().empty());
    EXPECT_TRUE(Exists(AllUsersProfile()));
}

TEST_F(Installer, ProfileGivesTheTasksAtFirstStartAndNeverAgain) {
    const std::wstring file = testing_support::TempFilePath(L"mwfleet");
    core::Task first{L"C:\\Tools\\backup.exe", L"Start", L"2:00:00 AM"};
    core::Task second{L"Nightly report", L"Stop", L"6:30:00 AM"};
    ASSERT_TRUE(core::WriteTaskFile(file, {first, second}));

    ASSERT_EQ(Msiexec({L"/i", DistMsi(), L"/qn", L"PROFILE=" + file}), 0u);
    {
        HelperProcess marlowick({}, InstalledExe());
        HWND main = WaitForMainWindow(marlowick);
        ASSERT_TRUE(main);
        testing_support::RemoteList list(marlowick.Id(), ::GetDlgItem(main, IDC_TASK_LIST));
        ASSERT_TRUE(WaitUntil([&] { return list.Count() == 2; }, kWait));
        EXPECT_EQ(list.Text(0, 0), first.program);
        EXPECT_EQ(list.Text(1, 0), second.program);
        ASSERT_EQ(Msiexec({L"/x", DistMsi(), L"/qn"}), 0u);
        EXPECT_EQ(marlowick.WaitForExit(kWait), 0u);
    }

    // Installing again over the profile that is kept adds nothing to it; a file that cannot be read fails.
    ASSERT_EQ(Msiexec({L"/i", DistMsi(), L"/qn", L"PROFILE=" + file}), 0u);
    core::MemoryTaskList stored;
    core::LoadTasks(stored);
    EXPECT_EQ(stored.GetTaskCount(), 2);
    ::DeleteFileW(file.c_str());
    ASSERT_EQ(Msiexec({L"/x", DistMsi(), L"/qn"}), 0u);
    RemoveAllUsersProfile();
    EXPECT_NE(Msiexec({L"/i", DistMsi(), L"/qn", L"PROFILE=" + file}), 0u);
    EXPECT_FALSE(Exists(InstalledExe()));
}

TEST_F(Installer, UpgradeLeavesOneEntryAndKeepsStartingAtLogonUntilUninstalled) {
    ASSERT_TRUE(Exists(NextMsi())) << "the upgrade's MSI is not built";
    ASSERT_EQ(Msiexec({L"/i", DistMsi(), L"/qn", L"AUTOSTART=1"}), 0u);
    const std::wstring command = control::RunCommandFor(InstalledExe());
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), command);
    // The user's own tick in Options.
    ASSERT_EQ(control::SetStartAtLogon(true, InstalledExe()), ERROR_SUCCESS);

    ASSERT_EQ(Msiexec({L"/i", NextMsi(), L"/qn"}), 0u);
    EXPECT_EQ(ProgramEntries(), std::vector<std::wstring>{Wide(MARLOWICK_NEXT_VERSION)});
    EXPECT_EQ(RelatedProducts().size(), 1u);
    EXPECT_TRUE(Exists(InstalledExe()));
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), command);
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), command);
    // An older version does not go over a newer one.
    EXPECT_NE(Msiexec({L"/i", DistMsi(), L"/qn"}), 0u);
    EXPECT_EQ(ProgramEntries(), std::vector<std::wstring>{Wide(MARLOWICK_NEXT_VERSION)});

    ASSERT_EQ(Msiexec({L"/x", NextMsi(), L"/qn"}), 0u);
    EXPECT_TRUE(ProgramEntries().empty());
    EXPECT_FALSE(RunValue(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(RunValue(HKEY_CURRENT_USER));
}

TEST_F(Installer, UninstallLeavesAUserRunValueThatStartsAnotherCopy) {
    ASSERT_EQ(Msiexec({L"/i", DistMsi(), L"/qn"}), 0u);
    const std::wstring portable = control::RunCommandFor(L"D:\\Stick\\Marlowick\\marlowick.exe");
    ASSERT_EQ(control::SetStartAtLogon(true, L"D:\\Stick\\Marlowick\\marlowick.exe"), ERROR_SUCCESS);
    ASSERT_EQ(Msiexec({L"/x", DistMsi(), L"/qn"}), 0u);
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), portable);
}

// The portable zip, unpacked at build time, copied to a folder of its own for each run.
TEST(PortableCopy, KeepsItsProfileBesideItselfAndNotInTheAllUsersFolder) {
    const std::wstring unpacked = FullPath(L"..\\package\\portable\\Marlowick\\");
    ASSERT_TRUE(Exists(unpacked + L"portable")) << "the portable zip is not unpacked";
    const std::wstring folder = testing_support::TempFilePath(L"mwportable") + L".d\\";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    for (const wchar_t* name :
         {L"marlowick.exe", L"marlowick.com", L"SkinHu.dll", L"README.md", L"LICENSE", L"portable"}) {
        ASSERT_TRUE(::CopyFileW((unpacked + name).c_str(), (folder + name).c_str(), FALSE))
            << testing::PrintToString(std::wstring(name));
    }
    RemoveAllUsersProfile();

    {
        HelperProcess marlowick({}, folder + L"marlowick.exe");
        HWND main = WaitForMainWindow(marlowick);
        ASSERT_TRUE(main);
        EXPECT_TRUE(WaitUntil([&] { return Exists(folder + L"Profile.txt"); }, kWait));
        // An empty list: closing ends it at once.
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(marlowick.WaitForExit(kWait), 0u);
    }
    EXPECT_FALSE(Exists(AllUsersProfile()));
    WIN32_FIND_DATAW found{};
    if (fw::UniqueFind search(::FindFirstFileW((folder + L"*").c_str(), &found)); search) {
        do {
            ::DeleteFileW((folder + found.cFileName).c_str());
        } while (::FindNextFileW(search.Get(), &found));
    }
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
