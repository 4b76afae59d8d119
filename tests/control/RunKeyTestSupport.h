#pragma once
// The user's Run key in the test prefix: what its Marlowick value holds, written and removed by hand.
#include "control/LogonStart.h"
#include "framework/Handle.h"

#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

namespace control_test {

// The value's type and text, or nothing when it is absent.
struct RunValue {
    DWORD type = REG_NONE;
    std::wstring text;
};

inline std::optional<RunValue> ReadRunValue() {
    fw::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, control::kRunKeyPath, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), control::kRunValueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<BYTE> data(size + sizeof(wchar_t), 0);
    ::RegQueryValueExW(key.Get(), control::kRunValueName, nullptr, &type, data.data(), &size);
    RunValue value{type, {}};
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        value.text = reinterpret_cast<const wchar_t*>(data.data());
    }
    return value;
}

inline void WriteRunValue(const std::wstring& text, DWORD type = REG_SZ) {
    fw::UniqueRegKey key;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, control::kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                      nullptr);
    ::RegSetValueExW(key.Get(), control::kRunValueName, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline void RemoveRunValue() {
    fw::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, control::kRunKeyPath, 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.Get(), control::kRunValueName);
    }
}

// Every test begins and ends without the value, whatever it left behind.
class RunValueReset {
public:
    RunValueReset() { RemoveRunValue(); }
    RunValueReset(const RunValueReset&) = delete;
    RunValueReset& operator=(const RunValueReset&) = delete;
    ~RunValueReset() { RemoveRunValue(); }
};

// Makes the Run key refuse every write while it lives, as a key that a policy or an administrator locked
// would; puts the key's own access rules back when it goes.
class RunKeyWritesDenied {
public:
    RunKeyWritesDenied() {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, control::kRunKeyPath, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr,
                          m_key.Put(), nullptr);
        DWORD size = 0;
        ::RegGetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        m_old.resize(size);
        if (size == 0 ||
            ::RegGetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, m_old.data(), &size) != ERROR_SUCCESS) {
            m_old.clear();
            return;
        }
        // Everyone: writing denied, everything else allowed.
        fw::UniqueLocalMemory denied;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:(D;;KW;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(denied.Put()),
                nullptr)) {
            return;
        }
        m_denied = ::RegSetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, denied.Get()) == ERROR_SUCCESS;
    }
    RunKeyWritesDenied(const RunKeyWritesDenied&) = delete;
    RunKeyWritesDenied& operator=(const RunKeyWritesDenied&) = delete;
    ~RunKeyWritesDenied() {
        if (m_denied) {
            ::RegSetKeySecurity(m_key.Get(), DACL_SECURITY_INFORMATION, m_old.data());
        }
    }
    bool Denied() const { return m_denied; }

private:
    fw::UniqueRegKey m_key;
    std::vector<BYTE> m_old;
    bool m_denied = false;
};

}  // namespace control_test
