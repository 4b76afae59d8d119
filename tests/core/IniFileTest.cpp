// The settings file reader and writer agree with the platform's own profile functions, both ways.
#include "core/IniFile.h"
#include "core/ProfileSecurity.h"

#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using core::IniDocument;
using testing_support::TempFilePath;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::string Utf8File(const std::wstring& text) {
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return "\xEF\xBB\xBF" + bytes;
}

std::string Utf16NoMark(const std::wstring& text) {
    return Utf16File(text).substr(2);
}

std::string Utf8NoMark(const std::wstring& text) {
    return Utf8File(text).substr(3);
}

// The owner and DACL of a file as SDDL text, with the DACL's protection flag.
std::wstring SecurityOf(const std::wstring& path) {
    constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, kWhat, &owner, nullptr, &dacl, nullptr, &descriptor) !=
        ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    fw::UniqueLocalMemory owned(descriptor);
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kWhat, &text, nullptr)) {
        return L"(unconvertible)";
    }
    fw::UniqueLocalMemory ownedText(text);
    return text;
}

std::wstring PlatformRead(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
    std::vector<wchar_t> buffer(8192, L'\0');
    ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(), static_cast<DWORD>(buffer.size()),
                               path.c_str());
    return buffer.data();
}

std::wstring OurRead(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
    IniDocument doc;
    EXPECT_EQ(doc.Load(path), IniDocument::LoadResult::Ok);
    return doc.Get(section, key);
}

// A file with the cases where profile syntax is subtle: white space, quotes, letter case, duplicates,
// lines without '=', comments, text before the first section.
const wchar_t kTrickyFile[] =
    L"orphan=before any section\r\n"
    L"[Plain]\r\n"
    L"Key=value\r\n"
    L"  Spaced  =   padded value   \r\n"
    L"\tTabbed\t=\tx\t\r\n"
    L"Quoted=\"in quotes\"\r\n"
    L"Single='single'\r\n"
    L"Mixed=\"open'\r\n"
    L"HalfQuote=\"\r\n"
    L"Inner=a \"b\" c\r\n"
    L"Equals=a=b=c\r\n"
    L"Empty=\r\n"
    L"NoEquals\r\n"
    L";Comment=hidden\r\n"
    L"Dup=first\r\n"
    L"dup=second\r\n"
    L"UPPER=upper\r\n"
    L"\r\n"
    L"   \r\n"
    L"[ Spaced Section ]\r\n"
    L"k=spaced section\r\n"
    L"[plain]\r\n"
    L"Later=only in the second Plain\r\n"
    L"Key=second section\r\n"
    L"[Other]\r\n"
    L"Key=other\r\n"
    L"[Broken\r\n"
    L"Key=after broken header\r\n"
    L"[Last]\r\n"
    L"Unterminated=no line break";

struct Query {
    const wchar_t* section;
    const wchar_t* key;
};

const Query kQueries[] = {
    {L"Plain", L"Key"},       {L"PLAIN", L"key"},        {L" Plain ", L" Key "},      {L"Plain", L"Spaced"},
    {L"Plain", L"Tabbed"},    {L"Plain", L"Quoted"},     {L"Plain", L"Single"},       {L"Plain", L"Mixed"},
    {L"Plain", L"HalfQuote"}, {L"Plain", L"Inner"},      {L"Plain", L"Equals"},       {L"Plain", L"Empty"},
    {L"Plain", L"NoEquals"},  {L"Plain", L";Comment"},   {L"Plain", L"Comment"},      {L"Plain", L"Dup"},
    {L"Plain", L"DUP"},       {L"Plain", L"upper"},      {L"Plain", L"Later"},        {L"Plain", L"orphan"},
    {L"Plain", L"Missing"},   {L"Spaced Section", L"k"}, {L" Spaced Section ", L"k"}, {L"Other", L"Key"},
    {L"Other", L"key"},       {L"Broken", L"Key"},       {L"Last", L"Unterminated"},  {L"Missing", L"Key"},
    {L"", L"orphan"},         {L"Plain", L""},
};

