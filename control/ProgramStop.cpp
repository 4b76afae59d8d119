#include "control/ProgramStop.h"

#include "control/ProcessPath.h"
#include "core/Profile.h"
#include "framework/Handle.h"
#include "framework/MessageBox.h"

#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

namespace control {
namespace {

constexpr wchar_t kStopSection[] = L"Stop";
// At most this many processes are examined; on a system with more, the rest are not seen.
constexpr DWORD kMaxProcesses = 1024;

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

// True when the window's title is exactly the text. Reads the title without sending the window a message,
// as for any window of another process; the buffer holds one character more than the text, so a longer
// title never matches by being cut short.
bool HasTitle(HWND hwnd, const std::wstring& title) {
    std::vector<wchar_t> buffer(title.size() + 2, L'\0');
    const int length = ::GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return length >= 0 && static_cast<size_t>(length) == title.size() &&
           std::equal(title.begin(), title.end(), buffer.begin());
}

struct TitleSearch {
    const std::wstring* title;
    DWORD ownProcessId;
    DWORD foundProcessId;
};

BOOL CALLBACK FindTitledWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<TitleSearch*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    // The program's own windows are never a stop's target (and reading their titles would send them a
    // message).
    if (processId == 0 || processId == search->ownProcessId || !HasTitle(hwnd, *search->title)) {
        return TRUE;
    }
    search->foundProcessId = processId;
    return FALSE;
}

}  // namespace

DWORD ReadStopTimeOut() {
    const int seconds = std::clamp(core::GetSettingInt(kStopSection, L"TimeOut"), 0, kMaxStopTimeOutSeconds);
    return static_cast<DWORD>(seconds) * 1000;
}

bool IsForceQuitText(const std::wstring& text) {
    return text.empty() || AsciiUpper(text) == L"TRUE";
}

bool ReadForceQuit() {
    // A missing file has been reported by the read of the time-out already; the flag is then absent.
    if (!::PathFileExistsW(core::GetProfilePath().c_str())) {
        return true;
    }
    return IsForceQuitText(core::GetSetting(kStopSection, L"ForceQuit"));
}

void StopProgram(const std::wstring& program, PendingStops& stops) {
    if (!program.empty() && ::PathFileExistsW(program.c_str())) {
        StopProgramByPath(program, stops);
    } else {
        StopProgramByWindowTitle(program, stops);
    }
}

void StopProgramByPath(const std::wstring& path, PendingStops& stops) {
    std::vector<DWORD> ids(kMaxProcesses, 0);
    DWORD bytes = 0;
    if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
        return;
    }
    ids.resize(std::min<size_t>(bytes / sizeof(DWORD), ids.size()));
    const DWORD ownId = ::GetCurrentProcessId();
    const std::wstring wanted = AsciiLower(path);
    for (DWORD id : ids) {
        if (id == 0 || id == ownId) {
            continue;
        }
        if (AsciiLower(GetProcessImagePath(id)) == wanted) {
            StopProcess(id, stops);
            return;
        }
    }
}

void StopProgramByWindowTitle(const std::wstring& title, PendingStops& stops) {
    TitleSearch search{&title, ::GetCurrentProcessId(), 0};
    // An empty text names no program; it would otherwise pick any window without a title.
    if (!title.empty()) {
        fw::IgnoreResult(::EnumWindows(&FindTitledWindow, reinterpret_cast<LPARAM>(&search)));
    }
    if (search.foundProcessId == 0) {
        fw::AfxMessageBox(L"Can not find program: " + title, MB_OK);
        return;
    }
    StopProcess(search.foundProcessId, stops);
}

void StopProcess(DWORD processId, PendingStops& stops) {
    const DWORD milliseconds = ReadStopTimeOut();
    CloseAndTerminateProcess(processId, milliseconds, ReadForceQuit(), stops);
}

void CloseAndTerminateProcess(DWORD processId, DWORD milliseconds, bool forceQuit, PendingStops& stops) {
    // The program never stops itself, whoever asks.
    if (processId == ::GetCurrentProcessId()) {
        return;
    }
    fw::UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
    if (!process) {
        fw::AfxMessageBox(L"Could not OpenProcess", MB_OK);
        return;
    }
    fw::IgnoreResult(::EnumWindows(&PostCloseToProcessWindows, static_cast<LPARAM>(processId)));
    stops.Add(std::move(process), processId, milliseconds, forceQuit);
}

BOOL CALLBACK PostCloseToProcessWindows(HWND hwnd, LPARAM processId) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == static_cast<DWORD>(processId)) {
        fw::IgnoreResult(::PostMessageW(hwnd, WM_CLOSE, 0, 0));
    }
    return TRUE;
}

}  // namespace control
