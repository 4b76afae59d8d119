#pragma once
// From a process id to the long-form path of its main module.
#include <windows.h>

#include <string>

namespace control {

// Enables SeDebugPrivilege in the program's own token, where the user holds it. It stays enabled.
void EnableDebugPrivilege();

// The long-form path of the process's main module, or the empty text when any step fails.
std::wstring GetProcessImagePath(DWORD processId);

}  // namespace control