void ExpectSameReads(const std::wstring& path) {
    for (const Query& q : kQueries) {
        SCOPED_TRACE(Narrow(std::wstring(L"[") + q.section + L"] " + q.key));
        if (std::wstring_view(q.section) == L"Broken") {
            // Our reader opens the section of a header without its ']' on purpose, so that a damaged file keeps
            // its keys in their own section; the platform's functions give them to the section above.
            EXPECT_EQ(OurRead(path, q.section, q.key), L"after broken header");
            continue;
        }
        EXPECT_EQ(OurRead(path, q.section, q.key), PlatformRead(path, q.section, q.key));
    }
}

TEST(IniCompatibility, OurReaderReadsWhatThePlatformReadsInEveryEncoding) {
    const std::wstring ansi = TempFilePath(L"ini-ansi");
    WriteBytes(ansi, Narrow(kTrickyFile));
    ExpectSameReads(ansi);
    EXPECT_EQ(OurRead(ansi, L"Plain", L"Spaced"), L"padded value");  // a sample, so the agreement is not vacuous
    EXPECT_EQ(OurRead(ansi, L"Plain", L"Quoted"), L"in quotes");
    EXPECT_EQ(OurRead(ansi, L"Plain", L"Dup"), L"first");

    const std::wstring utf16 = TempFilePath(L"ini-utf16");
    WriteBytes(utf16, Utf16File(kTrickyFile));
    ExpectSameReads(utf16);

    const std::wstring utf8 = TempFilePath(L"ini-utf8");
    WriteBytes(utf8, Utf8File(kTrickyFile));
    ExpectSameReads(utf8);
}

TEST(IniCompatibility, WhatThePlatformWritesOurReaderReads) {
    const std::wstring path = TempFilePath(L"ini-platform");
    const std::vector<std::pair<std::wstring, std::wstring>> values = {
        {L"Program", L"C:\\Tools\\backup.exe"},
        {L"Action", L"Start"},
        {L"Time", L"7:30:00 PM"},
        {L"Accent", L"C:\\Caf\x00e9\\app.exe"},
        {L"Spaces", L"  a  b  "},
        {L"Quotes", L"\"q\""},
        {L"Empty", L""},
        {L"Equals", L"x=y"},
        {L"Case", L"one"},
    };
    for (const auto& [key, value] : values) {
        ASSERT_TRUE(::WritePrivateProfileStringW(L"Task0", key.c_str(), value.c_str(), path.c_str()));
    }
    ASSERT_TRUE(::WritePrivateProfileStringW(L"TASK0", L"CASE", L"two", path.c_str()));
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Stop", L"TimeOut", L"10", path.c_str()));
    ASSERT_NE(testing_support::ReadFileBytes(path).substr(0, 2),
              "\xFF\xFE");  // the platform wrote a new file in the ANSI code page
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(Narrow(key));
        EXPECT_EQ(OurRead(path, L"Task0", key), PlatformRead(path, L"Task0", key));
    }
    EXPECT_EQ(OurRead(path, L"task0", L"case"), L"two");
    EXPECT_EQ(OurRead(path, L"Task0", L"Accent"), L"C:\\Caf\x00e9\\app.exe");
    EXPECT_EQ(OurRead(path, L"Stop", L"TimeOut"), L"10");
}

TEST(IniCompatibility, WhatWeWriteReadsBackUnchangedForUsAndThePlatform) {
    const std::vector<std::wstring> values = {
        L"C:\\Tools\\backup.exe",
        L"C:\\\x65e5\x672c\\caf\x00e9 \x00fc.exe",
        L"",
        L" leading",
        L"trailing ",
        L"  both  ",
        L"\t tab",
        L"\"quoted\"",
        L"'single'",
        L"\"",
        L"\"half",
        L"a \"b\" c",
        L"a=b",
        L"[not a section]",
        L";not a comment",
        L"Hide ",
        std::wstring(300, L'p'),
        std::wstring(5000, L'\x00e9'),
    };
    const std::wstring path = TempFilePath(L"ini-ours");
    IniDocument doc;
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(doc.Set(L"Values", L"V" + std::to_wstring(i), values[i]));
    }
    ASSERT_TRUE(doc.Save(path));
    EXPECT_EQ(testing_support::ReadFileBytes(path).substr(0, 2), "\xFF\xFE");
    for (size_t i = 0; i < values.size(); ++i) {
        const std::wstring key = L"V" + std::to_wstring(i);
        SCOPED_TRACE(Narrow(key));
        EXPECT_EQ(OurRead(path, L"Values", key), values[i]);
        if (values[i].size() < 8000) {
            EXPECT_EQ(PlatformRead(path, L"Values", key), values[i]);
        }
    }
}

