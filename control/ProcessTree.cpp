#include "control/ProcessTree.h"

#include "control/ProcessPath.h"
#include "core/AsciiCase.h"
#include "framework/Security.h"

#include <tlhelp32.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace control {
namespace {

ProcessTreeHooks& Hooks() {
    static ProcessTreeHooks hooks;
    return hooks;
}

std::vector<ProcessEntry> SnapshotProcesses() {
    std::vector<ProcessEntry> entries;
    fw::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return entries;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    return entries;
}

std::vector<ProcessEntry> ListProcesses() {
    return Hooks().listProcesses ? Hooks().listProcesses() : SnapshotProcesses();
}

ULONGLONG CreationTime(DWORD processId, HANDLE process) {
    return Hooks().creationTime ? Hooks().creationTime(processId, process) : ProcessCreationTime(processId, process);
}

DWORD SessionOf(DWORD processId) {
    DWORD session = 0;
    return ::ProcessIdToSessionId(processId, &session) ? session : MAXDWORD;
}

// Another session's processes and another user's are never the program's to stop, whoever started them.
bool IsOwnUsersInSession(DWORD processId, HANDLE process) {
    static const DWORD ownSession = SessionOf(::GetCurrentProcessId());
    static const fw::Sid ownUser = fw::CurrentUserSid();
    if (SessionOf(processId) != ownSession) {
        return false;
    }
    fw::UniqueHandle token;
    return ::OpenProcessToken(process, TOKEN_QUERY, token.Put()) &&
           fw::SameUser(fw::TokenUserSid(token.Get()), ownUser);
}

// The desktop shell and the processes a session cannot live without, by image file name (A to Z in any case).
bool IsSparedImageName(const std::wstring& exeName) {
    static const wchar_t* const kSpared[] = {L"explorer.exe", L"csrss.exe", L"winlogon.exe", L"dwm.exe",
                                             L"services.exe", L"lsass.exe", L"wininit.exe",  L"smss.exe"};
    const std::wstring name = core::AsciiLower(exeName);
    return std::any_of(std::begin(kSpared), std::end(kSpared), [&](const wchar_t* spared) { return name == spared; });
}

const HeldProcess* FindHeld(const std::vector<HeldProcess>& tree, DWORD processId) {
    const auto found =
        std::find_if(tree.begin(), tree.end(), [&](const HeldProcess& held) { return held.processId == processId; });
    return found != tree.end() ? &*found : nullptr;
}

// Holds the entry's process as a child of parent when it is one the tree may take.
bool HoldChild(const ProcessEntry& entry, const HeldProcess& parent, std::vector<HeldProcess>& tree) {
    if (entry.processId == ::GetCurrentProcessId() || IsSparedImageName(entry.exeName)) {
        return false;
    }
    const int depth = parent.depth + 1;
    const ULONGLONG parentCreated = parent.created;
    fw::UniqueHandle process(::OpenProcess(kStopAccess, FALSE, entry.processId));
    if (!process) {
        return false;
    }
    // Opened first, asked after: while the handle is held, the id names this process. Creation times tick
    // coarsely, so a child may carry its parent's own; a process older than the parent is another's.
    const ULONGLONG created = CreationTime(entry.processId, process.Get());
    if (created == 0 || created < parentCreated || !IsOwnUsersInSession(entry.processId, process.Get())) {
        return false;
    }
    // The parent lives in the tree, which this may move: only what was copied out of it is used.
    tree.push_back({entry.processId, created, depth, std::move(process)});
    return true;
}

}  // namespace

ULONGLONG ProcessCreationTime(DWORD processId, HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        // A handle without the right to ask: the held handle keeps the id, so the id may be opened again.
        const fw::UniqueHandle query = OpenProcessForQuery(processId);
        if (!query || !::GetProcessTimes(query.Get(), &created, &exited, &kernel, &user)) {
            return 0;
        }
    }
    return (ULONGLONG{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

HeldProcess HoldRoot(DWORD processId, fw::UniqueHandle process) {
    const ULONGLONG created = process ? CreationTime(processId, process.Get()) : 0;
    return {processId, created, 0, std::move(process)};
}

void AddDescendants(std::vector<HeldProcess>& tree) {
    const std::vector<ProcessEntry> entries = ListProcesses();
    // Each pass takes the children of the processes held so far; a grandchild listed before its parent is
    // taken on the next pass.
    std::vector<bool> settled(entries.size(), false);
    for (bool added = true; added;) {
        added = false;
        for (size_t i = 0; i < entries.size(); ++i) {
            const ProcessEntry& entry = entries[i];
            const HeldProcess* parent = FindHeld(tree, entry.parentId);
            if (settled[i] || !parent || parent->created == 0 || FindHeld(tree, entry.processId)) {
                continue;
            }
            // Looked at once: one that is refused now stays refused for this list.
            settled[i] = true;
            added = HoldChild(entry, *parent, tree) || added;
        }
    }
}

ProcessTreeHooks SetProcessTreeHooks(ProcessTreeHooks hooks) {
    return std::exchange(Hooks(), std::move(hooks));
}

}  // namespace control
