#pragma once
// A window's title as the stop and the window picker read it.
#include <windows.h>

#include <string>

namespace control {

// The whole title of a window, however long. It is read from the text the system keeps for the window,
// without sending the window a message, so that a window whose thread does not answer cannot stall the
// reader, and a window of another program that has no caption still gives its title. The picker lists
// titles and the stop finds windows with this one reader: whatever the picker lists can be stopped.
std::wstring ReadWindowTitle(HWND hwnd);

}  // namespace control
