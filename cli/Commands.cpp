#include "cli/Commands.h"

#include "cli/AddCommand.h"

#include "control/RunResult.h"
#include "core/AsciiCase.h"
#include "core/Profile.h"
#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace cli {

bool IsWord(const std::wstring& word, const wchar_t* name) {
    return core::AsciiLower(word) == name;
}
namespace {

using core::Task;
using core::TaskId;

// A task id as the list prints it; empty for anything else.
std::optional<TaskId> IdArgument(const std::vector<std::wstring>& words) {
    return words.size() == 2 ? core::ParseTaskId(words[1]) : std::nullopt;
}

CommandAnswer NoSuchTask(const std::wstring& word) {
    return CommandAnswer::Failure(L"There is no task with the Id " + word + L".");
}

CommandAnswer NeedsId(const std::wstring& command) {
    return CommandAnswer::Failure(L"Usage: marlowick " + command +
                                  L" <Id>  (the Ids are in the first column of "
                                  L"marlowick list).");
}

// "2026-12-24 18:30:00" of a local second on the file-time scale.
std::wstring LocalText(long long seconds) {
    const std::optional<SYSTEMTIME> time = core::FromSeconds(seconds);
    if (!time) {
        return L"never";
    }
    return core::FormatDate(seconds) + L" " +
           core::FormatTime24(time->wHour * 3600 + time->wMinute * 60 + time->wSecond);
}

// The local second after which the next run is looked for: now.
long long NowLocal() {
    return core::ToSeconds(core::SystemClock().local).value_or(0);
}

// Disabled, its time or days unreadable, or its date past: it never runs.
std::wstring NextRunText(const core::TaskRow& row, long long nowLocal) {
    const std::optional<long long> next = core::NextRunOf(row, nowLocal);
    return next ? LocalText(*next) : L"never";
}

// The time as the 24-hour "HH:MM:SS" that add takes; the stored text itself when it names no time.
std::wstring TimeText(const std::wstring& stored) {
    const int second = core::SecondOfDay(core::ParseTaskTime(stored));
    return second < 0 ? stored : core::FormatTime24(second);
}

std::wstring DaysText(const std::wstring& stored) {
    const std::optional<core::DayMask> days = core::ParseDays(stored);
    return days && *days == core::kEveryDay ? L"every day" : stored;
}

std::wstring RepeatText(const Task& task) {
    if (task.every.empty()) {
        return L"once";
    }
    return L"every " + task.every + L" min until " + (task.until.empty() ? L"end of day" : task.until);
}

std::wstring ListLine(const core::TaskRow& row, long long nowLocal) {
    const Task& task = row.task;
    const std::wstring fields[] = {
        std::to_wstring(task.id),
        task.program,
        task.action,
        TimeText(task.time),
        DaysText(task.days),
        task.enabled ? L"enabled" : L"disabled",
        RepeatText(task),
        task.date.empty() ? L"any date" : task.date,
        task.lastRun ? core::FormatUtc(*task.lastRun) : L"never",
        NextRunText(row, nowLocal),
    };
    std::wstring line;
    for (const std::wstring& field : fields) {
        if (&field != &fields[0]) {
            line += L'\t';
        }
        // A tab inside a field would split it in two for whoever reads the columns.
        for (const wchar_t c : field) {
            line += c == L'\t' ? L' ' : c;
        }
    }
    return line;
}

CommandAnswer List(CommandHost& host) {
    const long long now = NowLocal();
    CommandAnswer answer;
    for (const TaskId id : host.service.Tasks().Ids()) {
        // A task removed meanwhile is not listed.
        if (const std::optional<core::TaskRow> row = host.service.Tasks().Find(id)) {
            answer.lines.push_back(ListLine(*row, now));
        }
    }
    return answer;
}

// After a change: the change is in the list, and in the profile unless its write failed.
CommandAnswer Changed(CommandHost& host, std::vector<std::wstring> lines = {}) {
    if (host.service.SavePending()) {
        return CommandAnswer::Failure(
            L"The change is made, but the profile could not be written: it is written "
            L"again later.");
    }
    return {kExitOk, std::move(lines)};
}

CommandAnswer Add(const std::vector<std::wstring>& words, CommandHost& host) {
    Task task;
    if (const std::optional<std::wstring> refused = ReadAddWords(words, task)) {
        return CommandAnswer::Failure(*refused);
    }
    const TaskId id = host.service.Add(task);
    return Changed(host, {std::to_wstring(id)});
}

CommandAnswer RemoveOrEnable(const std::vector<std::wstring>& words, CommandHost& host) {
    const std::optional<TaskId> id = IdArgument(words);
    if (!id) {
        return NeedsId(words[0]);
    }
    const bool done = IsWord(words[0], L"remove")   ? host.service.Remove(*id)
                      : IsWord(words[0], L"enable") ? host.service.SetEnabled(*id, true)
                                                    : host.service.SetEnabled(*id, false);
    return done ? Changed(host) : NoSuchTask(words[1]);
}

// A run that did not do what its task asks: the program did not start, or is not known to have stopped.
bool RunFailed(const std::wstring& result) {
    const std::wstring startFailed = control::StartFailedResult(ERROR_FILE_NOT_FOUND);
    return result.starts_with(startFailed.substr(0, startFailed.find(L':') + 1)) || result == control::kRunNotFound ||
           result == control::kRunCouldNotOpen || result == control::kRunStillRunning;
}

CommandAnswer Run(const std::vector<std::wstring>& words, CommandHost& host) {
    const std::optional<TaskId> id = IdArgument(words);
    if (!id) {
        return NeedsId(words[0]);
    }
    // Taken before the run, so that only this run's result answers.
    const unsigned long long mark = host.results.Mark();
    if (!host.service.RunNow(*id)) {
        return NoSuchTask(words[1]);
    }
    const std::optional<std::wstring> result = host.results.Wait(*id, mark);
    if (!result) {
        return CommandAnswer::Failure(L"Marlowick is exiting: the result of the run is not known.");
    }
    return {RunFailed(*result) ? kExitFailed : kExitOk, {*result}};
}

CommandAnswer Export(const std::vector<std::wstring>& words, CommandHost& host) {
    if (words.size() != 2) {
        return CommandAnswer::Failure(L"Usage: marlowick export <file>");
    }
    if (!core::WriteTaskFile(words[1], host.service.Tasks().AllTasks())) {
        return CommandAnswer::Failure(L"Cannot write the file " + words[1] + L".");
    }
    return {};
}

CommandAnswer Import(const std::vector<std::wstring>& words, CommandHost& host) {
    const bool replace = words.size() == 3 && IsWord(words[2], L"/replace");
    if (words.size() != 2 && !replace) {
        return CommandAnswer::Failure(L"Usage: marlowick import <file> [/replace]");
    }
    const std::optional<std::vector<Task>> tasks = core::ReadTaskFile(words[1]);
    if (!tasks) {
        return CommandAnswer::Failure(L"Cannot read tasks from the file " + words[1] + L".");
    }
    if (!replace) {
        host.service.AddTasks(*tasks);
        return Changed(host);
    }
    // The tasks replaced can always be had back.
    const std::wstring copy = core::KeepProfileCopy(kBeforeImportPrefix);
    if (copy.empty()) {
        return CommandAnswer::Failure(L"Cannot keep a copy of the profile, so nothing was replaced.");
    }
    host.service.ReplaceTasks(*tasks);
    return Changed(host, {L"The former profile is kept as " + copy});
}

// The history's fields are separated by tabs; the second is the task's Id.
bool HistoryOf(const std::wstring& line, const std::wstring& id) {
    const size_t first = line.find(L'\t');
    if (first == std::wstring::npos) {
        return false;
    }
    const size_t second = line.find(L'\t', first + 1);
    return line.substr(first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1) == id;
}

CommandAnswer History(const std::vector<std::wstring>& words, CommandHost& host) {
    if (words.size() > 2 || (words.size() == 2 && !IdArgument(words))) {
        return CommandAnswer::Failure(L"Usage: marlowick history [<Id>]");
    }
    CommandAnswer answer;
    for (std::wstring& line : host.historyLines()) {
        if (words.size() == 1 || HistoryOf(line, std::to_wstring(*IdArgument(words)))) {
            answer.lines.push_back(std::move(line));
        }
    }
    return answer;
}

CommandAnswer Exit(const std::vector<std::wstring>& words, CommandHost& host) {
    if (words.size() != 1) {
        return CommandAnswer::Failure(L"Usage: marlowick exit");
    }
    if (!host.requestExit) {
        return CommandAnswer::Failure(kNotRunning);
    }
    host.requestExit();
    return {};
}

}  // namespace

