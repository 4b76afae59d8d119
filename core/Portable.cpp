#include "core/Portable.h"

#include "framework/WinApp.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

namespace core {

std::wstring PortableFolderOf(const std::wstring& programPath) {
    const size_t slash = programPath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return {};
    }
    std::wstring folder = programPath.substr(0, slash);
    const DWORD attributes = ::GetFileAttributesW((folder + L"\\" + kPortableMarkName).c_str());
    // A folder of that name is no mark: only a file makes a copy portable.
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    return folder;
}

const std::wstring& PortableFolder() {
    static const std::wstring folder = PortableFolderOf(fw::GetProgramPath());
    return folder;
}

std::wstring NameSuffixFor(const std::wstring& folder) {
    if (folder.empty()) {
        return {};
    }
    std::wstring folded = folder;
    ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    // FNV-1a over the UTF-16 units: a name needs a stable tag of the folder, not a secret.
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : folded) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ull;
    }
    wchar_t text[24]{};
    std::swprintf(text, std::size(text), L".%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::wstring InstanceNameSuffix() {
    return NameSuffixFor(PortableFolder());
}

}  // namespace core
