#pragma once
// Users as the platform names them: security identifiers, and whose a token or a process is.
#include <windows.h>

#include <string>
#include <vector>

namespace fw {

// A security identifier as its bytes; empty when unknown.
using Sid = std::vector<BYTE>;

// A copy of the identifier; empty for none or one that is not valid.
Sid CopySid(PSID sid);
// The identifier as the platform takes it; null for an empty one.
PSID AsSid(const Sid& sid);
// "S-1-5-21-..."; empty when unknown.
std::wstring SidText(const Sid& sid);
// Both name the same user; false when either is unknown.
bool SameUser(const Sid& a, const Sid& b);

// The user of the token; empty when the platform cannot tell.
Sid TokenUserSid(HANDLE token);
// The user of this process.
Sid CurrentUserSid();
// The user of another process; empty when it may not be asked.
Sid ProcessUserSid(DWORD processId);

}  // namespace fw
