#pragma once
// A copy of Marlowick with a file named "portable" beside its exe is portable: it keeps its profile, its history
// and its window settings beside itself, and the names of its machine-wide objects carry its folder, so that it
// runs beside an installed copy (or another portable one) and shares nothing with it.
#include <string>

namespace core {

inline constexpr wchar_t kPortableMarkName[] = L"portable";

// The folder of the program at programPath when a portable mark stands beside it, else empty.
std::wstring PortableFolderOf(const std::wstring& programPath);

// This process's portable folder, or empty for an installed copy. Decided at the first call, from the exe's path.
const std::wstring& PortableFolder();

// What the names of machine-wide objects (the instance marks, the command pipe, the locks) end with for a copy in
// folder: empty for an installed copy, else "." and a hash of the folder that ignores case.
std::wstring NameSuffixFor(const std::wstring& folder);

// NameSuffixFor this process's portable folder.
std::wstring InstanceNameSuffix();

}  // namespace core
