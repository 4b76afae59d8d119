#include "app/StopWarningWindows.h"

#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "framework/Wnd.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

namespace app {
namespace {

constexpr UINT_PTR kCountdownTimer = 1;
// Often enough that the seconds shown never lag by much.
constexpr UINT kCountdownPeriodMs = 250;
// Lengths at 96 DPI, drawn at the window's DPI.
constexpr int kMargin = 10;
constexpr int kGap = 8;
constexpr int kClientWidth = 330;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 26;
// Beside a button's text, for its edges and its focus rectangle.
constexpr int kButtonPadding = 16;
// The text's longest count, for its height.
constexpr int kLongestSeconds = 3600;

using fw::UniqueFont;

// The font the user chose for messages, at dpi: the system reports it at the system DPI.
UniqueFont MessageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    font.lfHeight = fw::Rescale(font.lfHeight, dpi, fw::DpiOf(nullptr));
    return UniqueFont(::CreateFontIndirectW(&font));
}

// The size the text takes in the font, on lines of at most the width.
SIZE TextSize(HWND hwnd, HFONT font, const std::wstring& text, int width) {
    const fw::ClientDC dc(hwnd);
    const fw::SelectObjectGuard selected(dc.Get(), font);
    RECT rect{0, 0, width, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// A button pressed with the mouse, or with BM_CLICK, without taking the focus: it would activate the warning and
// take the keyboard from the window the user types in.
void NotifyClicked(HWND button) {
    ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

LRESULT CALLBACK NoFocusButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case BM_CLICK:
            NotifyClicked(hwnd);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            ::SetCapture(hwnd);
            ::SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_LBUTTONUP: {
            const bool pressed = ::GetCapture() == hwnd;
            ::SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            ::ReleaseCapture();
            RECT client{};
            ::GetClientRect(hwnd, &client);
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (pressed && ::PtInRect(&client, point)) {
                NotifyClicked(hwnd);
            }
            return 0;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &NoFocusButtonProc, 0);
            break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

std::wstring WarningText(const std::wstring& name, int seconds) {
    return L"Marlowick will close " + name + L" in " + std::to_wstring(seconds) + L" s.";
}

struct StopWarningWindows::Window {
    StopWarningWindows* owner = nullptr;
    std::shared_ptr<const core::StopWarning> warning;
    ULONGLONG deadline = 0;
    int shown = -1;
    HWND hwnd = nullptr;
    // The DPI the window is laid out for, and its controls' font at that DPI.
    UINT dpi = fw::kDesignDpi;
    UniqueFont font;

    int SecondsLeft() const {
        const ULONGLONG now = ::GetTickCount64();
        return now >= deadline ? 0 : static_cast<int>((deadline - now + 999) / 1000);
    }
    bool ProgramEnded() const {
        return warning->process && *warning->process &&
               ::WaitForSingleObject(warning->process->Get(), 0) == WAIT_OBJECT_0;
    }
};

StopWarningWindows::StopWarningWindows(Answer answer) : m_answer(std::move(answer)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &StopWarningWindows::WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWarningClass;
    // Fails harmlessly when the class exists already.
    fw::IgnoreResult(::RegisterClassExW(&wc));
}

StopWarningWindows::~StopWarningWindows() {
    // Nothing runs early: the runs keep their times, and go with the program.
    std::vector<HWND> windows;
    for (const auto& window : m_windows) {
        windows.push_back(window->hwnd);
    }
    for (HWND hwnd : windows) {
        ::DestroyWindow(hwnd);
    }
}

namespace {

StopWarningWindows::Window* StateOf(HWND hwnd) {
    return reinterpret_cast<StopWarningWindows::Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HWND AddChild(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int id) {
    return ::CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

// Gives the controls the message font at the window's DPI; the font they had goes after they let it go.
void SetFont(HWND hwnd, StopWarningWindows::Window& state) {
    UniqueFont font = MessageFont(state.dpi);
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    }
    state.font = std::move(font);
}

// The buttons in a row from the left, each as wide as the design or as its text needs; the right edge of the row.
int LayOutButtons(HWND hwnd, const StopWarningWindows::Window& state, int top) {
    const auto scaled = [&state](int length) { return fw::ScaleToDpi(length, state.dpi); };
    int left = scaled(kMargin);
    for (const int id : {kCloseNowId, kPostponeId, kSkipId}) {
        // A button that is not offered was never made.
        if (HWND button = ::GetDlgItem(hwnd, id)) {
            wchar_t text[64]{};
            ::GetWindowTextW(button, text, 64);
            const int width = std::max<int>(scaled(kButtonWidth),
                                            TextSize(hwnd, state.font.Get(), text, 0).cx + scaled(kButtonPadding));
            ::MoveWindow(button, left, top, width, scaled(kButtonHeight), FALSE);
            left += width + scaled(kGap);
        }
    }
    return left - scaled(kGap);
}

// The text above, the buttons in a row below it; the window as large as they need, at its DPI.
void LayOut(HWND hwnd, StopWarningWindows::Window& state) {
    const auto scaled = [&state](int length) { return fw::ScaleToDpi(length, state.dpi); };
    SetFont(hwnd, state);
    const int margin = scaled(kMargin);
    const int textWidth = scaled(kClientWidth) - 2 * margin;
    const int textHeight =
        TextSize(hwnd, state.font.Get(), WarningText(state.warning->name, kLongestSeconds), textWidth).cy;
    const int buttonTop = margin + textHeight + scaled(kGap);
    const int clientWidth = std::max(scaled(kClientWidth), LayOutButtons(hwnd, state, buttonTop) + margin);
    ::MoveWindow(::GetDlgItem(hwnd, kWarningTextId), margin, margin, clientWidth - 2 * margin, textHeight, FALSE);
    const SIZE window =
        fw::WindowSizeForClient(hwnd, {clientWidth, buttonTop + scaled(kButtonHeight) + margin}, state.dpi);
    ::SetWindowPos(hwnd, nullptr, 0, 0, window.cx, window.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AddControls(HWND hwnd, const core::StopWarning& warning) {
    AddChild(hwnd, WC_STATICW, WarningText(warning.name, warning.secondsLeft), SS_LEFT | SS_NOPREFIX, kWarningTextId);
    const auto addButton = [hwnd](const wchar_t* text, int id) {
        HWND button = AddChild(hwnd, WC_BUTTONW, text, BS_PUSHBUTTON, id);
        ::SetWindowSubclass(button, &NoFocusButtonProc, 0, 0);
    };
    addButton(kCloseNowText, kCloseNowId);
    // A run postponed as often as its task allows comes at its time.
    if (warning.canPostpone) {
        addButton(kPostponeText, kPostponeId);
    }
    addButton(kSkipText, kSkipId);
}

}  // namespace

void StopWarningWindows::Show(std::shared_ptr<const core::StopWarning> warning) {
    End(warning->id, warning->due);
    // Owned here; the window points to it from WM_NCCREATE until WM_DESTROY.
    auto state = std::make_unique<Window>();
    state->owner = this;
    state->warning = warning;
    state->deadline = ::GetTickCount64() + static_cast<ULONGLONG>(warning->secondsLeft) * 1000;
    HWND hwnd = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kWarningClass, kWarningCaption,
                                  WS_POPUP | WS_CAPTION, 0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                  state.get());
    if (!hwnd) {
        return;
    }
    state->hwnd = hwnd;
    state->dpi = fw::DpiOf(hwnd);
    AddControls(hwnd, *warning);
    LayOut(hwnd, *state);
    m_windows.push_back(std::move(state));
    Restack();
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::SetTimer(hwnd, kCountdownTimer, kCountdownPeriodMs, nullptr);
}

void StopWarningWindows::End(core::TaskId id, long long due) {
    if (HWND hwnd = Find(id, due)) {
        ::DestroyWindow(hwnd);
    }
}

HWND StopWarningWindows::Find(core::TaskId id, long long due) const {
    const auto found = std::find_if(m_windows.begin(), m_windows.end(), [&](const std::unique_ptr<Window>& window) {
        return window->warning->id == id && window->warning->due == due;
    });
    return found == m_windows.end() ? nullptr : (*found)->hwnd;
}

void StopWarningWindows::Forget(HWND hwnd) {
    std::erase_if(m_windows, [hwnd](const std::unique_ptr<Window>& window) { return window->hwnd == hwnd; });
    Restack();
}

void StopWarningWindows::Restack() const {
    RECT work{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    int bottom = work.bottom - kGap;
    for (const auto& window : m_windows) {
        HWND hwnd = window->hwnd;
        RECT rect{};
        ::GetWindowRect(hwnd, &rect);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        ::SetWindowPos(hwnd, HWND_TOPMOST, work.right - kGap - width, bottom - height, 0, 0,
                       SWP_NOSIZE | SWP_NOACTIVATE);
        bottom -= height + kGap;
    }
}

LRESULT CALLBACK StopWarningWindows::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        fw::KeepPendingException(std::current_exception());
        return 0;
    }
}

LRESULT StopWarningWindows::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* state = StateOf(hwnd);
    switch (message) {
        case WM_NCCREATE: {
            auto* created = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
            break;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_DPICHANGED:
            // Moved to a monitor of another DPI: the same layout at the new one, in the stack's corner there.
            if (state) {
                state->dpi = LOWORD(wParam);
                LayOut(hwnd, *state);
                ::InvalidateRect(hwnd, nullptr, TRUE);
                state->owner->Restack();
            }
            return 0;
        case WM_TIMER:
            if (state && wParam == kCountdownTimer) {
                Count(hwnd, *state);
            }
            return 0;
        case WM_COMMAND:
            if (state && HIWORD(wParam) == BN_CLICKED) {
                Answered(hwnd, *state, LOWORD(wParam));
            }
            return 0;
        case WM_DESTROY:
            ::KillTimer(hwnd, kCountdownTimer);
            // The state goes with Forget: nothing of it is used after this.
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            if (state) {
                state->owner->Forget(hwnd);
            }
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void StopWarningWindows::Count(HWND hwnd, Window& state) {
    // The warning goes with its program: there is nothing left to close.
    if (state.ProgramEnded()) {
        ::DestroyWindow(hwnd);
        return;
    }
    const int left = state.SecondsLeft();
    if (left != state.shown) {
        state.shown = left;
        ::SetDlgItemTextW(hwnd, kWarningTextId, WarningText(state.warning->name, left).c_str());
    }
}

void StopWarningWindows::Answered(HWND hwnd, const Window& state, int id) {
    core::WarningAnswer answer = core::WarningAnswer::CloseNow;
    if (id == kPostponeId) {
        answer = core::WarningAnswer::Postpone;
    } else if (id == kSkipId) {
        answer = core::WarningAnswer::Skip;
    } else if (id != kCloseNowId) {
        return;
    }
    // Both outlive the window, which goes first.
    StopWarningWindows* owner = state.owner;
    const std::shared_ptr<const core::StopWarning> warning = state.warning;
    ::DestroyWindow(hwnd);
    if (owner->m_answer) {
        owner->m_answer(*warning, answer);
    }
}

}  // namespace app