TEST(IniWrite, ReplacesInPlaceAddsAtTheEndAndRemovesNothing) {
    IniDocument doc;
    doc.Parse(
        L"; kept comment\r\n"
        L"[TaskCount]\r\n"
        L"TaskCount=5\r\n"
        L"\r\n"
        L"[Task0]\r\n"
        L"program = old\r\n"
        L"Program=duplicate\r\n"
        L"Unknown=kept\r\n"
        L"\r\n"
        L"[Stop]\r\n"
        L"TimeOut=10\r\n");
    ASSERT_TRUE(doc.Set(L"taskcount", L"TASKCOUNT", L"3"));
    ASSERT_TRUE(doc.Set(L"Task0", L"Program", L"new"));
    ASSERT_TRUE(doc.Set(L"Task0", L"Action", L"Start"));
    ASSERT_TRUE(doc.Set(L"Task1", L"Program", L"second"));
    EXPECT_EQ(doc.Serialize(),
              L"; kept comment\r\n"
              L"[TaskCount]\r\n"
              L"TaskCount=3\r\n"
              L"\r\n"
              L"[Task0]\r\n"
              L"program=new\r\n"
              L"Program=duplicate\r\n"
              L"Unknown=kept\r\n"
              L"Action=Start\r\n"
              L"\r\n"
              L"[Stop]\r\n"
              L"TimeOut=10\r\n"
              L"[Task1]\r\n"
              L"Program=second\r\n");
    EXPECT_EQ(doc.Get(L"Task0", L"Program"), L"new");
}

TEST(IniWrite, LineBreaksCannotBeStored) {
    IniDocument doc;
    ASSERT_TRUE(doc.Set(L"S", L"K", L"before"));
    EXPECT_FALSE(doc.Set(L"S", L"K", L"two\nlines"));
    EXPECT_FALSE(doc.Set(L"S", L"K", L"two\rlines"));
    EXPECT_FALSE(doc.Set(L"", L"K", L"v"));
    EXPECT_FALSE(doc.Set(L"S", L" ", L"v"));
    EXPECT_EQ(doc.Get(L"S", L"K"), L"before");
}

TEST(IniLoad, MissingAndUnreadableFiles) {
    IniDocument doc;
    EXPECT_EQ(doc.Load(TempFilePath(L"ini-missing")), IniDocument::LoadResult::Missing);
    EXPECT_EQ(doc.Load(L"C:\\no such folder\\x.ini"), IniDocument::LoadResult::Missing);

    const std::wstring path = TempFilePath(L"ini-locked");
    WriteBytes(path, "[S]\r\nK=v\r\n");
    HANDLE lock = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(doc.Load(path), IniDocument::LoadResult::Unreadable);
    EXPECT_FALSE(doc.Save(path));
    ::CloseHandle(lock);
    EXPECT_EQ(OurRead(path, L"S", L"K"), L"v");
}

TEST(IniEncoding, FilesWithoutAByteOrderMarkAreToldByTheirContent) {
    const std::wstring text = L"[Task0]\r\nProgram=C:\\Caf\x00e9\\\x65e5\x672c.exe\r\nAction=Start\r\n";
    const std::wstring utf16 = TempFilePath(L"ini-utf16-nomark");
    WriteBytes(utf16, Utf16NoMark(text));
    EXPECT_EQ(OurRead(utf16, L"Task0", L"Program"), L"C:\\Caf\x00e9\\\x65e5\x672c.exe");
    EXPECT_EQ(OurRead(utf16, L"Task0", L"Action"), L"Start");

    const std::wstring utf8 = TempFilePath(L"ini-utf8-nomark");
    WriteBytes(utf8, Utf8NoMark(text));
    EXPECT_EQ(OurRead(utf8, L"Task0", L"Program"), L"C:\\Caf\x00e9\\\x65e5\x672c.exe");

    // Bytes that are no valid UTF-8 stay in the ANSI code page: a lone E9 is an e with an acute accent there,
    // and so is an overlong form of an ASCII letter read byte by byte.
    const std::wstring ansi = TempFilePath(L"ini-ansi-accent");
    WriteBytes(ansi, "[S]\r\nK=Caf\xE9\r\nL=\xC1\xA1\r\n");
    EXPECT_EQ(OurRead(ansi, L"S", L"K"), L"Caf\x00e9");
    EXPECT_EQ(OurRead(ansi, L"S", L"L"), L"\x00c1\x00a1");
    // Surrogates encoded in UTF-8 are not valid either.
    EXPECT_EQ(core::DecodeFileText("\xED\xA0\x80"), L"\x00ed\x00a0\x20ac");
    EXPECT_EQ(core::DecodeFileText("plain"), L"plain");
    EXPECT_EQ(core::DecodeFileText(""), L"");
}