CommandAnswer RunCommand(const std::vector<std::wstring>& words, CommandHost& host) {
    using Handler = CommandAnswer (*)(const std::vector<std::wstring>&, CommandHost&);
    static const std::map<std::wstring, Handler> kCommands = {
        {L"list",
         [](const std::vector<std::wstring>& w, CommandHost& h) {
             return w.size() == 1 ? List(h) : CommandAnswer::Failure(L"Usage: marlowick list");
         }},
        {L"add", &Add},
        {L"remove", &RemoveOrEnable},
        {L"enable", &RemoveOrEnable},
        {L"disable", &RemoveOrEnable},
        {L"run", &Run},
        {L"export", &Export},
        {L"import", &Import},
        {L"history", &History},
        {L"exit", &Exit},
    };
    if (words.empty()) {
        return {kExitFailed, UsageLines()};
    }
    const auto found = kCommands.find(core::AsciiLower(words[0]));
    if (found == kCommands.end()) {
        return CommandAnswer::Failure(L"Unknown command " + words[0] + L": marlowick /? lists the commands.");
    }
    return found->second(words, host);
}

}  // namespace cli

namespace cli {

std::vector<std::wstring> UsageLines() {
    return {
        L"Marlowick's command line. While Marlowick runs, each command goes to it; otherwise it works on the profile.",
        L"",
        L"  marlowick list                       one line per task: Id, program, action, time, days, enabled,",
        L"                                       repeat, date, last run (UTC), next run (local), tab-separated",
        L"  marlowick add <program> <Start|Stop> <HH:MM:SS> [options]   adds a task and prints its Id",
        L"      /days Mon,Tue,...  /args <text>  /folder <path>  /every <minutes>  /until <HH:MM:SS>",
        L"      /date <YYYY-MM-DD>  /disabled  /runifmissed",
        L"  marlowick remove <Id>                removes the task",
        L"  marlowick enable <Id>                enables the task",
        L"  marlowick disable <Id>               disables the task",
        L"  marlowick run <Id>                   runs the task now and prints what came of it",
        L"  marlowick export <file>              writes the tasks to the file",
        L"  marlowick import <file> [/replace]   adds the file's tasks, or replaces every task with them",
        L"  marlowick import <file> /first       adds the file's tasks only when there is no profile yet",
        L"  marlowick history [<Id>]             prints the history of runs, oldest first",
        L"  marlowick exit                       asks the running Marlowick to save and exit",
        L"  marlowick logon [on|off]             starts Marlowick at your logon, or no longer; alone, says which",
        L"",
        L"Exit codes: 0 done, 1 refused or failed (nothing changed), 2 Marlowick could not be reached.",
    };
}

namespace {

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return full;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::vector<std::wstring> WithFullPaths(std::vector<std::wstring> words) {
    if (words.size() >= 2 && (IsWord(words[0], L"export") || IsWord(words[0], L"import"))) {
        words[1] = FullPath(words[1]);
    }
    if (words.empty() || !IsWord(words[0], L"add")) {
        return words;
    }
    if (words.size() >= 2 && !words[1].empty() && Exists(words[1])) {
        words[1] = FullPath(words[1]);
    }
    for (size_t i = 4; i + 1 < words.size(); ++i) {
        if (IsWord(words[i], L"/folder")) {
            words[i + 1] = FullPath(words[i + 1]);
        }
    }
    return words;
}

}  // namespace cli

namespace cli {

CommandAnswer RunCommandQuietly(const std::vector<std::wstring>& words, CommandHost& host) {
    std::vector<std::wstring> messages;
    CommandAnswer answer;
    {
        const fw::MessageBoxRedirect quiet([&messages](const std::wstring& text, UINT type) {
            messages.push_back(core::OneLine(text));
            // Nobody is there to agree: a question is answered no.
            return (type & MB_TYPEMASK) == MB_OK ? IDOK : (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
        });
        answer = RunCommand(words, host);
    }
    if (answer.exitCode == kExitOk) {
        answer.lines.insert(answer.lines.end(), messages.begin(), messages.end());
    }
    return answer;
}

}  // namespace cli
