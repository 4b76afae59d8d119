#include "app/SingleInstance.h"

#include "core/Portable.h"
#include "framework/MessageBox.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>

namespace app {
namespace {

// What anyone may do with the machine-wide mark: open it, which is all a second start needs to read its owner.
constexpr DWORD kOpenAndReadOwner = SYNCHRONIZE | READ_CONTROL;
static_assert(kOpenAndReadOwner == 0x120000 && MUTEX_ALL_ACCESS == 0x1F0001, "the masks spelt in kMarkDacl");

// The owner's user, the system and administrators may do anything with the mark; everyone else may only open it.
constexpr wchar_t kMarkDacl[] = L"D:P(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)(A;;0x120000;;;WD)";

using fw::AsSid;
using fw::SidText;

// The mark names its user as owner, not the Administrators group that an elevated token would give by default, so
// that a second start can tell whose it is; everyone may open it to read that.
fw::UniqueLocalMemory MarkSecurity(const Sid& user) {
    const std::wstring userText = SidText(user);
    std::wstring sddl = kMarkDacl;
    if (!userText.empty()) {
        sddl = L"O:" + userText + sddl + L"(A;;0x1f0001;;;" + userText + L")";
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    return fw::UniqueLocalMemory(descriptor);
}

// The user who made the mark; empty when the handle may not read the owner or the mark names none.
Sid MarkOwner(HANDLE mark) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(mark, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    fw::UniqueLocalMemory owned(descriptor);
    return fw::CopySid(owner);
}

// Creates the machine-wide mark into mark. When another instance holds it, returns true (and no handle) with the
// holder's user, or an empty holder when the mark may not be opened or does not say.
bool GlobalMarkHeld(const InstanceIdentity& identity, fw::UniqueHandle& mark, Sid& holder) {
    const fw::UniqueLocalMemory security = MarkSecurity(identity.user);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Get(), FALSE};
    ::SetLastError(ERROR_SUCCESS);
    // Only the rights that everyone has, so that opening a mark made by another user succeeds as well.
    mark.Reset(::CreateMutexExW(security ? &attributes : nullptr, identity.globalName.c_str(), 0, kOpenAndReadOwner));
    const DWORD error = ::GetLastError();
    if (mark && error == ERROR_ALREADY_EXISTS) {
        holder = MarkOwner(mark.Get());
        mark.Reset();
        return true;
    }
    return !mark && error == ERROR_ACCESS_DENIED;
}

// The account name of a user, or the identifier's text when the account cannot be looked up.
std::wstring AccountName(const Sid& sid) {
    DWORD nameLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use{};
    fw::IgnoreResult(::LookupAccountSidW(nullptr, AsSid(sid), nullptr, &nameLength, nullptr, &domainLength, &use));
    if (nameLength > 0) {
        std::wstring name(nameLength, L'\0');
        std::wstring domain(domainLength, L'\0');
        if (::LookupAccountSidW(nullptr, AsSid(sid), name.data(), &nameLength, domain.data(), &domainLength, &use)) {
            name.resize(nameLength);
            return name;
        }
    }
    return SidText(sid);
}

// The message of a refused start: the same user, or a running copy whose user is unknown, hears today's words.
std::wstring RefusalText(const Sid& holder, const Sid& user) {
    if (holder.empty() || user.empty() || ::EqualSid(AsSid(holder), AsSid(user))) {
        return kAlreadyRunning;
    }
    return AlreadyRunningFor(AccountName(holder));
}

}  // namespace

std::wstring AlreadyRunningFor(const std::wstring& user) {
    return L"Marlowick is already running for " + user + L".";
}

InstanceIdentity ThisInstance() {
    const std::wstring suffix = core::InstanceNameSuffix();
    return {kGlobalInstanceMutexName + suffix, kInstanceMutexName + suffix, CurrentUserSid()};
}

bool AnotherInstanceRuns(const wchar_t* name, fw::UniqueHandle& mutex) {
    ::SetLastError(ERROR_SUCCESS);
    mutex.Reset(::CreateMutexW(nullptr, FALSE, name));
    const DWORD error = ::GetLastError();
    // A first instance that runs elevated (or as another user in this logon) made a mutex this one may not
    // open: it runs all the same.
    if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) {
        mutex.Reset();
        return true;
    }
    return false;
}

bool StartAsOnlyInstance(const InstanceIdentity& identity, InstanceMarks& marks) {
    InstanceMarks taken;
    Sid holder;
    // The session's mark only tells of a copy (perhaps an older version) that left no owner to read.
    if (GlobalMarkHeld(identity, taken.global, holder) ||
        AnotherInstanceRuns(identity.localName.c_str(), taken.local)) {
        // The machine-wide mark taken a moment ago goes with taken, before the box waits for the user.
        taken = {};
        fw::AfxMessageBox(RefusalText(holder, identity.user), MB_OK);
        return false;
    }
    marks = std::move(taken);
    return true;
}

}  // namespace app
