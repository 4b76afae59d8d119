#pragma once
// Starting Marlowick when the user logs on: one value under the user's Run key, holding the quoted path of
// the program.
#include <windows.h>

#include <string>

namespace control {

// Under HKEY_CURRENT_USER: the shell starts every command of this key at the user's logon.
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Marlowick";
// The value of this copy: kRunValueName, and a portable copy's folder tag, so that a portable copy and an installed
// one each keep their own.
std::wstring RunValueName();

// The command that starts this program at logon: its path in quotes, so that a path with blanks is one file.
std::wstring RunCommandFor(const std::wstring& programPath);

// Whether a Run command starts this program: its file (the quoted part, or the text up to the first blank,
// or the whole text) is the same file, whatever the letter case and whether its names are long or short.
// Arguments after the file do not matter.
bool CommandStartsProgram(const std::wstring& command, const std::wstring& programPath);

// Whether the Run key holds the value and it starts this program. A value that starts another copy of
// Marlowick, or is not text, does not count.
bool IsStartAtLogonSet(const std::wstring& programPath);

// Ticked: writes the value with this program's command, replacing what was there. Not ticked: removes the
// value when it starts this program, and leaves a value that starts another program alone. Returns the
// registry's result; ERROR_SUCCESS also when there was nothing to remove.
LSTATUS SetStartAtLogon(bool start, const std::wstring& programPath);

}  // namespace control
