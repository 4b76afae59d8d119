#pragma once
// Letter case of A to Z only. Action texts, the force-quit flag and image paths are compared this way on
// every system, whatever its locale: no other letter ever changes case here.
#include <string>

namespace core {

constexpr wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

constexpr wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

inline std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text) {
        c = AsciiUpper(c);
    }
    return text;
}

inline std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        c = AsciiLower(c);
    }
    return text;
}

}  // namespace core
