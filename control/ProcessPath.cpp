#include "control/ProcessPath.h"

#include <psapi.h>

#include <algorithm>

namespace control {

std::vector<DWORD> ListProcessIds() {
    std::vector<DWORD> ids(kMaxProcesses, 0);
    DWORD bytes = 0;
    if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
        return {};
    }
    ids.resize(std::min<size_t>(bytes / sizeof(DWORD), ids.size()));
    ids.erase(std::remove(ids.begin(), ids.end(), 0u), ids.end());
    return ids;
}

void EnableDebugPrivilege() {
    // The privilege stays enabled once it is: adjusting the token again at every look-up gains nothing.
    static const bool enabled = [] {
        fw::UniqueHandle token;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put())) {
            return false;
        }
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
            return false;
        }
        return ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
    }();
    fw::IgnoreResult(enabled);
}

fw::UniqueHandle OpenProcessForQuery(DWORD processId) {
    EnableDebugPrivilege();
    // The limited right is granted for elevated, other users' and protected processes too, where fuller
    // rights are refused.
    return fw::UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
}

std::wstring GetProcessImagePath(DWORD processId) {
    const fw::UniqueHandle process = OpenProcessForQuery(processId);
    return process ? GetProcessImagePath(process.Get()) : std::wstring();
}

std::wstring GetProcessImagePath(HANDLE process) {
    // Paths may be longer than MAX_PATH: grow the buffers until the whole path fits.
    std::vector<wchar_t> image(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(image.size());
        if (::QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
            break;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || image.size() >= 32768) {
            return {};
        }
        image.assign(image.size() * 2, L'\0');
    }
    std::vector<wchar_t> longPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetLongPathNameW(image.data(), longPath.data(), static_cast<DWORD>(longPath.size()));
        if (length == 0) {
            return {};
        }
        if (length < longPath.size()) {
            return std::wstring(longPath.data(), length);
        }
        longPath.assign(length + 1, L'\0');
    }
}

}  // namespace control
