// A small program for the tests to start, find, close and stop.
//
//   --title T          a visible top-level window titled T (may repeat)
//   --hidden-title T   a hidden top-level window titled T
//   --owned-title T    a visible window titled T, owned by the first window
//   --tool-title T     a visible tool window titled T
//   --app-title T      a hidden window titled T with the application-window style
//   --nocaption-title T a visible popup window titled T without a caption (no title bar shows the title)
//   --owned-dialog T   a visible dialog box titled T, owned by the first window
//   --shell-title T    a visible window titled T that it makes the desktop's shell window (SetShellWindow),
//                      when the desktop has none yet; records "shell <0|1>" with the outcome
//   --ignore-close     WM_CLOSE does nothing
//   --close-delay MS   a window closes MS milliseconds after its WM_CLOSE, as a program that saves first
//   --record FILE      appends "start <pid> <local date and time> <own file name>" at start, followed by
//                      "args <its whole command line>" and "cwd <its current folder>"; "close <title>" for each
//                      WM_CLOSE received, "exit <pid>" when it leaves its message loop
//                      and "mark <n>" for each message WM_APP with wParam n it takes from its queue
//   --hang-after MS    stops answering messages MS milliseconds after start (its windows hang)
//   --lifetime MS      ends by itself after MS milliseconds (default 120000), so that nothing outlives a test
//   --tree-depth N     starts a copy of itself without windows, with the same record and lifetime and depth N-1,
//                      and records "child <its pid>": a chain of N processes below this one
// A helper started without arguments (by the shell, say) takes --record and --lifetime from the environment
// variables MWHELPER_RECORD and MWHELPER_LIFETIME when they are set; options given override them. Without
// window options, MWHELPER_TITLE, when set, gives it one visible window with that title.
// Without windows it just waits out its lifetime. It exits with code 7 when its last window is destroyed.
#include "RecordLine.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

// Exported by user32 but missing from the MinGW headers.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND hwnd);

namespace {

constexpr wchar_t kClassName[] = L"MarlowickTestHelper";
std::wstring g_record;
bool g_ignoreClose = false;
UINT g_closeDelay = 0;
constexpr UINT_PTR kCloseTimer = 1;
int g_windows = 0;

void Record(const std::wstring& line) {
    testing_support::AppendRecordLine(g_record, line);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: {
            wchar_t title[512]{};
            ::GetWindowTextW(hwnd, title, 512);
            Record(std::wstring(L"close ") + title);
            if (g_ignoreClose) {
                return 0;
            }
            if (g_closeDelay != 0) {
                ::SetTimer(hwnd, kCloseTimer, g_closeDelay, nullptr);
            } else {
                ::DestroyWindow(hwnd);
            }
            return 0;
        }
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                ::KillTimer(hwnd, kCloseTimer);
                ::DestroyWindow(hwnd);
            }
            return 0;
        case WM_APP:
            // Posted by a test after some other request: once this line is there, every message posted to
            // the helper's windows before it has been handled.
            Record(L"mark " + std::to_wstring(wParam));
            return 0;
        case WM_DESTROY:
            if (--g_windows == 0) {
                ::PostQuitMessage(7);
            }
            return 0;
        default:
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

HWND MakeWindow(const std::wstring& title, DWORD exStyle, bool visible, HWND owner, DWORD style = WS_OVERLAPPEDWINDOW) {
    HWND hwnd =
        ::CreateWindowExW(exStyle, kClassName, title.c_str(), style | (visible ? WS_VISIBLE : 0), 40 + 20 * g_windows,
                          40 + 20 * g_windows, 320, 200, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd) {
        ++g_windows;
    }
    return hwnd;
}

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A modeless dialog box from a template built in memory.
HWND MakeDialog(const std::wstring& title, HWND owner) {
    alignas(4) WORD buffer[256]{};
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME;
    dialog->x = 60;
    dialog->y = 60;
    dialog->cx = 160;
    dialog->cy = 80;
    WORD* p = reinterpret_cast<WORD*>(dialog + 1);
    *p++ = 0;  // no menu
    *p++ = 0;  // the dialog class
    for (size_t i = 0; i < title.size() && i < 200; ++i) {
        *p++ = title[i];
    }
    *p++ = 0;
    HWND hwnd = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), dialog, owner, DialogProc, 0);
    return hwnd;
}

