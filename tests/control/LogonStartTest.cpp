// Start at logon against the registry of the test prefix: the value written, read back and removed, and which
// commands count as starting this program.
#include "control/LogonStart.h"
#include "control/RunKeyTestSupport.h"
#include "framework/WinApp.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using control_test::ReadRunValue;
using control_test::RunValueReset;
using control_test::WriteRunValue;

TEST(LogonStart, TickingWritesTheQuotedPathAndClearingRemovesIt) {
    RunValueReset reset;
    const std::wstring self = fw::GetProgramPath();
    ASSERT_FALSE(self.empty());
    EXPECT_FALSE(control::IsStartAtLogonSet(self));
    // Nothing to remove is no failure.
    EXPECT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(false, self));
    EXPECT_FALSE(ReadRunValue());

    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(true, self));
    const auto written = ReadRunValue();
    ASSERT_TRUE(written);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), written->type);
    EXPECT_EQ(L"\"" + self + L"\"", written->text);
    EXPECT_TRUE(control::IsStartAtLogonSet(self));

    // Ticking again changes nothing; clearing removes the value.
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(true, self));
    EXPECT_EQ(L"\"" + self + L"\"", ReadRunValue()->text);
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(false, self));
    EXPECT_FALSE(ReadRunValue());
    EXPECT_FALSE(control::IsStartAtLogonSet(self));
}

TEST(LogonStart, AValueThatStartsAnotherProgramIsNotOursAndClearingLeavesIt) {
    RunValueReset reset;
    const std::wstring self = fw::GetProgramPath();
    const std::wstring other = testing_support::HelperPath();
    const std::wstring otherCommand = L"\"" + other + L"\" /background";
    WriteRunValue(otherCommand);
    EXPECT_FALSE(control::IsStartAtLogonSet(self));
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(false, self));
    ASSERT_TRUE(ReadRunValue());
    EXPECT_EQ(otherCommand, ReadRunValue()->text);

    // Ticking makes the value start this program instead.
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(true, self));
    EXPECT_EQ(L"\"" + self + L"\"", ReadRunValue()->text);

    // A value that is not text never counts, and is left alone.
    WriteRunValue(self, REG_BINARY);
    EXPECT_FALSE(control::IsStartAtLogonSet(self));
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(false, self));
    EXPECT_TRUE(ReadRunValue());
}

TEST(LogonStart, CommandsNameThisProgramInAnyCaseQuotedOrNotLongOrShort) {
    RunValueReset reset;
    const std::wstring self = fw::GetProgramPath();
    wchar_t shortPath[MAX_PATH]{};
    ASSERT_GT(::GetShortPathNameW(self.c_str(), shortPath, MAX_PATH), 0u);
    std::wstring upper = self;
    for (wchar_t& c : upper) {
        c = static_cast<wchar_t>(::towupper(c));
    }
    const std::wstring starting[] = {
        L"\"" + self + L"\"",    L"  \"" + self + L"\" -minimized",      self, self + L" -minimized", upper,
        std::wstring(shortPath), L"\"" + std::wstring(shortPath) + L"\""};
    for (const std::wstring& command : starting) {
        EXPECT_TRUE(control::CommandStartsProgram(command, self)) << command;
    }
    const std::wstring notStarting[] = {L"",
                                        L"\"\"",
                                        L"\"" + self,  // never closed
                                        self + L".bak",
                                        L"\"" + self + L"2\"",
                                        testing_support::HelperPath(),
                                        L"marlowick.exe"};
    for (const std::wstring& command : notStarting) {
        EXPECT_FALSE(control::CommandStartsProgram(command, self)) << command;
    }

    // The registry expands a value with environment references before it is compared.
    ::SetEnvironmentVariableW(L"MARLOWICK_TEST_FOLDER", self.substr(0, self.find_last_of(L'\\')).c_str());
    WriteRunValue(L"\"%MARLOWICK_TEST_FOLDER%" + self.substr(self.find_last_of(L'\\')) + L"\"", REG_EXPAND_SZ);
    EXPECT_TRUE(control::IsStartAtLogonSet(self));
    ::SetEnvironmentVariableW(L"MARLOWICK_TEST_FOLDER", nullptr);
}

TEST(LogonStart, ARunKeyThatRefusesWritesGivesTheRegistrysError) {
    RunValueReset reset;
    const std::wstring self = fw::GetProgramPath();
    {
        control_test::RunKeyWritesDenied denied;
        ASSERT_TRUE(denied.Denied());
        EXPECT_EQ(ERROR_ACCESS_DENIED, control::SetStartAtLogon(true, self));
        EXPECT_FALSE(ReadRunValue());
    }
    ASSERT_EQ(ERROR_SUCCESS, control::SetStartAtLogon(true, self));
    {
        control_test::RunKeyWritesDenied denied;
        ASSERT_TRUE(denied.Denied());
        EXPECT_EQ(ERROR_ACCESS_DENIED, control::SetStartAtLogon(false, self));
        EXPECT_TRUE(ReadRunValue());
    }
}

}  // namespace
