#pragma once
// The commands of marlowick.com, carried out on a task service: by the running Marlowick for a request that came
// through its pipe, or by marlowick.com itself on the profile when no Marlowick runs.
#include "core/TaskService.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit codes: success, a command that failed or was refused (a bad argument, a task that is not there, a file
// that cannot be read or written), and Marlowick that could not be reached.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUnreachable = 2;

// What a command answers: the lines to print and the exit code. A failure has one line, the reason.
struct CommandAnswer {
    int exitCode = kExitOk;
    std::vector<std::wstring> lines;

    static CommandAnswer Failure(std::wstring reason) { return {kExitFailed, {std::move(reason)}}; }
};

// Whether a word of the command line is this command or option: the letters' case does not matter.
bool IsWord(const std::wstring& word, const wchar_t* name);

// Hears the results of runs from the service's events, so that a command can wait for the result of the run it
// asked for. Notice is called on the service's threads and never waits for anyone.
class RunResults {
public:
    void Notice(const core::ServiceEvent& event);
    // A mark taken before a run: Wait then hears only results that came after it.
    unsigned long long Mark() const;
    // The first result of the task after the mark; empty when Cancel came first.
    std::optional<std::wstring> Wait(core::TaskId id, unsigned long long mark);
    // Ends every wait, now and later: the owner is going.
    void Cancel();

private:
    struct Result {
        unsigned long long order;
        core::TaskId id;
        std::wstring text;
    };
    // Enough for every run that a command can be waiting for at one time.
    static constexpr size_t kKept = 256;

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Result> m_results;
    unsigned long long m_next = 1;
    bool m_cancelled = false;
};

// What the commands act on.
struct CommandHost {
    core::TaskService& service;
    RunResults& results;
    // Asks Marlowick to save and exit; empty where no Marlowick runs.
    std::function<void()> requestExit;
    // The lines of the history of runs, oldest first.
    std::function<std::vector<std::wstring>()> historyLines;
};

// Carries out one command (its words, the command first) and answers it. A command that fails changes nothing.
CommandAnswer RunCommand(const std::vector<std::wstring>& words, CommandHost& host);
// The same, on a thread where nobody may be asked anything: a box that shared code raises meanwhile becomes a
// line of the answer (after a success; a failure keeps its one line).
CommandAnswer RunCommandQuietly(const std::vector<std::wstring>& words, CommandHost& host);

// The text of marlowick.com's help.
std::vector<std::wstring> UsageLines();

// The file names among the words (of export, import, add's program and /folder) made full paths, as marlowick.com
// sees them from its current folder, so that a running Marlowick, whose current folder is its own, finds the same
// files. A program that names no file here (a window title, a program found by the shell) stays as it is.
std::vector<std::wstring> WithFullPaths(std::vector<std::wstring> words);

// What exit answers when no Marlowick runs.
inline constexpr wchar_t kNotRunning[] = L"Marlowick is not running.";

// The prefix of the copy that import /replace keeps of the profile.
inline constexpr wchar_t kBeforeImportPrefix[] = L"Profile.before-import-";

}  // namespace cli
