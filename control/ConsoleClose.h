#pragma once
// Asking a console program to close: it has no window to close, so it is sent Ctrl+C, as a user at its console
// would press it.
#include <windows.h>

#include <functional>
#include <vector>

namespace control {

// Sends the close request to the console of the process (held by the handle): Ctrl+C to every process on that
// console, or, when the process has Ctrl+C turned off, Ctrl+Break to the process group that it leads. A
// console's events reach every process attached to it, so the request is sent only when each of them, the
// program itself aside, is one of targets; otherwise nothing is sent. Nothing is sent either to a process that has
// ended, that has no console, or when the program has a console of its own (a process can be attached to one console
// only).
//
// Returns the ids of the processes on the console when the request was sent, and nothing otherwise. One
// request at a time: attaching to a console acts on the whole program.
std::vector<DWORD> RequestConsoleClose(HANDLE process, DWORD processId, const std::vector<DWORD>& targets);

// Whether the process has Ctrl+C turned off: as CreateProcess starts the leader of a new process group
// (CREATE_NEW_PROCESS_GROUP), or as it turned it off itself (SetConsoleCtrlHandler(nullptr, TRUE)) or took it
// from its parent. False when that cannot be read. The caller holds the process, so that the id names it.
bool IgnoresCtrlC(DWORD processId);

// The console calls a request makes. Tests put others in place; an empty member is the platform's own call.
struct ConsoleCalls {
    // AttachConsole.
    std::function<BOOL(DWORD processId)> attach;
    // SetConsoleCtrlHandler(nullptr, ignore): whether the program itself ignores Ctrl+C.
    std::function<BOOL(BOOL ignore)> ignoreCtrlC;
    // GetConsoleProcessList of the console attached to.
    std::function<std::vector<DWORD>()> listProcesses;
    // GenerateConsoleCtrlEvent.
    std::function<BOOL(DWORD event, DWORD processGroupId)> generate;
    // FreeConsole.
    std::function<BOOL()> free;
    // IgnoresCtrlC.
    std::function<bool(DWORD processId)> ignoresCtrlC;
};
// Installs the calls; returns the previous ones.
ConsoleCalls SetConsoleCalls(ConsoleCalls calls);

}  // namespace control
