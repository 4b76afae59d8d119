#pragma once
// marlowick.com: hands a command to the running Marlowick, or carries it out on the profile when none runs.
#include "cli/Commands.h"

#include <string>
#include <vector>

namespace cli {

// Carries the command out on the profile with a task service of its own, which starts and stops programs as
// Marlowick does but runs no task by its time. The caller holds the profile's writer lock.
CommandAnswer RunOnProfile(const std::vector<std::wstring>& words);

// The whole of marlowick.com: the words of its command line (without the program's name) in, the exit code out.
int CompanionMain(std::vector<std::wstring> words);

}  // namespace cli
