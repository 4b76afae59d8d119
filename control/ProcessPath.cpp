#include "control/ProcessPath.h"

#include <psapi.h>

#include <algorithm>
#include <utility>

namespace control {
namespace {

// Far more processes than any system runs (4 MB of ids): a list that keeps filling the buffer beyond this is
// taken as it is rather than grown for ever.
constexpr size_t kMostProcessIds = size_t{1} << 20;

EnumProcessesFunction& EnumFunction() {
    static EnumProcessesFunction function;
    return function;
}

BOOL EnumerateProcesses(DWORD* ids, DWORD bytes, DWORD* bytesReturned) {
    return EnumFunction() ? EnumFunction()(ids, bytes, bytesReturned) : ::EnumProcesses(ids, bytes, bytesReturned);
}

}  // namespace

std::vector<DWORD> ListProcessIds() {
    // EnumProcesses does not say how many ids there are: a list that fills the buffer exactly may have been
    // cut short, so the buffer grows until the list leaves room to spare.
    std::vector<DWORD> ids(1024, 0);
    for (;;) {
        DWORD bytes = 0;
        if (!EnumerateProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
            return {};
        }
        const size_t listed = std::min<size_t>(bytes / sizeof(DWORD), ids.size());
        if (listed < ids.size() || ids.size() >= kMostProcessIds) {
            ids.resize(listed);
            break;
        }
        ids.assign(ids.size() * 2, 0);
    }
    ids.erase(std::remove(ids.begin(), ids.end(), 0u), ids.end());
    return ids;
}

EnumProcessesFunction SetEnumProcessesFunction(EnumProcessesFunction function) {
    return std::exchange(EnumFunction(), std::move(function));
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