TEST(IniEncoding, AnOddLastByteOfUtf16IsKept) {
    // A file cut in the middle of its last character: the byte left reads as that character.
    std::string bytes = Utf16File(L"[S]\r\nTime=02:00:00");
    bytes.pop_back();
    const std::wstring path = TempFilePath(L"ini-utf16-odd");
    WriteBytes(path, bytes);
    EXPECT_EQ(OurRead(path, L"S", L"Time"), L"02:00:00");
    std::string noMark = Utf16NoMark(L"[S]\r\nK=ab");
    noMark.pop_back();
    EXPECT_EQ(core::DecodeFileText(noMark), L"[S]\r\nK=ab");
}

TEST(IniLoad, AFileHeldByAWriterIsNotReadHalfAndBiggerThanTheLimitNotAtAll) {
    const std::wstring path = TempFilePath(L"ini-writer");
    WriteBytes(path, "[S]\r\nK=v\r\n");
    IniDocument doc;
    {
        // Another program writing it, letting others read: no read takes what it has written so far.
        fw::UniqueFile writer(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_EQ(doc.Load(path), IniDocument::LoadResult::Unreadable);
    }
    EXPECT_EQ(doc.Load(path), IniDocument::LoadResult::Ok);
    EXPECT_EQ(doc.Get(L"S", L"K"), L"v");

    const std::wstring huge = TempFilePath(L"ini-huge");
    {
        fw::UniqueFile file(::CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size{};
        size.QuadPart = IniDocument::kMaxFileBytes + 1;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get()));
    }
    EXPECT_EQ(doc.Load(huge), IniDocument::LoadResult::TooLarge);
    EXPECT_EQ(doc.Get(L"S", L"K"), L"");
    ::DeleteFileW(huge.c_str());
}

