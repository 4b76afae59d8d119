#include "control/ConsoleClose.h"

#include "framework/Handle.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <utility>

namespace control {
namespace {

ConsoleCalls& Calls() {
    static ConsoleCalls calls;
    return calls;
}

// A console's event reaches its processes on threads of their own, a moment after it was sent: one that
// comes after the program has left the console and stopped ignoring events would end the program, as Ctrl+C
// ends any console program by default. This handler takes such a late one instead. The program has no console
// of its own when it can attach to another's, so it takes no event that a user meant for it.
BOOL WINAPI TakeLateEvent(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

BOOL AttachToConsole(DWORD processId) {
    if (!::AttachConsole(processId)) {
        return FALSE;
    }
    // Only once attached: a program with a console of its own (the command line running a stop) keeps taking the
    // Ctrl+C its user presses there.
    static const BOOL guarded = ::SetConsoleCtrlHandler(&TakeLateEvent, TRUE);
    fw::IgnoreResult(guarded);
    return TRUE;
}

std::vector<DWORD> ConsoleProcesses() {
    std::vector<DWORD> ids(16, 0);
    for (;;) {
        const DWORD count = ::GetConsoleProcessList(ids.data(), static_cast<DWORD>(ids.size()));
        if (count == 0) {
            return {};
        }
        if (count <= ids.size()) {
            ids.resize(count);
            return ids;
        }
        ids.assign(count + 8, 0);  // processes may join meanwhile
    }
}

BOOL Attach(DWORD processId) {
    return Calls().attach ? Calls().attach(processId) : AttachToConsole(processId);
}
BOOL IgnoreCtrlC(BOOL ignore) {
    return Calls().ignoreCtrlC ? Calls().ignoreCtrlC(ignore) : ::SetConsoleCtrlHandler(nullptr, ignore);
}
std::vector<DWORD> ListConsoleProcesses() {
    return Calls().listProcesses ? Calls().listProcesses() : ConsoleProcesses();
}
BOOL Generate(DWORD event, DWORD processGroupId) {
    return Calls().generate ? Calls().generate(event, processGroupId)
                            : ::GenerateConsoleCtrlEvent(event, processGroupId);
}
BOOL Free() {
    return Calls().free ? Calls().free() : ::FreeConsole();
}
bool TargetIgnoresCtrlC(DWORD processId) {
    return Calls().ignoresCtrlC ? Calls().ignoresCtrlC(processId) : IgnoresCtrlC(processId);
}

// Sends the event while attached to the console: only when every process on it, the program aside, is a target.
bool SendWhenAllAreTargets(DWORD processId, const std::vector<DWORD>& targets, std::vector<DWORD>& onConsole) {
    onConsole = ListConsoleProcesses();
    std::erase(onConsole, ::GetCurrentProcessId());
    const bool allTargets = !onConsole.empty() && std::all_of(onConsole.begin(), onConsole.end(), [&](DWORD id) {
        return std::find(targets.begin(), targets.end(), id) != targets.end();
    });
    if (!allTargets) {
        return false;
    }
    // Group 0 is every process on the console. Ctrl+Break cannot be turned off, but it goes to a process group
    // only, whose id is its leader's: it is what reaches the leader of a new group, which starts with Ctrl+C
    // off. Ctrl+C is preferred otherwise, as the request that programs take to mean "close".
    const bool breakInstead = TargetIgnoresCtrlC(processId);
    return Generate(breakInstead ? CTRL_BREAK_EVENT : CTRL_C_EVENT, breakInstead ? processId : 0) != FALSE;
}

}  // namespace

std::vector<DWORD> RequestConsoleClose(HANDLE process, DWORD processId, const std::vector<DWORD>& targets) {
    static std::mutex oneAtATime;
    const std::lock_guard lock(oneAtATime);
    // The held handle says whether the id still names the process: an ended one's id may be another's by now.
    if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        return {};
    }
    // Ignored from before the program joins the console until after it has left: an event sent meanwhile, by
    // this request or by a user at that console, must not end the program.
    fw::IgnoreResult(IgnoreCtrlC(TRUE));
    std::vector<DWORD> onConsole;
    bool sent = false;
    if (Attach(processId)) {
        sent = SendWhenAllAreTargets(processId, targets, onConsole);
        fw::IgnoreResult(Free());
    }
    fw::IgnoreResult(IgnoreCtrlC(FALSE));
    return sent ? onConsole : std::vector<DWORD>();
}

bool IgnoresCtrlC(DWORD processId) {
    // No call tells a process's group, nor whether it takes Ctrl+C. Both CreateProcess, for a new group's leader,
    // and SetConsoleCtrlHandler keep that in a flag of the process parameters (ConsoleFlags, the word after the
    // console handle), from which a child takes its own.
    using QueryFunction = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    // Opened for reading its memory; the caller's handle keeps the id from passing on meanwhile.
    const fw::UniqueHandle reader(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || !reader || query(reader.Get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0) {
        return false;
    }
    PRTL_USER_PROCESS_PARAMETERS parameters = nullptr;
    ULONG consoleFlags = 0;
    const auto* peb = static_cast<const BYTE*>(static_cast<const void*>(basic.PebBaseAddress));
    constexpr size_t kConsoleFlags = offsetof(RTL_USER_PROCESS_PARAMETERS, Reserved2) + sizeof(PVOID);
    return ::ReadProcessMemory(reader.Get(), peb + offsetof(PEB, ProcessParameters), &parameters, sizeof parameters,
                               nullptr) &&
           ::ReadProcessMemory(reader.Get(), reinterpret_cast<const BYTE*>(parameters) + kConsoleFlags, &consoleFlags,
                               sizeof consoleFlags, nullptr) &&
           (consoleFlags & 1) != 0;
}

ConsoleCalls SetConsoleCalls(ConsoleCalls calls) {
    return std::exchange(Calls(), std::move(calls));
}

}  // namespace control
