#include "framework/Security.h"

#include "framework/Handle.h"

#include <sddl.h>

namespace fw {

Sid CopySid(PSID sid) {
    if (!sid || !::IsValidSid(sid)) {
        return {};
    }
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return Sid(bytes, bytes + ::GetLengthSid(sid));
}

PSID AsSid(const Sid& sid) {
    return sid.empty() ? nullptr : const_cast<BYTE*>(sid.data());
}

std::wstring SidText(const Sid& sid) {
    wchar_t* text = nullptr;
    if (sid.empty() || !::ConvertSidToStringSidW(AsSid(sid), &text)) {
        return {};
    }
    UniqueLocalMemory owned(text);
    return text;
}

bool SameUser(const Sid& a, const Sid& b) {
    return !a.empty() && !b.empty() && ::EqualSid(AsSid(a), AsSid(b));
}

Sid TokenUserSid(HANDLE token) {
    DWORD size = 0;
    IgnoreResult(::GetTokenInformation(token, TokenUser, nullptr, 0, &size));
    // TOKEN_USER holds a pointer: the buffer is aligned for one.
    std::vector<void*> buffer((size + sizeof(void*) - 1) / sizeof(void*));
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    return CopySid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

Sid CurrentUserSid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return {};
    }
    return TokenUserSid(token.Get());
}

Sid ProcessUserSid(DWORD processId) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    UniqueHandle token;
    if (!process || !::OpenProcessToken(process.Get(), TOKEN_QUERY, token.Put())) {
        return {};
    }
    return TokenUserSid(token.Get());
}

}  // namespace fw