TEST(IniSave, ReplacingKeepsTheFilesOwnerAndProtectionAndRemovesOnlyOutdatedLeftovers) {
    wchar_t temp[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"ini-save-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\Profile.txt";
    IniDocument doc;
    ASSERT_TRUE(doc.Set(L"S", L"K", L"one"));
    ASSERT_TRUE(doc.Save(path));

    // A protection of the file's own, unlike what the folder passes on: everyone may write it. (Wine keeps file
    // protections as Unix modes, so the test uses one that a mode can hold; it keeps no owner but the user.)
    const std::wstring folderSddl = core::ProtectedFolderSddl();
    const size_t user = folderSddl.find(L";;;S-1-");
    ASSERT_NE(user, std::wstring::npos);
    const std::wstring protectedDacl = L"D:P(A;;FA;;;SY)(A;;FA" +
                                       folderSddl.substr(user, folderSddl.find(L')', user) - user + 1) +
                                       L"(A;;0x12019f;;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(protectedDacl.c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    fw::UniqueLocalMemory owned(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_EQ(::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring before = SecurityOf(path);
    ASSERT_NE(before, SecurityOf(folder)) << Narrow(before);

    // What interrupted saves leave: one outdated, one held open by a save under way, and one newer than any
    // save here (a save of another instance that has yet to reach its replace).
    const std::wstring outdated = folder + L"\\mwkA1B2.tmp";
    const std::wstring held = folder + L"\\mwkC3D4.tmp";
    const std::wstring newer = folder + L"\\mwkE5F6.tmp";
    for (const std::wstring& leftover : {outdated, held, newer}) {
        WriteBytes(leftover, "half a file");
    }
    fw::UniqueFile holder(::CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    {
        fw::UniqueFile file(::CreateFileW(newer.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER later{{now.dwLowDateTime, now.dwHighDateTime}};
        later.QuadPart += 3600ull * 10000000ull;
        const FILETIME time{later.LowPart, later.HighPart};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &time));
    }
    ::Sleep(20);  // the file system's clock moves on between the leftovers and the save
    ASSERT_TRUE(doc.Set(L"S", L"K", L"two"));
    ASSERT_TRUE(doc.Save(path));
    EXPECT_EQ(SecurityOf(path), before);
    EXPECT_EQ(OurRead(path, L"S", L"K"), L"two");
    EXPECT_EQ(::GetFileAttributesW(outdated.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW(held.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW(newer.c_str()), INVALID_FILE_ATTRIBUTES);

    holder.Reset();
    for (const std::wstring& leftover : {held, newer, path}) {
        ::DeleteFileW(leftover.c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}

// A reader that opens the file again and again while it is saved finds it every time, whole. It pauses for a
// moment between reads, as a program that watches the file would. On a busy machine it may still hold the file
// through all the tries of a save, which then fails, as replacing a file that is open does, and is made again
// (as the program retries a failed save): the failures are printed, the reads are what is checked.
TEST(IniSave, AReaderInALoopFindsTheFileWholeThroughAHundredSaves) {
    const std::wstring path = TempFilePath(L"ini-loop");
    IniDocument doc;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(doc.Set(L"Task" + std::to_wstring(i), L"Program", L"C:\\tool.exe"));
    }
    ASSERT_TRUE(doc.Set(L"TaskCount", L"TaskCount", L"50"));
    ASSERT_TRUE(doc.Save(path));
    std::atomic<bool> saving{true};
    int reads = 0, missing = 0, unreadable = 0, withoutCount = 0, openedMissing = 0;
    std::thread reader([&] {
        while (saving) {
            fw::UniqueFile raw(::CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
            openedMissing += !raw && ::GetLastError() == ERROR_FILE_NOT_FOUND;
            raw.Reset();
            IniDocument read;
            const IniDocument::LoadResult result = read.Load(path);
            ++reads;
            missing += result == IniDocument::LoadResult::Missing;
            unreadable += result == IniDocument::LoadResult::Unreadable;
            withoutCount += result == IniDocument::LoadResult::Ok && read.Get(L"TaskCount", L"TaskCount") != L"50";
            ::Sleep(2);
        }
    });
    int saves = 0, failedSaves = 0;
    for (int attempt = 0; attempt < 1000 && saves < 100; ++attempt) {
        (doc.Save(path) ? saves : failedSaves) += 1;
    }
    saving = false;
    reader.join();
    std::printf(
        "%d reads during %d saves: %d missing, %d opens not found, %d unreadable, %d without the count; "
        "%d saves failed and were made again\n",
        reads, saves, missing, openedMissing, unreadable, withoutCount, failedSaves);
    EXPECT_EQ(saves, 100);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(missing + openedMissing + unreadable + withoutCount, 0);
    ::DeleteFileW(path.c_str());
}

// Another program that has the file open for a moment (a backup reading it, or this program's own read,
// which lets nobody write or remove the file meanwhile) does not make a save fail.
TEST(IniSave, AReaderHoldingTheFileForAMomentDelaysTheSaveButDoesNotFailIt) {
    const std::wstring path = TempFilePath(L"ini-held");
    IniDocument doc;
    ASSERT_TRUE(doc.Set(L"S", L"K", L"one"));
    ASSERT_TRUE(doc.Save(path));
    HANDLE reader = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread release([reader] {
        ::Sleep(60);
        ::CloseHandle(reader);
    });
    ASSERT_TRUE(doc.Set(L"S", L"K", L"two"));
    const bool saved = doc.Save(path);
    release.join();
    EXPECT_TRUE(saved);
    IniDocument reread;
    ASSERT_EQ(reread.Load(path), IniDocument::LoadResult::Ok);
    EXPECT_EQ(reread.Get(L"S", L"K"), L"two");
    ::DeleteFileW(path.c_str());
}

}  // namespace
