#include "app/Skin.h"

#include "framework/Handle.h"
#include "framework/WinApp.h"

#include <windows.h>

namespace app {

namespace {

// The skin's hook lives in the library, so the library must outlive every window: it is released only
// when static objects are destroyed, after the main window has gone.
fw::UniqueLibrary& SkinLibrary() {
    static fw::UniqueLibrary library;
    return library;
}

std::wstring ProgramFolder() {
    const std::wstring path = fw::GetProgramPath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

bool AttachSkinFrom(const std::wstring& path) {
    fw::UniqueLibrary& library = SkinLibrary();
    if (!library) {
        // Only the named file, never one found along the search path.
        library.Reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    if (!library) {
        return false;
    }
    using AttachFunction = int(WINAPI*)();
    auto attach =
        reinterpret_cast<AttachFunction>(reinterpret_cast<void*>(::GetProcAddress(library.Get(), "SkinH_Attach")));
    if (!attach) {
        return false;
    }
    fw::IgnoreResult(attach());
    return true;
}

bool AttachSkin() {
    const std::wstring folder = ProgramFolder();
    return !folder.empty() && AttachSkinFrom(folder + L"SkinHu.dll");
}

}  // namespace app
