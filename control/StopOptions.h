#pragma once
// The two settings that govern a stop: how long a program has to close after it was asked to, and whether
// it is terminated when that time has passed.
#include "core/IniFile.h"

#include <windows.h>

#include <string>

namespace control {

// Where the settings file keeps them.
inline constexpr wchar_t kStopSection[] = L"Stop";
inline constexpr wchar_t kTimeOutKey[] = L"TimeOut";
inline constexpr wchar_t kForceQuitKey[] = L"ForceQuit";

// The grace period of a stop when the settings file names none: what the Options page shows then.
inline constexpr int kDefaultStopTimeOutSeconds = 10;
// The longest grace period, one day.
inline constexpr int kMaxStopTimeOutSeconds = 86400;

struct StopOptions {
    DWORD timeOutMilliseconds = kDefaultStopTimeOutSeconds * 1000;
    bool forceQuit = true;

    bool operator==(const StopOptions&) const = default;
};

// A flag of the settings file that is on unless the file says otherwise: set when the text is empty or "TRUE" in
// any letter case of A to Z.
bool IsOnByDefaultText(const std::wstring& text);
// The force-quit flag's meaning for one text, as IsOnByDefaultText.
bool IsForceQuitText(const std::wstring& text);

// The options that the two texts of the settings file stand for. An empty time-out is the default; any
// other text is a decimal number ("2x" is 2, "abc" is 0) clamped to 0 .. kMaxStopTimeOutSeconds.
StopOptions ParseStopOptions(const std::wstring& timeOutText, const std::wstring& forceQuitText);

struct StopOptionsRead {
    StopOptions options;
    // False when the settings file could not be read (missing or held by another program): the options are
    // then the ones last read, or the defaults when none ever was.
    bool fromFile;
    // Why it could not, when it could not.
    core::IniDocument::LoadResult result;
};

// Reads the options afresh for one stop and remembers them for the stops that find the file unreadable.
// Shows nothing: a stop decides itself when to tell the user.
StopOptionsRead ReadStopOptions();
// Forgets the options last read, as in a program that has read none yet. For tests.
void ForgetReadStopOptions();

}  // namespace control
