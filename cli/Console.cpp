#include "cli/Console.h"

#include "cli/Utf8.h"

#include <algorithm>

namespace cli {

void WriteLines(DWORD standardHandle, const std::vector<std::wstring>& lines) {
    const HANDLE out = ::GetStdHandle(standardHandle);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        return;
    }
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\r\n";
    }
    DWORD mode = 0;
    DWORD done = 0;
    // WriteConsoleW fails on a handle that is no console: there the text goes out as UTF-8.
    if (::GetConsoleMode(out, &mode)) {
        // In pieces: a console takes a limited amount in one call.
        constexpr size_t kPiece = 8192;
        for (size_t offset = 0; offset < text.size(); offset += kPiece) {
            const DWORD size = static_cast<DWORD>(std::min(kPiece, text.size() - offset));
            if (!::WriteConsoleW(out, text.data() + offset, size, &done, nullptr)) {
                return;
            }
        }
        return;
    }
    const std::string bytes = ToUtf8(text);
    for (size_t offset = 0; offset < bytes.size(); offset += done) {
        if (!::WriteFile(out, bytes.data() + offset, static_cast<DWORD>(bytes.size() - offset), &done, nullptr) ||
            done == 0) {
            return;
        }
    }
}

}  // namespace cli
