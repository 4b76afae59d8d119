#pragma once
// One Marlowick per machine: the marks that the running instance holds, and what a second start tells its user.
#include "framework/Handle.h"
#include "framework/Security.h"

#include <windows.h>

#include <string>
#include <vector>

namespace app {

// The mark of older versions, one per logon session. It is still held, so that an older copy started in the same
// session refuses to run beside this one.
inline constexpr wchar_t kInstanceMutexName[] = L"E08BDD87-F342-48de-AA47-3F8F6FA49F2F";
// The mark that every session of the machine sees: the task profile is the machine's, so is the scheduler.
inline constexpr wchar_t kGlobalInstanceMutexName[] = L"Global\\E08BDD87-F342-48de-AA47-3F8F6FA49F2F";
// What a second start of the same user (or one that cannot tell whose the running copy is) says.
inline constexpr wchar_t kAlreadyRunning[] = L"This application already running,please check.";

// What a second start says when the running Marlowick belongs to another user, named by account.
std::wstring AlreadyRunningFor(const std::wstring& user);

using fw::CurrentUserSid;
using fw::Sid;

// Where an instance looks for another one and whom it runs for. Tests pass names of their own, and pretend to be
// another user by giving another user's identifier.
struct InstanceIdentity {
    std::wstring globalName;
    std::wstring localName;
    Sid user;
};

// The program's own names and the user of this process.
InstanceIdentity ThisInstance();

// The marks that the running instance holds until its process ends.
struct InstanceMarks {
    fw::UniqueHandle global;
    fw::UniqueHandle local;
};

// Creates the mutex with this name into mutex; true (and no handle) when another instance holds it, whether it
// could be opened or access to it was denied.
bool AnotherInstanceRuns(const wchar_t* name, fw::UniqueHandle& mutex);

// Takes both marks into marks and returns true; so it does when a mark cannot be made at all, and the program then
// runs unprotected against a second copy. When another instance holds either mark, tells the user whose it is and
// returns false holding nothing: the caller then ends before anything of the program has started.
bool StartAsOnlyInstance(const InstanceIdentity& identity, InstanceMarks& marks);

}  // namespace app
