#include "control/ProgramStart.h"

#include "framework/Handle.h"

#include <windows.h>
#include <shellapi.h>

namespace control {

void StartProgram(const std::wstring& program) {
    fw::IgnoreResult(::ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

}  // namespace control
