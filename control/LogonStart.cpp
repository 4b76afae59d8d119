#include "control/LogonStart.h"

#include "core/Portable.h"
#include "framework/Handle.h"

#include <vector>

namespace control {

std::wstring RunValueName() {
    return kRunValueName + core::InstanceNameSuffix();
}

namespace {

// A path as one comparable form: absolute, with the long names of every part that exists.
std::wstring Canonical(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    full.resize(length < full.size() ? length : 0);
    if (full.empty()) {
        return path;
    }
    std::wstring longPath(MAX_PATH, L'\0');
    length = ::GetLongPathNameW(full.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    if (length >= longPath.size()) {
        longPath.resize(length);
        length = ::GetLongPathNameW(full.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    }
    // A file that does not exist has no long form: it is compared as written.
    return length > 0 && length < longPath.size() ? longPath.substr(0, length) : full;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = Canonical(a);
    const std::wstring right = Canonical(b);
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The text of the value, environment references expanded (the registry does that for REG_EXPAND_SZ); false
// when it is absent or not text.
bool ReadRunValue(std::wstring& command) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, RunValueName().c_str(), RRF_RT_REG_SZ, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, RunValueName().c_str(), RRF_RT_REG_SZ, &type, buffer.data(),
                       &size) != ERROR_SUCCESS) {
        return false;
    }
    command = buffer.data();
    return true;
}

}  // namespace

std::wstring RunCommandFor(const std::wstring& programPath) {
    return L"\"" + programPath + L"\"";
}

bool CommandStartsProgram(const std::wstring& command, const std::wstring& programPath) {
    const std::wstring text = Trimmed(command);
    if (text.empty() || programPath.empty()) {
        return false;
    }
    if (text.front() == L'"') {
        const size_t close = text.find(L'"', 1);
        return close != std::wstring::npos && SameFile(text.substr(1, close - 1), programPath);
    }
    // Without quotes the shell reads up to the first blank; a path with blanks written whole counts as well.
    return SameFile(text.substr(0, text.find_first_of(L" \t")), programPath) || SameFile(text, programPath);
}

bool IsStartAtLogonSet(const std::wstring& programPath) {
    std::wstring command;
    return ReadRunValue(command) && CommandStartsProgram(command, programPath);
}

LSTATUS SetStartAtLogon(bool start, const std::wstring& programPath) {
    if (start) {
        fw::UniqueRegKey key;
        const LSTATUS created = ::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                  key.Put(), nullptr);
        if (created != ERROR_SUCCESS) {
            return created;
        }
        const std::wstring command = RunCommandFor(programPath);
        return ::RegSetValueExW(key.Get(), RunValueName().c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    if (!IsStartAtLogonSet(programPath)) {
        return ERROR_SUCCESS;
    }
    fw::UniqueRegKey key;
    const LSTATUS opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_SET_VALUE, key.Put());
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    const LSTATUS deleted = ::RegDeleteValueW(key.Get(), RunValueName().c_str());
    return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
}

}  // namespace control
