#include "bench/Probe.h"

#include "helpers/HelperProcess.h"
#include "res/resource.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {
namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s.processId) {
                s.found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512]{};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &copied);
    return text;
}

bool IsDialog(HWND hwnd) {
    wchar_t name[16]{};
    ::GetClassNameW(hwnd, name, 16);
    return std::wstring(name) == L"#32770" && ::IsWindowVisible(hwnd);
}

// Memory allocated in another process for the messages whose arguments point to memory.
class RemoteMemory {
public:
    RemoteMemory(DWORD processId, size_t size)
        : m_process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId)) {
        if (m_process) {
            m_address = ::VirtualAllocEx(m_process.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    ~RemoteMemory() {
        if (m_address) {
            ::VirtualFreeEx(m_process.Get(), m_address, 0, MEM_RELEASE);
        }
    }

    void* Address() const { return m_address; }
    bool Write(const void* data, size_t size) const {
        SIZE_T written = 0;
        return m_address && ::WriteProcessMemory(m_process.Get(), m_address, data, size, &written) && written == size;
    }

private:
    fw::UniqueHandle m_process;
    void* m_address = nullptr;
};

}  // namespace

bool RunsUnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

Stopwatch::Stopwatch() {
    ::QueryPerformanceCounter(&m_start);
}

double Stopwatch::Ms() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND FindMainWindow(DWORD processId) {
    for (HWND hwnd : TopLevelWindowsOf(processId)) {
        if (::GetDlgItem(hwnd, IDC_TASK_LIST) && ::IsWindowVisible(hwnd)) {
            return hwnd;
        }
    }
    return nullptr;
}

std::optional<double> WaitForMainWindow(DWORD processId, const Stopwatch& since, DWORD milliseconds, HWND& window) {
    window = nullptr;
    // Polled often: the figure is the time to this moment, so the poll's own step is its error.
    while (since.Ms() < milliseconds) {
        if ((window = FindMainWindow(processId)) != nullptr) {
            return since.Ms();
        }
        ::Sleep(2);
    }
    return std::nullopt;
}

std::optional<double> AnswerMs(HWND window, DWORD timeoutMs) {
    const Stopwatch watch;
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result)) {
        return std::nullopt;
    }
    return watch.Ms();
}

double LongestAnswerMs(HWND window, DWORD periodMs, DWORD timeoutMs) {
    const Stopwatch watch;
    double longest = 0;
    while (watch.Ms() < periodMs) {
        longest = std::max(longest, AnswerMs(window, timeoutMs).value_or(static_cast<double>(timeoutMs)));
        ::Sleep(20);
    }
    return longest;
}

std::optional<double> WorkingSetMb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(process, &counters, sizeof counters) || counters.WorkingSetSize == 0) {
        return std::nullopt;
    }
    return static_cast<double>(counters.WorkingSetSize) / 1e6;
}

double ProcessTimesSeconds(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

double ProcThreadsSeconds(const std::wstring& procFolder) {
    // The first field of each thread's schedstat is its time on a processor, in nanoseconds.
    double seconds = 0;
    WIN32_FIND_DATAW found{};
    fw::UniqueFind search(::FindFirstFileW((procFolder + L"\\task\\*").c_str(), &found));
    if (!search) {
        return 0;
    }
    do {
        if (found.cFileName[0] == L'.') {
            continue;
        }
        const std::string stat =
            testing_support::ReadFileBytes(procFolder + L"\\task\\" + found.cFileName + L"\\schedstat");
        seconds += std::strtod(stat.c_str(), nullptr) / 1e9;
    } while (::FindNextFileW(search.Get(), &found));
    return seconds;
}

std::wstring FindProcFolder(const std::wstring& commandLine) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, commandLine.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string wanted(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, commandLine.c_str(), -1, wanted.data(), size, nullptr, nullptr);
    WIN32_FIND_DATAW found{};
    fw::UniqueFind search(::FindFirstFileW(L"Z:\\proc\\*", &found));
    if (!search || wanted.empty()) {
        return {};
    }
    do {
        const std::wstring name = found.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        const std::wstring folder = L"Z:\\proc\\" + name;
        // The program itself, not one that names it among its arguments (the bench does).
        const std::string line = testing_support::ReadFileBytes(folder + L"\\cmdline");
        if (line.starts_with(wanted) || line.starts_with("\"" + wanted)) {
            return folder;
        }
    } while (::FindNextFileW(search.Get(), &found));
    return {};
}

CpuMeter::CpuMeter(HANDLE process, const std::wstring& commandLine) : m_process(process) {
    // Only under Wine, whose own count of another process does not move: on Windows it is exact.
    if (RunsUnderWine()) {
        m_procFolder = FindProcFolder(commandLine);
    }
}

double CpuMeter::Seconds() const {
    return m_procFolder.empty() ? ProcessTimesSeconds(m_process) : ProcThreadsSeconds(m_procFolder);
}

HWND FindMessageBox(DWORD processId, const std::wstring& textPrefix) {
    for (HWND hwnd : TopLevelWindowsOf(processId)) {
        HWND text = ::GetDlgItem(hwnd, kMessageBoxTextId);
        if (text && IsDialog(hwnd) && TextOf(text).starts_with(textPrefix)) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND FindDialog(DWORD processId, const std::wstring& caption) {
    for (HWND hwnd : TopLevelWindowsOf(processId)) {
        if (!::GetDlgItem(hwnd, kMessageBoxTextId) && IsDialog(hwnd) && TextOf(hwnd) == caption) {
            return hwnd;
        }
    }
    return nullptr;
}

bool SelectOnlyRow(DWORD processId, HWND list, int row) {
    RemoteMemory memory(processId, sizeof(LVITEMW));
    const auto setState = [&](int index, UINT state) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        DWORD_PTR result = 0;
        return memory.Write(&item, sizeof item) &&
               ::SendMessageTimeoutW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(memory.Address()), SMTO_NORMAL, 10000, &result) &&
               result != 0;
    };
    // Index -1 clears every row.
    return setState(-1, 0) && setState(row, LVIS_SELECTED | LVIS_FOCUSED);
}

bool SetRemoteDateTime(DWORD processId, HWND picker, const SYSTEMTIME& time) {
    RemoteMemory memory(processId, sizeof time);
    DWORD_PTR result = 0;
    return memory.Write(&time, sizeof time) &&
           ::SendMessageTimeoutW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(memory.Address()),
                                 SMTO_NORMAL, 10000, &result) &&
           result != 0;
}

std::map<int, std::vector<long long>> ParseStamps(const std::vector<std::wstring>& lines) {
    std::map<int, std::vector<long long>> starts;
    for (const std::wstring& line : lines) {
        int index = -1;
        long long ticks = 0;
        wchar_t rest = 0;
        if (std::swscanf(line.c_str(), L"stamp-%d.exe %lld%lc", &index, &ticks, &rest) == 2 && index >= 0) {
            starts[index].push_back(ticks);
        }
    }
    // Two copies that start together may append in either order.
    for (auto& [index, moments] : starts) {
        std::sort(moments.begin(), moments.end());
    }
    return starts;
}

SuspendedThread::SuspendedThread(DWORD threadId) : m_thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId)) {
    m_suspended = m_thread && ::SuspendThread(m_thread.Get()) != static_cast<DWORD>(-1);
}

SuspendedThread::~SuspendedThread() {
    Resume();
}

void SuspendedThread::Resume() {
    if (m_suspended) {
        ::ResumeThread(m_thread.Get());
        m_suspended = false;
    }
}

}  // namespace bench
