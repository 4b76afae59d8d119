#include "core/ProfileSecurity.h"

#include "framework/Handle.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace core {
namespace {

// The token user's SID, in a buffer that holds it.
std::vector<BYTE> CurrentUserSid() {
    fw::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return {};
    }
    DWORD size = 0;
    fw::IgnoreResult(::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size));
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::vector<BYTE> copy(::GetLengthSid(sid));
    if (!::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) {
        return {};
    }
    return copy;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    std::vector<BYTE> sid(size);
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) {
        return {};
    }
    sid.resize(size);
    return sid;
}

bool IsTrustedSid(PSID sid) {
    if (!sid || !::IsValidSid(sid)) {
        return false;
    }
    for (const std::vector<BYTE>& trusted :
         {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid), CurrentUserSid()}) {
        if (!trusted.empty() && ::EqualSid(sid, const_cast<BYTE*>(trusted.data()))) {
            return true;
        }
    }
    return false;
}

// Any right that changes the object, its contents, its descriptor or what a folder holds.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

}  // namespace

std::wstring ProtectedFolderSddl() {
    std::vector<BYTE> user = CurrentUserSid();
    std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!user.empty()) {
        wchar_t* text = nullptr;
        if (::ConvertSidToStringSidW(user.data(), &text)) {
            fw::UniqueLocalMemory owned(text);
            sddl += L"(A;OICI;FA;;;" + std::wstring(text) + L")";
        }
    }
    // Read, list and traverse.
    sddl += L"(A;OICI;0x1200a9;;;WD)";
    return sddl;
}

bool CreateProtectedFolder(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedFolderSddl().c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        // Without the descriptor the folder still gets made; the trust check at start-up then asks about it.
        return ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr) == ERROR_SUCCESS;
    }
    fw::UniqueLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring parent = folder.substr(0, slash);
        if (::GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES) {
            // The maker's folder gets the same protection, so no one else can move ours away.
            const size_t up = parent.find_last_of(L'\\');
            if (up != std::wstring::npos) {
                fw::IgnoreResult(::SHCreateDirectoryExW(nullptr, parent.substr(0, up).c_str(), nullptr));
            }
            fw::IgnoreResult(::CreateDirectoryW(parent.c_str(), &attributes));
        }
    }
    return ::CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
}

bool IsTrustedDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !IsTrustedSid(owner)) {
        return false;
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kChangeRights) != 0 && !IsTrustedSid(const_cast<DWORD*>(&allowed->SidStart))) {
            return false;
        }
    }
    return true;
}

bool IsTrustedObject(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    fw::UniqueLocalMemory owned(descriptor);
    return IsTrustedDescriptor(descriptor);
}

bool IsProfileTrusted(const std::wstring& folder, const std::wstring& file) {
    if (!IsTrustedObject(folder)) {
        return false;
    }
    return ::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES || IsTrustedObject(file);
}

}  // namespace core
