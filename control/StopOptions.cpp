#include "control/StopOptions.h"

#include "core/AsciiCase.h"
#include "core/IniFile.h"
#include "core/Profile.h"

#include <algorithm>

namespace control {
namespace {

// The options of the last successful read. A settings file that cannot be read at the moment of a stop
// must not turn the user's grace period into none: that would terminate programs at once.
StopOptions& LastReadOptions() {
    static StopOptions last;
    return last;
}

}  // namespace

bool IsOnByDefaultText(const std::wstring& text) {
    const std::wstring upper = core::AsciiUpper(text);
    return upper.empty() || upper == L"TRUE";
}

bool IsForceQuitText(const std::wstring& text) {
    return IsOnByDefaultText(text);
}

StopOptions ParseStopOptions(const std::wstring& timeOutText, const std::wstring& forceQuitText) {
    const int seconds = timeOutText.empty() ? kDefaultStopTimeOutSeconds
                                            : std::clamp(core::ParseSettingInt(timeOutText), 0, kMaxStopTimeOutSeconds);
    return StopOptions{static_cast<DWORD>(seconds) * 1000, IsForceQuitText(forceQuitText)};
}

StopOptionsRead ReadStopOptions() {
    core::IniDocument doc;
    const core::IniDocument::LoadResult result = doc.Load(core::GetProfilePath());
    if (result != core::IniDocument::LoadResult::Ok) {
        return {LastReadOptions(), false, result};
    }
    LastReadOptions() = ParseStopOptions(doc.Get(kStopSection, kTimeOutKey), doc.Get(kStopSection, kForceQuitKey));
    return {LastReadOptions(), true, result};
}

void ForgetReadStopOptions() {
    LastReadOptions() = StopOptions{};
}

}  // namespace control
