#pragma once
// What the program-control tests share: recorded message boxes, the stop options, helper copies and
// waiting while this thread's messages are handled.
#include "control/PendingStops.h"
#include "control/RunResult.h"
#include "control/StopOptions.h"
#include "core/IniFile.h"
#include "core/Profile.h"
#include "framework/MessageBox.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace control_test {

using testing_support::HelperProcess;
using testing_support::WaitUntil;

// A title no other test run uses.
inline std::wstring UniqueTitle(const std::wstring& stem) {
    static int counter = 0;
    return L"Marlowick " + stem + L" " + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
}

inline bool HasLine(const std::wstring& recordFile, const std::wstring& line) {
    const std::vector<std::wstring> lines = testing_support::ReadLines(recordFile);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The id of the process in the first "start <pid> <time>" line of a record, or 0.
inline DWORD RecordedProcessId(const std::wstring& recordFile) {
    for (const std::wstring& line : testing_support::ReadLines(recordFile)) {
        if (line.rfind(L"start ", 0) == 0) {
            return static_cast<DWORD>(std::wcstoul(line.c_str() + 6, nullptr, 10));
        }
    }
    return 0;
}

// Handles every message already in this thread's queue, such as a close request posted to one of its windows.
inline void HandlePendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Posts a mark to a helper's window and waits until the helper has recorded it: by then the helper has
// handled every message posted to its windows before, so a close request that was sent would be recorded.
inline bool HelperHandledEarlierMessages(HWND helperWindow, const std::wstring& recordFile) {
    static WPARAM counter = 0;
    const WPARAM mark = ++counter;
    if (!::PostMessageW(helperWindow, WM_APP, mark, 0)) {
        return false;
    }
    return WaitUntil([&] { return HasLine(recordFile, L"mark " + std::to_wstring(mark)); }, 10000);
}

// The first visible top-level window of the process, waited for; null when none came.
inline HWND WaitForVisibleWindowOf(DWORD processId, DWORD milliseconds = 10000) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    WaitUntil(
        [&] {
            ::EnumWindows(
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    auto& s = *reinterpret_cast<Search*>(lParam);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(hwnd, &owner);
                    if (owner == s.processId && ::IsWindowVisible(hwnd)) {
                        s.found = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        milliseconds);
    return search.found;
}

inline void KillProcess(DWORD processId) {
    fw::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (process) {
        ::TerminateProcess(process.Get(), 99);
        ::WaitForSingleObject(process.Get(), 5000);
    }
}

// The results that one run reports, with the thread each came on. Starts report from threads of their own.
class ReportedResults {
public:
    struct Reported {
        std::wstring result;
        DWORD threadId;
        control::RunOutcome outcome;
    };
    control::RunReport Listener() {
        return [this](const control::RunOutcome& outcome) {
            const std::lock_guard lock(m_mutex);
            m_reported.push_back({outcome.result, ::GetCurrentThreadId(), outcome});
        };
    }
    std::vector<Reported> Get() const {
        const std::lock_guard lock(m_mutex);
        return m_reported;
    }
    // The result once one has come, or empty; empty too when more than one came.
    std::wstring WaitForOne(DWORD milliseconds = 10000) const {
        WaitUntil([this] { return !Get().empty(); }, milliseconds);
        const std::vector<Reported> reported = Get();
        return reported.size() == 1 ? reported[0].result : std::wstring();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Reported> m_reported;
};

// Replaces the settings file by one that holds only these "Stop" values; an absent entry is left out.
inline void WriteStopOptions(const wchar_t* timeOut, const wchar_t* forceQuit) {
    core::IniDocument doc;
    if (timeOut) {
        doc.Set(L"Stop", L"TimeOut", timeOut);
    }
    if (forceQuit) {
        doc.Set(L"Stop", L"ForceQuit", forceQuit);
    }
    ASSERT_TRUE(doc.Save(core::GetProfilePath()));
}

// Holds the settings file open without sharing, as another program may: every read of it fails meanwhile.
class ProfileLock {
public:
    ProfileLock()
        : m_file(::CreateFileW(core::GetProfilePath().c_str(),
                               GENERIC_READ | GENERIC_WRITE,
                               0,
                               nullptr,
                               OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL,
                               nullptr)) {}
    bool Held() const { return static_cast<bool>(m_file); }

private:
    fw::UniqueFile m_file;
};

// A copy of the helper program under a folder of its own, so that its path belongs to one test alone.
// Both names are longer than 8.3, so the short form of the path differs from the long one.
class HelperCopy {
public:
    explicit HelperCopy(const std::wstring& name = L"stoppable-helper.exe") {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        static int counter = 0;
        m_folder = std::wstring(temp) + L"marlowick-stop-copies-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++counter);
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_path = m_folder + L"\\" + name;
        ::CopyFileW(testing_support::HelperPath().c_str(), m_path.c_str(), FALSE);
    }
    ~HelperCopy() {
        ::DeleteFileW(m_path.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_folder;
    std::wstring m_path;
};

// Records every message box instead of showing it, and owns the pending stops of the test.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousHook = fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
            m_messages.push_back(request.text);
            return IDOK;
        });
        // As on a fresh installation: a settings file without stop options, and nothing read from it yet.
        WriteStopOptions(nullptr, nullptr);
        control::ForgetReadStopOptions();
        m_stops = std::make_unique<control::PendingStops>();
    }
    void TearDown() override {
        m_stops.reset();
        fw::SetMessageBoxHook(std::move(m_previousHook));
    }

    // Starts a helper and waits for its first window (or, without a title, for its record).
    static std::unique_ptr<HelperProcess> StartHelper(const std::vector<std::wstring>& args,
                                                      const std::wstring& waitForTitle,
                                                      const std::wstring& exe = {}) {
        auto helper = std::make_unique<HelperProcess>(args, exe);
        EXPECT_TRUE(helper->Started()) << "error " << helper->StartError();
        if (!waitForTitle.empty()) {
            EXPECT_NE(testing_support::WaitForWindow(waitForTitle), nullptr) << "no window " << waitForTitle.size();
        }
        return helper;
    }

    bool WaitForNoPendingStop(DWORD milliseconds = 10000) {
        return WaitUntil([this] { return m_stops->Count() == 0; }, milliseconds);
    }
    // The exit code once the process has ended, waiting while messages are handled; STILL_ACTIVE otherwise.
    static DWORD ExitCodeAfter(const HelperProcess& helper, DWORD milliseconds) {
        WaitUntil([&] { return !helper.IsRunning(); }, milliseconds);
        return helper.WaitForExit(0);
    }

    std::vector<std::wstring> m_messages;
    std::unique_ptr<control::PendingStops> m_stops;

private:
    fw::MessageBoxHook m_previousHook;
};

}  // namespace control_test