// The next process of a chain, which outlives this one when this one is stopped alone.
void StartChild(const wchar_t* image, int depth, DWORD lifetime) {
    std::wstring command = L"\"" + std::wstring(image) + L"\" --lifetime " + std::to_wstring(lifetime) +
                           L" --tree-depth " + std::to_wstring(depth);
    if (!g_record.empty()) {
        command += L" --record \"" + g_record + L"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(image, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Record(L"child " + std::to_wstring(pi.dwProcessId));
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    struct Window {
        std::wstring kind, title;
    };
    std::vector<Window> windows;
    DWORD hangAfter = 0;
    DWORD lifetime = 120000;
    int treeDepth = 0;
    const auto environment = [](const wchar_t* name) {
        wchar_t value[MAX_PATH]{};
        const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
    };
    g_record = environment(L"MWHELPER_RECORD");
    if (const std::wstring value = environment(L"MWHELPER_LIFETIME"); !value.empty()) {
        lifetime = static_cast<DWORD>(_wtoi(value.c_str()));
    }
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--ignore-close") {
            g_ignoreClose = true;
        } else if (arg == L"--record" && hasValue) {
            g_record = argv[++i];
        } else if (arg == L"--close-delay" && hasValue) {
            g_closeDelay = static_cast<UINT>(_wtoi(argv[++i]));
        } else if (arg == L"--hang-after" && hasValue) {
            hangAfter = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (arg == L"--lifetime" && hasValue) {
            lifetime = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (arg == L"--tree-depth" && hasValue) {
            treeDepth = _wtoi(argv[++i]);
        } else if ((arg.ends_with(L"title") || arg == L"--owned-dialog") && hasValue) {
            windows.push_back({arg, argv[++i]});
        }
    }

    if (const std::wstring title = environment(L"MWHELPER_TITLE"); windows.empty() && !title.empty()) {
        windows.push_back({L"--title", title});
    }

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t stamp[64]{};
    swprintf(stamp, 64, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond, now.wMilliseconds);
    // The file name tells apart copies of the helper that one record serves.
    wchar_t image[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, image, MAX_PATH);
    const wchar_t* name = std::wcsrchr(image, L'\\');
    Record(L"start " + std::to_wstring(::GetCurrentProcessId()) + L" " + stamp + L" " + (name ? name + 1 : image));
    // What it was started with, as a program that the shell started sees it.
    Record(std::wstring(L"args ") + ::GetCommandLineW());
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    Record(L"cwd " + folder);
    if (treeDepth > 0) {
        StartChild(image, treeDepth - 1, lifetime);
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    ::RegisterClassW(&wc);

    HWND first = nullptr;
    for (const Window& w : windows) {
        HWND hwnd = nullptr;
        if (w.kind == L"--title") {
            hwnd = MakeWindow(w.title, 0, true, nullptr);
        } else if (w.kind == L"--hidden-title") {
            hwnd = MakeWindow(w.title, 0, false, nullptr);
        } else if (w.kind == L"--owned-title") {
            hwnd = MakeWindow(w.title, 0, true, first);
        } else if (w.kind == L"--tool-title") {
            hwnd = MakeWindow(w.title, WS_EX_TOOLWINDOW, true, nullptr);
        } else if (w.kind == L"--owned-dialog") {
            hwnd = MakeDialog(w.title, first);
        } else if (w.kind == L"--app-title") {
            hwnd = MakeWindow(w.title, WS_EX_APPWINDOW, false, nullptr);
        } else if (w.kind == L"--shell-title") {
            hwnd = MakeWindow(w.title, 0, true, nullptr);
            Record(std::wstring(L"shell ") + (::SetShellWindow(hwnd) ? L"1" : L"0"));
        } else if (w.kind == L"--nocaption-title") {
            hwnd = MakeWindow(w.title, 0, true, nullptr, WS_POPUP | WS_BORDER);
        }
        if (!first) {
            first = hwnd;
        }
    }

    const DWORD start = ::GetTickCount();
    int exitCode = 0;
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= lifetime) {
            break;
        }
        if (hangAfter != 0 && elapsed >= hangAfter) {
            ::Sleep(lifetime - elapsed);  // every window of this thread stops answering
            break;
        }
        const DWORD next = hangAfter != 0 ? hangAfter - elapsed : lifetime - elapsed;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, next, QS_ALLINPUT);
        MSG msg;
        bool quit = false;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                exitCode = static_cast<int>(msg.wParam);
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (quit) {
            break;
        }
    }
    Record(L"exit " + std::to_wstring(::GetCurrentProcessId()));
    return exitCode;
}
