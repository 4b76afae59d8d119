#pragma once
// Starts the helper program (mwhelper.exe, beside the test executable) and watches it.
#include "framework/Handle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// The folder of the running test executable, with a trailing backslash.
std::wstring ExecutableFolder();
// Full path of mwhelper.exe.
std::wstring HelperPath();
// Full path of mwconsole.exe, the console helper.
std::wstring ConsoleHelperPath();
// A fresh, empty file path in the temporary folder.
std::wstring TempFilePath(const std::wstring& stem);
// The bytes of a file; empty when it does not exist or cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// Replaces the file with exactly these bytes; false when it cannot be written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The full paths of the copies of a damaged profile kept in this folder (Profile.damaged-*.txt), sorted.
std::vector<std::wstring> DamagedCopies(const std::wstring& folder);
// The lines of a UTF-8 text file; empty when it does not exist.
std::vector<std::wstring> ReadLines(const std::wstring& path);

// One started process; terminated when the object goes, if it still runs.
class HelperProcess {
public:
    // Starts exe (mwhelper.exe when empty) with the arguments, quoted as needed, and CreateProcess's flags.
    explicit HelperProcess(const std::vector<std::wstring>& args,
                           const std::wstring& exe = {},
                           DWORD creationFlags = 0);
    HelperProcess(HelperProcess&&) = default;
    ~HelperProcess();

    bool Started() const { return static_cast<bool>(m_process); }
    // Why the process could not be started; 0 when it was.
    DWORD StartError() const { return m_startError; }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process.Get(); }
    bool IsRunning() const;
    // Waits up to the time for the process to end; its exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD milliseconds) const;
    void Kill() const;

private:
    fw::UniqueHandle m_process;
    DWORD m_id = 0;
    DWORD m_startError = 0;
};

// Waits until a top-level window with this title exists and, when another process owns it, until that process
// waits for input (it has made and shown its windows); the window, or null after the time.
HWND WaitForWindow(const std::wstring& title, DWORD milliseconds = 10000);
// Waits until a window with this title (and class, when given) is visible and its thread has come back to its
// message loop, so that its initialisation is over: its fields are filled and its controls set. A window that
// merely exists may still be inside its initialisation. The window, or null after the time.
HWND WaitForReadyWindow(const std::wstring& title, DWORD milliseconds = 10000, const wchar_t* windowClass = nullptr);
// Waits until the predicate holds, pumping this thread's messages meanwhile.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (predicate()) {
            return true;
        }
        if (::GetTickCount() - start >= milliseconds) {
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

}  // namespace testing_support
