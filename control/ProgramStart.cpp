#include "control/ProgramStart.h"

#include "framework/Handle.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <system_error>
#include <thread>

namespace control {

void StartProgram(const std::wstring& program) {
    fw::IgnoreResult(::ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

void StartProgramInBackground(const std::wstring& program) {
    // Detached: nobody waits for a start, and a shell that never returns must not hold up the exit.
    try {
        std::thread([program] {
            // Shell extensions expect a single-threaded apartment.
            const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            StartProgram(program);
            if (SUCCEEDED(com)) {
                ::CoUninitialize();
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: a late start is better than none.
        StartProgram(program);
    }
}

}  // namespace control
