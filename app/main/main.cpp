// The program's entry point and its one application object.
#include "app/MarlowickApp.h"

#include <windows.h>

namespace {

app::CMarlowickApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return fw::AfxWinMain();
}
