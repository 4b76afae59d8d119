#include "control/ProcessPath.h"

#include "framework/Handle.h"

#include <psapi.h>

#include <vector>

namespace control {

void EnableDebugPrivilege() {
    fw::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, token.Put())) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        fw::IgnoreResult(::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr));
    }
}

std::wstring GetProcessImagePath(DWORD processId) {
    EnableDebugPrivilege();
    // The access mask of PROCESS_ALL_ACCESS as the older platform headers define it.
    constexpr DWORD kAllAccess = 0x001F0FFF;
    fw::UniqueHandle process(::OpenProcess(kAllAccess, FALSE, processId));
    if (!process) {
        return {};
    }
    // Paths may be longer than MAX_PATH: grow the buffers until the whole path fits.
    std::vector<wchar_t> module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameExW(process.Get(), nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (length == 0) {
            return {};
        }
        if (length < module.size() - 1) {
            break;
        }
        module.assign(module.size() * 2, L'\0');
    }
    process.Reset();
    std::vector<wchar_t> longPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetLongPathNameW(module.data(), longPath.data(), static_cast<DWORD>(longPath.size()));
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
