#include "cli/History.h"

#include "core/IniFile.h"
#include "core/Profile.h"
#include "framework/Handle.h"

#include <windows.h>

namespace cli {
namespace {

// The lines of one file, without their line breaks; none when it cannot be read.
void AppendLines(const std::wstring& path, std::vector<std::wstring>& lines) {
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    std::string bytes;
    char chunk[64 * 1024];
    DWORD read = 0;
    while (::ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    // The byte-order mark says UTF-8; the decoder drops it.
    const std::wstring text = core::DecodeFileText(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
}

}  // namespace

std::vector<std::wstring> ReadHistoryLines() {
    std::vector<std::wstring> lines;
    const std::wstring folder = core::GetConfigFolder();
    if (folder.empty()) {
        return lines;
    }
    AppendLines(folder + L"\\History.1.txt", lines);
    AppendLines(folder + L"\\History.txt", lines);
    return lines;
}

}  // namespace cli
