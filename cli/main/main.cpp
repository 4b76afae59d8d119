// marlowick.com's entry point: a console program beside marlowick.exe, which cmd and PowerShell run for
// "marlowick" and wait for.
#include "cli/Companion.h"

#include <exception>

int wmain(int argc, wchar_t** argv) {
    try {
        return cli::CompanionMain(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::exception&) {
        return cli::kExitFailed;
    }
}
