#pragma once
// What the bench does to and reads from another program's windows and process: finding its main window,
// timing its answers, its processor time, selecting a row of its list, and holding its window up.
#include "framework/Handle.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// Milliseconds since construction, on the performance counter.
class Stopwatch {
public:
    Stopwatch();
    double Ms() const;

private:
    LARGE_INTEGER m_start{};
};

// The visible top-level window of the process that holds the task list control; null when there is none.
HWND FindMainWindow(DWORD processId);
// Waits for that window; the milliseconds on the stopwatch when it showed, or nothing after the time.
std::optional<double> WaitForMainWindow(DWORD processId, const Stopwatch& since, DWORD milliseconds, HWND& window);

// The time the window takes to answer a sent WM_NULL, or nothing when it did not answer in time.
std::optional<double> AnswerMs(HWND window, DWORD timeoutMs);
// The longest answer time while pinging the window for the period; a ping without answer counts as its
// time-out.
double LongestAnswerMs(HWND window, DWORD periodMs, DWORD timeoutMs);

// True under Wine, which implements some calls differently from Windows.
bool RunsUnderWine();

// The processor time (user and kernel) a process has used. Wine's GetProcessTimes tells nothing about
// another process, so under Wine the meter reads the Linux threads of the process from /proc (drive Z:),
// found by the command line the process was started with.
class CpuMeter {
public:
    CpuMeter(HANDLE process, const std::wstring& commandLine);

    // The seconds used so far.
    double Seconds() const;
    // Whether the meter reads /proc rather than the platform's own count.
    bool ReadsProc() const { return !m_procFolder.empty(); }

private:
    // Not owned: whoever started the process holds it for longer than the meter lives.
    HANDLE m_process;
    std::wstring m_procFolder;
};

// The working set of another process, in megabytes (10^6 bytes), or nothing when it cannot be read. Under Wine
// it is the resident size of the Linux process: the pages of Wine's own libraries that it has touched count too,
// as they would for any program on that machine.
std::optional<double> WorkingSetMb(HANDLE process);

// What the platform itself counts for the process, in seconds.
double ProcessTimesSeconds(HANDLE process);
// The processor time of a Linux process, in seconds: the sum of its threads' times in /proc, given the
// process's folder there (Z:\proc\<pid>).
double ProcThreadsSeconds(const std::wstring& procFolder);
// The /proc folder of the Linux process whose command line holds this text; empty when there is none.
std::wstring FindProcFolder(const std::wstring& commandLine);

// A visible dialog box of the process whose message text begins with the prefix; null when there is none.
HWND FindMessageBox(DWORD processId, const std::wstring& textPrefix);
// A visible dialog of the process with this caption that is not a message box; null when there is none.
HWND FindDialog(DWORD processId, const std::wstring& caption);

// Makes the row the only selected one in a list view of another process. False when that failed.
bool SelectOnlyRow(DWORD processId, HWND list, int row);

// Sets a date-time picker of another process. False when that failed.
bool SetRemoteDateTime(DWORD processId, HWND picker, const SYSTEMTIME& time);

// The starts that the recorder copies (stamp-<n>.exe) wrote into their record: for each copy's number, the
// moments it started, earliest first. Lines of anything else are passed over.
std::map<int, std::vector<long long>> ParseStamps(const std::vector<std::wstring>& lines);

// Keeps a thread of another process suspended for as long as it lives.
class SuspendedThread {
public:
    explicit SuspendedThread(DWORD threadId);
    SuspendedThread(const SuspendedThread&) = delete;
    SuspendedThread& operator=(const SuspendedThread&) = delete;
    ~SuspendedThread();

    bool Suspended() const { return m_suspended; }
    // Lets the thread run again before the object goes.
    void Resume();

private:
    fw::UniqueHandle m_thread;
    bool m_suspended = false;
};

}  // namespace bench
