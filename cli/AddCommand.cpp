#include "cli/AddCommand.h"

#include "core/AsciiCase.h"
#include "core/TaskOptions.h"
#include "core/TaskTime.h"

#include <windows.h>

#include <set>

namespace cli {
namespace {

using Refusal = std::optional<std::wstring>;

constexpr wchar_t kAddUsage[] =
    L"Usage: marlowick add <program> <Start|Stop> <HH:MM:SS> [/days Mon,Tue,...] "
    L"[/args <text>] [/folder <path>] [/every <minutes>] [/until <HH:MM:SS>] "
    L"[/date <YYYY-MM-DD>] [/disabled] [/runifmissed]";

// The time of day in the user's locale format, as the Task Option dialog stores its picker's time: today's date
// with the hour, minute and second, the time of day alone formatted.
std::wstring LocaleTimeText(int secondOfDay) {
    SYSTEMTIME time{};
    ::GetLocalTime(&time);
    time.wHour = static_cast<WORD>(secondOfDay / 3600);
    time.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondOfDay % 60);
    time.wMilliseconds = 0;
    return core::FormatTaskTime(core::DateTimeValue::FromSystemTime(time));
}

// Takes one option with its value (value is empty for a switch).
Refusal TakeOption(const std::wstring& name, const std::wstring& value, core::Task& task) {
    if (name == L"/days") {
        const std::optional<core::DayMask> days = core::ParseDays(value);
        if (!days || *days == 0 || value.find_first_not_of(L" ,") == std::wstring::npos) {
            return L"/days takes day names joined by commas, such as Mon,Tue,Fri: " + value;
        }
        task.days = core::FormatDays(*days);
    } else if (name == L"/args") {
        task.arguments = value;
    } else if (name == L"/folder") {
        task.folder = value;
    } else if (name == L"/every") {
        if (!core::ParseEvery(value)) {
            return L"/every takes whole minutes from 1 to 1440: " + value;
        }
        task.every = value;
    } else if (name == L"/until") {
        if (!core::ParseTime24(value)) {
            return L"/until takes a 24-hour time written HH:MM:SS: " + value;
        }
        task.until = value;
    } else if (name == L"/date") {
        if (!core::ParseDate(value)) {
            return L"/date takes a date written YYYY-MM-DD: " + value;
        }
        task.date = value;
    } else if (name == L"/disabled") {
        task.enabled = false;
    } else if (name == L"/runifmissed") {
        task.runIfMissed = true;
    }
    return std::nullopt;
}

bool IsSwitch(const std::wstring& name) {
    return name == L"/disabled" || name == L"/runifmissed";
}

bool IsOption(const std::wstring& name) {
    static const std::set<std::wstring> kValued = {L"/days", L"/args", L"/folder", L"/every", L"/until", L"/date"};
    return IsSwitch(name) || kValued.contains(name);
}

Refusal TakeOptions(const std::vector<std::wstring>& words, core::Task& task) {
    std::set<std::wstring> seen;
    for (size_t i = 4; i < words.size(); ++i) {
        const std::wstring name = core::AsciiLower(words[i]);
        if (!IsOption(name)) {
            return L"Unknown option " + words[i] + L". " + kAddUsage;
        }
        if (!seen.insert(name).second) {
            return L"The option " + words[i] + L" is given twice.";
        }
        std::wstring value;
        if (!IsSwitch(name)) {
            if (i + 1 >= words.size()) {
                return L"The option " + words[i] + L" needs a value.";
            }
            value = words[++i];
        }
        if (Refusal refused = TakeOption(name, value, task)) {
            return refused;
        }
    }
    return std::nullopt;
}

// The repeat ends after the task's own time, as the Task Option dialog requires.
Refusal CheckRepeat(const core::Task& task, int secondOfDay) {
    if (task.until.empty()) {
        return std::nullopt;
    }
    if (task.every.empty()) {
        return std::wstring(L"/until needs /every: it ends a repeat.");
    }
    if (*core::ParseTime24(task.until) <= secondOfDay) {
        return L"/until " + task.until + L" must be later than the task's time.";
    }
    return std::nullopt;
}

}  // namespace

Refusal ReadAddWords(const std::vector<std::wstring>& words, core::Task& task) {
    if (words.size() < 4) {
        return std::wstring(kAddUsage);
    }
    if (words[1].empty()) {
        return std::wstring(L"The program is empty.");
    }
    task.program = words[1];
    const std::wstring action = core::AsciiLower(words[2]);
    if (action != L"start" && action != L"stop") {
        return L"The action is Start or Stop, not " + words[2] + L".";
    }
    task.action = action == L"start" ? L"Start" : L"Stop";
    const std::optional<int> second = core::ParseTime24(words[3]);
    if (!second) {
        return L"The time is a 24-hour time written HH:MM:SS, not " + words[3] + L".";
    }
    task.time = LocaleTimeText(*second);
    if (Refusal refused = TakeOptions(words, task)) {
        return refused;
    }
    return CheckRepeat(task, *second);
}

}  // namespace cli
