// A console program for the tests to stop: it has no window, only its console.
//
//   --record FILE        appends "start <pid>" once it is ready for Ctrl+C, "ctrl <event>" for each console event
//                        it takes and "exit <pid>" when it ends by itself
//   --on-ctrl-c ACTION   exit: Ctrl+C and Ctrl+Break end it, with exit code 3; ignore (default): it takes them and
//                        runs on. Whether Ctrl+C reaches it at all is left as it started: off for the leader
//                        of a new process group
//   --lifetime MS        ends by itself after MS milliseconds (default 120000), so that nothing outlives a test
#include "RecordLine.h"

#include <windows.h>

#include <string>

namespace {

std::wstring g_record;
bool g_exitOnCtrlC = false;
HANDLE g_stopEvent = nullptr;

void Record(const std::wstring& line) {
    testing_support::AppendRecordLine(g_record, line);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    Record(L"ctrl " + std::to_wstring(event));
    if (g_exitOnCtrlC && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
        ::SetEvent(g_stopEvent);
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD lifetime = 120000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring arg = argv[i];
        if (arg == L"--record") {
            g_record = argv[i + 1];
        } else if (arg == L"--on-ctrl-c") {
            g_exitOnCtrlC = std::wstring(argv[i + 1]) == L"exit";
        } else if (arg == L"--lifetime") {
            lifetime = static_cast<DWORD>(_wtoi(argv[i + 1]));
        }
    }
    g_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    Record(L"start " + std::to_wstring(::GetCurrentProcessId()));
    const bool asked = ::WaitForSingleObject(g_stopEvent, lifetime) == WAIT_OBJECT_0;
    Record(L"exit " + std::to_wstring(::GetCurrentProcessId()));
    return asked ? 3 : 0;
}
