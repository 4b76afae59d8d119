// Records the moment it starts: appends "<its own file name> <system time in 100-ns units>" to the file
// that MWBENCH_STAMPS names, then ends. The bench starts copies of it under different names, directly or
// through Marlowick's tasks, and reads from the record how long each start took.
#include "bench/Clock.h"
#include "framework/Handle.h"

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The clock is read first: everything after it is this program's own cost, not the start's.
    const long long started = bench::NowTicks();
    wchar_t record[MAX_PATH]{};
    const DWORD length = ::GetEnvironmentVariableW(L"MWBENCH_STAMPS", record, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    wchar_t self[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring name = self;
    name = name.substr(name.find_last_of(L'\\') + 1);
    const std::wstring line = name + L" " + std::to_wstring(started) + L"\r\n";
    const std::string bytes(line.begin(), line.end());  // the names are ASCII

    fw::UniqueFile file(::CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 2;
    }
    DWORD written = 0;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ? 0 : 3;
}
