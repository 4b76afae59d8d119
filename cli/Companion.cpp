#include "cli/Companion.h"

#include "cli/CommandPipe.h"
#include "cli/Console.h"
#include "cli/History.h"
#include "cli/ProfileLock.h"
#include "control/LogonStart.h"
#include "control/ProgramRunner.h"
#include "core/AsciiCase.h"
#include "core/Profile.h"
#include "framework/WinApp.h"

#include <mutex>

namespace cli {
namespace {

// How long marlowick.com keeps trying to reach a Marlowick that is starting or ending.
constexpr ULONGLONG kReachTimeoutMs = 15000;
// How long it waits for the lock at each try: a Marlowick that holds it may start serving meanwhile.
constexpr DWORD kLockTryMs = 100;
// How long exit waits for Marlowick to end.
constexpr DWORD kExitWaitMs = 30000;

bool IsHelp(const std::vector<std::wstring>& words) {
    if (words.empty()) {
        return true;
    }
    const std::wstring word = core::AsciiLower(words[0]);
    return word == L"/?" || word == L"-?" || word == L"/h" || word == L"-h" || word == L"--help" || word == L"help";
}

// Hands the command to the running Marlowick, or carries it out here once none runs. Marlowick holds the writer
// lock from before it reads the profile until its process ends, so whoever holds the lock is the only writer.
CommandAnswer Deliver(const std::vector<std::wstring>& words, ProfileWriterLock& lock) {
    const ULONGLONG deadline = ::GetTickCount64() + kReachTimeoutMs;
    const std::wstring pipe = PipeName();
    for (;;) {
        CommandAnswer answer;
        switch (SendCommand(pipe, words, answer)) {
            case SendResult::Answered:
                return answer;
            case SendResult::Denied:
                return {kExitUnreachable,
                        {L"Marlowick is running for another user: its tasks cannot be changed from here."}};
            case SendResult::Failed:
                // The request may have reached it: trying again could carry it out twice.
                return {kExitUnreachable, {L"Marlowick did not answer: the command may not have been carried out."}};
            case SendResult::Busy:
                fw::IgnoreResult(::WaitNamedPipeW(pipe.c_str(), 200));
                break;
            case SendResult::NoServer:
                if (lock.Acquire(kLockTryMs)) {
                    // Nobody to ask: exit reads no profile, so that it never creates one either.
                    return IsWord(words[0], L"exit") ? CommandAnswer::Failure(kNotRunning) : RunOnProfile(words);
                }
                break;
        }
        if (::GetTickCount64() > deadline) {
            return {kExitUnreachable, {L"Marlowick is running but does not answer."}};
        }
    }
}

// The first message the service had, or a plain reason.
std::wstring Reason(const std::vector<std::wstring>& messages, const wchar_t* otherwise) {
    std::wstring reason = messages.empty() ? otherwise : core::OneLine(messages.front());
    while (!reason.empty() && reason.back() == L' ') {
        reason.pop_back();
    }
    return reason;
}

// marlowick.exe beside this marlowick.com: the program that the Run value starts.
std::wstring MarlowickExePath() {
    const std::wstring self = fw::GetProgramPath();
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"marlowick.exe";
}

// logon [on|off]: this user's Run value, which is the user's own and needs neither the profile nor a running
// Marlowick. The installer turns it off for the user who uninstalls.
CommandAnswer Logon(const std::vector<std::wstring>& words) {
    const std::wstring program = MarlowickExePath();
    if (words.size() == 1) {
        return {kExitOk, {control::IsStartAtLogonSet(program) ? L"on" : L"off"}};
    }
    const bool on = IsWord(words[1], L"on");
    if (words.size() != 2 || (!on && !IsWord(words[1], L"off"))) {
        return CommandAnswer::Failure(L"Usage: marlowick logon [on|off]");
    }
    if (control::SetStartAtLogon(on, program) != ERROR_SUCCESS) {
        return CommandAnswer::Failure(L"Cannot change the Run value of this user's registry.");
    }
    return {};
}

bool IsFirstImport(const std::vector<std::wstring>& words) {
    return words.size() == 3 && IsWord(words[0], L"import") && IsWord(words[2], L"/first");
}

bool ProfileExists() {
    const std::wstring path = core::GetProfilePath();
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Hands the command to the running Marlowick or carries it out on the profile, and waits for an exit to be over.
CommandAnswer CarryOut(std::vector<std::wstring> words) {
    words = WithFullPaths(std::move(words));
    ProfileWriterLock lock;
    CommandAnswer answer = Deliver(words, lock);
    if (answer.exitCode == kExitOk && IsWord(words[0], L"exit") && !lock.Acquire(kExitWaitMs)) {
        // Marlowick ends when it lets go of the lock; it may still be showing a box that waits for its user.
        answer = CommandAnswer::Failure(L"Marlowick was asked to exit but has not ended yet.");
    }
    return answer;
}

// import <file> /first: the tasks an installation brings, taken only by a machine that has no profile yet, so that
// installing again or upgrading never adds them twice or mixes them into tasks that are there.
CommandAnswer FirstImport(std::vector<std::wstring> words) {
    if (ProfileExists()) {
        return {kExitOk, {L"There is a profile already: its tasks are kept and nothing was imported."}};
    }
    words.pop_back();
    return CarryOut(std::move(words));
}

}  // namespace

CommandAnswer RunOnProfile(const std::vector<std::wstring>& words) {
    RunResults results;
    std::mutex mutex;
    std::vector<std::wstring> messages;
    core::TaskService service(std::make_unique<control::ProgramRunner>(), [&](const core::ServiceEvent& event) {
        results.Notice(event);
        if (event.kind == core::ServiceEvent::Kind::Message || event.kind == core::ServiceEvent::Kind::SaveFailed) {
            const std::lock_guard lock(mutex);
            messages.push_back(event.text);
        }
    });
    service.Load();
    if (!service.ProfileRead()) {
        const std::lock_guard lock(mutex);
        return CommandAnswer::Failure(Reason(messages, L"The profile cannot be read."));
    }
    CommandHost host{service, results, {}, &ReadHistoryLines};
    CommandAnswer answer = RunCommandQuietly(words, host);
    // Every change has been written by its command; the list is not written again.
    service.Shutdown();
    return answer;
}

int CompanionMain(std::vector<std::wstring> words) {
    if (IsHelp(words)) {
        WriteLines(STD_OUTPUT_HANDLE, UsageLines());
        return words.empty() ? kExitFailed : kExitOk;
    }
    const CommandAnswer answer = IsWord(words[0], L"logon") ? Logon(words)
                                 : IsFirstImport(words)     ? FirstImport(std::move(words))
                                                            : CarryOut(std::move(words));
    WriteLines(answer.exitCode == kExitOk ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, answer.lines);
    return answer.exitCode;
}

}  // namespace cli
