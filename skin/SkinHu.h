#pragma once
// SkinHu.dll: gives the dialogs of the calling thread Marlowick's look.
#include <windows.h>

// The colour of dialog backgrounds once the skin is attached.
#define SKINHU_BACKGROUND RGB(232, 239, 248)

// Attaches the skin to every dialog that the calling thread creates from now on. Returns 0 on success,
// or the platform's error code. A second call changes nothing.
extern "C" int WINAPI SkinH_Attach();
