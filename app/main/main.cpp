// The program's entry point and its one application object.
#include "app/MarlowickApp.h"

#include <windows.h>

namespace {

app::CMarlowickApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // AfxWinMain reports what it catches; this is the last stop for anything that gets past it.
    try {
        return fw::AfxWinMain();
    } catch (...) {
        return fw::kFatalErrorExitCode;
    }
}
