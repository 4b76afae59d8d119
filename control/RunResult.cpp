#include "control/RunResult.h"

#include "framework/Handle.h"

namespace control {

std::wstring StartFailedResult(DWORD error) {
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
    return L"start failed: " + reason;
}

std::wstring TerminatedResult(DWORD timeOutMilliseconds) {
    return L"terminated after " + std::to_wstring(timeOutMilliseconds / 1000) + L" s";
}

}  // namespace control
