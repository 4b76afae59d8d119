#pragma once
// The running processes, and from a process to the long-form path of its main module.
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace control {

// The ids of the running processes in the order the platform lists them, every one of them, without the id 0;
// empty when they cannot be listed.
std::vector<DWORD> ListProcessIds();

// What lists the process ids, with the contract of EnumProcesses. Tests put another in place; an empty
// function is EnumProcesses itself. Returns the previous one.
using EnumProcessesFunction = std::function<BOOL(DWORD* ids, DWORD bytes, DWORD* bytesReturned)>;
EnumProcessesFunction SetEnumProcessesFunction(EnumProcessesFunction function);

// Enables SeDebugPrivilege in the program's own token, where the user holds it, the first time it is
// called. It stays enabled.
void EnableDebugPrivilege();

// Opens the process with the least access that reads its image path; null when that is refused.
fw::UniqueHandle OpenProcessForQuery(DWORD processId);

// The long-form path of the process's main module, or the empty text when any step fails.
std::wstring GetProcessImagePath(DWORD processId);
// The same for a process already opened (with at least PROCESS_QUERY_LIMITED_INFORMATION).
std::wstring GetProcessImagePath(HANDLE process);

}  // namespace control
