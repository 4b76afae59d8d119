#pragma once
// The processes that a process started, and theirs: what a stop of the whole tree takes with it.
//
// A process's parent is known only by its id, and an id passes to another process once its process has ended.
// A process is taken as a child only when it is no older than the parent that its id names, and every process
// of the tree is held open from the moment it is found, so its id cannot pass on while the stop lasts.
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace control {

// The rights a stop holds a process with: to wait for it, terminate it and ask when it started and whose it is.
inline constexpr DWORD kStopAccess = SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION;

// One process of a stop, held open.
struct HeldProcess {
    DWORD processId = 0;
    // When it was created, as a FILETIME's 100 ns units; 0 when unknown.
    ULONGLONG created = 0;
    // 0 for the process the stop names, 1 for its children, and so on.
    int depth = 0;
    fw::UniqueHandle handle;
};

// One line of the platform's list of processes.
struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentId = 0;
    // The image's file name, without its folder.
    std::wstring exeName;
};

// When the process was created, or 0 when that cannot be told. The handle holds the process.
ULONGLONG ProcessCreationTime(DWORD processId, HANDLE process);

// The process a stop names, held for a stop of its tree.
HeldProcess HoldRoot(DWORD processId, fw::UniqueHandle process);

// Looks for the descendants of the processes held in tree in a fresh list of the running processes, and holds
// each one found that is not held yet, with its depth. Never taken: the program itself, the desktop shell
// (explorer.exe), the processes that a session cannot live without (csrss.exe, winlogon.exe and the like),
// and the processes of other sessions and other users. Those are not looked into either: their children are
// not the tree's.
void AddDescendants(std::vector<HeldProcess>& tree);

// What tests may put in place of the platform's list of processes and of the creation times. Empty members
// leave the platform's own.
struct ProcessTreeHooks {
    std::function<std::vector<ProcessEntry>()> listProcesses;
    std::function<ULONGLONG(DWORD processId, HANDLE process)> creationTime;
};
// Installs the hooks; returns the previous ones.
ProcessTreeHooks SetProcessTreeHooks(ProcessTreeHooks hooks);

}  // namespace control
