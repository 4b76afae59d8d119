#pragma once
// Who may change the profile. The folder is shared by every user of the machine, so a folder or file that
// another user can write could hold tasks that this user's Marlowick would run in this user's session.
#include <windows.h>

#include <string>

namespace core {

// Full control for SYSTEM, the Administrators and the user running Marlowick, read for everyone else;
// protected from the parent's inheritance, and inherited by what is made inside.
std::wstring ProtectedFolderSddl();

// Creates the folder, and a missing parent folder, with the protected descriptor above. False when the
// folder could not be made.
bool CreateProtectedFolder(const std::wstring& folder);

// True when the descriptor's owner is SYSTEM, the Administrators or the user running Marlowick, and its DACL
// grants no one else a right to change the object. Grants that only pass on to what a folder holds do not
// count for the folder itself; no DACL at all grants everything to everyone.
bool IsTrustedDescriptor(PSECURITY_DESCRIPTOR descriptor);

// True when the folder or file is owned by SYSTEM, the Administrators or the user running Marlowick, and
// grants no one else a right to change it. False as well when its descriptor cannot be read.
bool IsTrustedObject(const std::wstring& path);

// The folder, and the file when it exists, are trusted.
bool IsProfileTrusted(const std::wstring& folder, const std::wstring& file);

}  // namespace core
