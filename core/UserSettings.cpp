#include "core/UserSettings.h"

#include "core/IniFile.h"
#include "core/Portable.h"
#include "framework/Handle.h"

#include <windows.h>

namespace core {
namespace {

std::wstring PortableSettingsPath() {
    const std::wstring& folder = PortableFolder();
    return folder.empty() ? std::wstring() : folder + L"\\" + kPortableSettingsFile;
}

std::optional<std::wstring> ReadRegistrySetting(const std::wstring& name) {
    fw::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserSettingsKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The stored text may or may not end with its NUL.
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

bool WriteRegistrySetting(const std::wstring& name, const std::wstring& value) {
    fw::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kUserSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
           ERROR_SUCCESS;
}

}  // namespace

std::optional<std::wstring> ReadUserSetting(const std::wstring& name) {
    const std::wstring file = PortableSettingsPath();
    if (file.empty()) {
        return ReadRegistrySetting(name);
    }
    IniDocument doc;
    if (doc.Load(file) != IniDocument::LoadResult::Ok || !doc.Has(kPortableSettingsSection, name)) {
        return std::nullopt;
    }
    return doc.Get(kPortableSettingsSection, name);
}

bool WriteUserSetting(const std::wstring& name, const std::wstring& value) {
    const std::wstring file = PortableSettingsPath();
    if (file.empty()) {
        return WriteRegistrySetting(name, value);
    }
    IniDocument doc;
    const IniDocument::LoadResult loaded = doc.Load(file);
    if (loaded != IniDocument::LoadResult::Ok && loaded != IniDocument::LoadResult::Missing) {
        return false;
    }
    return doc.Set(kPortableSettingsSection, name, value) && doc.Save(file);
}

}  // namespace core
