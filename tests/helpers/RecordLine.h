#pragma once
// The record file of the tests' helper programs: one line appended per event, in UTF-8, ending in CR LF, in one
// write, so that a test reading it meanwhile sees whole lines.
#include <windows.h>

#include <string>

namespace testing_support {

// Appends the line to the file; nothing when there is no file name or the file cannot be opened.
inline void AppendRecordLine(const std::wstring& path, const std::wstring& line) {
    if (path.empty()) {
        return;
    }
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring text = line + L"\r\n";
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace testing_support
