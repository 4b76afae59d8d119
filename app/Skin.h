#pragma once
// The skin library beside the program, attached at start-up when it is there.
#include <string>

namespace app {

// Loads SkinHu.dll from the program's own folder and calls its SkinH_Attach, whose result is not examined.
// Without the library, or without that function, the program keeps the plain look. The library stays
// loaded until the process ends. True when the skin was attached.
bool AttachSkin();
// Loads the library at this path and attaches it; for AttachSkin and its tests.
bool AttachSkinFrom(const std::wstring& path);

}  // namespace app
