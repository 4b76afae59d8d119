#include "control/WindowTitle.h"

#include <vector>

namespace control {

std::wstring ReadWindowTitle(HWND hwnd) {
    // The reader cannot ask for the length: a buffer that came back full may have cut the title, so it
    // is read again into one twice as large.
    constexpr size_t kLongestTitle = 1u << 20;
    std::vector<wchar_t> buffer(256, L'\0');
    for (;;) {
        const int length = ::InternalGetWindowText(hwnd, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) {
            return {};
        }
        if (static_cast<size_t>(length) + 1 < buffer.size() || buffer.size() >= kLongestTitle) {
            return std::wstring(buffer.data(), static_cast<size_t>(length));
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

}  // namespace control
