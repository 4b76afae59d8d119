#pragma once
// One user's settings of the window (its size, the widths of the list's columns). An installed copy keeps them in
// the registry, under HKEY_CURRENT_USER\Software\Korvane\Marlowick; a portable copy in Settings.ini beside itself.
// They hold no task: a setting that cannot be read or written costs a layout, nothing more.
#include <optional>
#include <string>

namespace core {

inline constexpr wchar_t kUserSettingsKey[] = L"Software\\Korvane\\Marlowick";
inline constexpr wchar_t kPortableSettingsFile[] = L"Settings.ini";
// The section of Settings.ini that holds them.
inline constexpr wchar_t kPortableSettingsSection[] = L"Window";

// The setting's text, or nothing when it was never written or cannot be read.
std::optional<std::wstring> ReadUserSetting(const std::wstring& name);
// False when it could not be written.
bool WriteUserSetting(const std::wstring& name, const std::wstring& value);

}  // namespace core
