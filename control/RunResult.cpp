#include "control/RunResult.h"

#include "core/History.h"
#include "framework/Handle.h"

namespace control {

namespace history = core::history;

std::wstring SystemErrorText(DWORD error) {
    // The width mask makes the text one line, fit for a list cell.
    fw::UniqueLocalMemory text;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                          nullptr, error, 0, reinterpret_cast<LPWSTR>(text.Put()), 0, nullptr);
    std::wstring reason = text && length > 0 ? std::wstring(static_cast<const wchar_t*>(text.Get()), length) : L"";
    const size_t end = reason.find_last_not_of(L" \t\r\n.");
    reason.erase(end == std::wstring::npos ? 0 : end + 1);
    if (reason.empty()) {
        reason = L"error " + std::to_wstring(error);
    }
    return reason;
}

std::wstring StartFailedResult(DWORD error) {
    return L"start failed: " + SystemErrorText(error);
}

std::wstring TerminatedResult(DWORD timeOutMilliseconds) {
    return L"terminated after " + std::to_wstring(timeOutMilliseconds / 1000) + L" s";
}

RunOutcome StartedOutcome() {
    return {kRunStarted, history::kStarted, {}};
}

RunOutcome StartFailedOutcome(DWORD error) {
    return {StartFailedResult(error), history::kStartFailed, SystemErrorText(error)};
}

RunOutcome NotFoundOutcome() {
    return {kRunNotFound, history::kNotFound, {}};
}

RunOutcome CouldNotOpenOutcome(DWORD error) {
    return {kRunCouldNotOpen, history::kCouldNotStop, L"could not open the process: " + SystemErrorText(error)};
}

RunOutcome ClosedByItselfOutcome() {
    return {kRunClosedByItself, history::kClosed, {}};
}

RunOutcome StillRunningOutcome() {
    return {kRunStillRunning, history::kStillRunning, {}};
}

RunOutcome TerminatedOutcome(DWORD timeOutMilliseconds) {
    return {TerminatedResult(timeOutMilliseconds), history::kTerminated, std::to_wstring(timeOutMilliseconds / 1000)};
}

RunOutcome CouldNotEndOutcome(DWORD error) {
    return {kRunCouldNotEnd, history::kCouldNotStop, L"could not end the process: " + SystemErrorText(error)};
}

RunOutcome AskedShellToCloseOutcome() {
    return {kRunAskedShellToClose, history::kClosed, L"desktop shell: its windows of that title were asked to close"};
}

}  // namespace control
