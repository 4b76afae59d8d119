// The settings file reader and writer agree with the platform's own profile functions, both ways.
#include "core/IniFile.h"

#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
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

}  // namespace
