#include "helpers/HelperProcess.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

namespace testing_support {
namespace {

std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') {
            quoted += L'\\';
        }
        quoted += c;
    }
    return quoted + L"\"";
}

}  // namespace

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring HelperPath() {
    return ExecutableFolder() + L"mwhelper.exe";
}

std::wstring TempFilePath(const std::wstring& stem) {
    static std::atomic<int> counter{0};
    wchar_t folder[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + stem + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++) + L".txt";
    ::DeleteFileW(path.c_str());
    return path;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return bytes;
    }
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    fw::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::vector<std::wstring> DamagedCopies(const std::wstring& folder) {
    std::vector<std::wstring> copies;
    WIN32_FIND_DATAW found{};
    fw::UniqueFind search(::FindFirstFileW((folder + L"\\Profile.damaged-*.txt").c_str(), &found));
    if (search) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                copies.push_back(folder + L"\\" + found.cFileName);
            }
        } while (::FindNextFileW(search.Get(), &found));
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    const std::string bytes = ReadFileBytes(path);
    std::istringstream stream(bytes);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const int size = ::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(size), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(), size);
        lines.push_back(wide);
    }
    return lines;
}

std::wstring ConsoleHelperPath() {
    return ExecutableFolder() + L"mwconsole.exe";
}

HelperProcess::HelperProcess(const std::vector<std::wstring>& args, const std::wstring& exe, DWORD creationFlags) {
    const std::wstring program = exe.empty() ? HelperPath() : exe;
    std::wstring command = Quote(program);
    for (const std::wstring& arg : args) {
        command += L" " + Quote(arg);
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Under Wine a start has been seen to fail now and then on a busy machine, for no reason a test can act
    // on: it is tried again. A start that keeps failing keeps its error for the test to show.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                             &si, &pi)) {
            ::CloseHandle(pi.hThread);
            m_process.Reset(pi.hProcess);
            m_id = pi.dwProcessId;
            m_startError = 0;
            return;
        }
        m_startError = ::GetLastError();
        ::Sleep(100);
    }
}

HelperProcess::~HelperProcess() {
    if (m_process && IsRunning()) {
        Kill();
    }
}

bool HelperProcess::IsRunning() const {
    return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

DWORD HelperProcess::WaitForExit(DWORD milliseconds) const {
    ::WaitForSingleObject(m_process.Get(), milliseconds);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void HelperProcess::Kill() const {
    ::TerminateProcess(m_process.Get(), 99);
    ::WaitForSingleObject(m_process.Get(), 5000);
}

HWND WaitForWindow(const std::wstring& title, DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = ::FindWindowW(nullptr, title.c_str())) != nullptr; }, milliseconds)) {
        return nullptr;
    }
    // A window is found while it is being created, before it shows. Another program's window is ready once
    // that program waits for input: it has made and shown all its windows by then.
    DWORD processId = 0;
    ::GetWindowThreadProcessId(found, &processId);
    if (processId != ::GetCurrentProcessId()) {
        fw::UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId));
        const DWORD spent = ::GetTickCount() - start;
        if (!process || ::WaitForInputIdle(process.Get(), milliseconds > spent ? milliseconds - spent : 1) != 0) {
            return nullptr;
        }
    }
    return found;
}

HWND WaitForReadyWindow(const std::wstring& title, DWORD milliseconds, const wchar_t* windowClass) {
    const DWORD start = ::GetTickCount();
    HWND found = nullptr;
    if (!WaitUntil(
            [&] {
                found = ::FindWindowW(windowClass, title.c_str());
                return found && ::IsWindowVisible(found);
            },
            milliseconds)) {
        return nullptr;
    }
    // A sent message is handled only when the window's thread looks at its queue again, which a dialog does
    // once its initialisation has returned.
    const DWORD spent = ::GetTickCount() - start;
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds > spent ? milliseconds - spent : 1,
                               &ignored)) {
        return nullptr;
    }
    return found;
}

}  // namespace testing_support
