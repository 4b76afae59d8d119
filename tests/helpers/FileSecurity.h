#pragma once
// Gives a test file or folder a DACL of its own, as another user or an older version might have left it.
#include "framework/Handle.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace test_support {

// Sets the object's DACL from SDDL text, protected from inheritance; an SDDL without a DACL removes it.
inline bool SetProtectedDacl(const std::wstring& path, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    fw::UniqueLocalMemory owned(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    return ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   present ? dacl : nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace test_support
