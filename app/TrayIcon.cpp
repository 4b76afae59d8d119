#include "app/TrayIcon.h"

#include "app/ListCtrlEx.h"
#include "core/Scheduler.h"
#include "core/TaskOptions.h"
#include "framework/Dpi.h"
#include "framework/Handle.h"
#include "res/resource.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <utility>

namespace app {

const UINT g_trayMessage = ::RegisterClipboardFormatW(L"Tray.{47BCDAC1-2E6F-4f9a-9A3F-68A3B97CE33E}");
const UINT g_taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

namespace {

// Copies the text into a fixed field of the icon data, cut to fit with its terminating zero.
template <size_t N>
void CopyField(wchar_t (&field)[N], const wchar_t* text, size_t limit = N) {
    const size_t length = std::min(std::wcslen(text), std::min(limit, N) - 1);
    std::copy_n(text, length, field);
    field[length] = L'\0';
}

}  // namespace

std::wstring NextTaskTip(const std::wstring& program, const std::wstring& when) {
    static constexpr size_t kMaxTip = 127;
    std::wstring name = ::PathFindFileNameW(program.c_str());
    if (name.empty()) {
        name = program;
    }
    const std::wstring head = std::wstring(kTrayTip) + L"\nNext: ";
    const std::wstring tail = L" at " + when;
    const size_t room = kMaxTip > head.size() + tail.size() ? kMaxTip - head.size() - tail.size() : 0;
    if (name.size() > room) {
        name = room > 0 ? name.substr(0, room - 1) + L"\u2026" : std::wstring();
    }
    return (head + name + tail).substr(0, kMaxTip);
}

namespace {

// When the next run comes, as the tip says it: the time alone today, with the day's name within the week, the date
// beyond it.
std::wstring WhenText(const core::TaskRow& row, long long second, long long nowLocal) {
    const long long days = second / core::kSecondsPerDay - nowLocal / core::kSecondsPerDay;
    // A week ahead or more, a day's name would be ambiguous.
    if (days >= 7) {
        return LocalDateTimeText(second);
    }
    // The task's own time as it stands; a repeat's in the user's format.
    std::wstring when = row.task.time;
    if (second % core::kSecondsPerDay != row.secondOfDay) {
        const SYSTEMTIME fields = core::FromSeconds(second).value_or(SYSTEMTIME{});
        wchar_t time[64]{};
        fw::IgnoreResult(::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &fields, nullptr, time, 64));
        when = time;
    }
    return days == 0 ? when : core::DaysDisplayText(core::DayOfWeekBit(second)) + L" " + when;
}

}  // namespace

std::wstring TasksTip(const core::TaskStore& tasks, bool held) {
    const std::optional<long long> local = core::ToSeconds(core::SystemClock().local);
    const auto next = local && !held ? core::NextDueTask(*tasks.CurrentSchedule(), *local) : std::nullopt;
    const std::optional<core::TaskRow> row = next ? tasks.Find(next->first.id) : std::nullopt;
    if (!row) {
        return kTrayTip;
    }
    return NextTaskTip(next->first.program, WhenText(*row, next->second, *local));
}

bool SetTaskbarButton(HWND window, bool present) {
    fw::ComPtr<ITaskbarList> taskbar;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_SERVER, IID_ITaskbarList, taskbar.PutVoid())) ||
        !taskbar) {
        return false;
    }
    fw::IgnoreResult(taskbar->HrInit());
    fw::IgnoreResult(present ? taskbar->AddTab(window) : taskbar->DeleteTab(window));
    return true;
}

CTrayIcon::~CTrayIcon() {
    if (m_hWnd) {
        NOTIFYICONDATAW data = ShortData(0);
        fw::IgnoreResult(::Shell_NotifyIconW(NIM_DELETE, &data));
    }
}

NOTIFYICONDATAW CTrayIcon::ShortData(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = m_hWnd;
    data.uID = m_uID;
    data.uFlags = flags;
    return data;
}

void CTrayIcon::Add(HWND window) {
    m_hWnd = window;
    m_uID = kTrayIconId;
    SendAdd();
}

void CTrayIcon::SendAdd() const {
    NOTIFYICONDATAW data = ShortData(NIF_MESSAGE);
    data.uCallbackMessage = g_trayMessage;
    fw::IgnoreResult(::Shell_NotifyIconW(NIM_ADD, &data));
}

void CTrayIcon::SetIcon(HICON icon) {
    m_hIcon = icon;
    if (m_tip.empty()) {
        m_tip = kTrayTip;
    }
    SendIconAndTip();
}

void CTrayIcon::SetIconResource(HINSTANCE instance, UINT id, UINT dpi) {
    fw::UniqueIcon icon(fw::LoadIconForDpi(instance, id, SM_CXSMICON, SM_CYSMICON, dpi));
    if (!icon) {
        return;
    }
    SetIcon(icon.Get());
    // The shell has its own copy of the new picture by now: the old one may go.
    m_loadedIcon = std::move(icon);
}

void CTrayIcon::SetTip(const std::wstring& tip) {
    if (tip == m_tip) {
        return;
    }
    m_tip = tip;
    if (m_hWnd && m_hIcon) {
        SendIconAndTip();
    }
}

void CTrayIcon::SendIconAndTip() const {
    NOTIFYICONDATAW data = ShortData(NIF_ICON | NIF_TIP);
    data.hIcon = m_hIcon;
    // The short layout has a tip of 64 characters; a longer tip (the next task) needs the whole layout.
    if (m_tip.size() >= 64) {
        data.cbSize = sizeof(NOTIFYICONDATAW);
    }
    CopyField(data.szTip, m_tip.c_str(), data.cbSize == sizeof(NOTIFYICONDATAW) ? std::size(data.szTip) : 64);
    fw::IgnoreResult(::Shell_NotifyIconW(NIM_MODIFY, &data));
}

namespace {

BalloonListener& Listener() {
    static BalloonListener listener;
    return listener;
}

}  // namespace

BalloonListener SetBalloonListener(BalloonListener listener) {
    return std::exchange(Listener(), std::move(listener));
}

void CTrayIcon::ShowBalloon(const std::wstring& text, const std::wstring& title) const {
    if (Listener()) {
        Listener()(text, title);
    }
    NOTIFYICONDATAW version = ShortData(0);
    version.uVersion = 3;
    fw::IgnoreResult(::Shell_NotifyIconW(NIM_SETVERSION, &version));

    // The balloon needs the whole layout of this build; a shorter size makes the shell ignore it.
    NOTIFYICONDATAW balloon{};
    balloon.cbSize = sizeof(NOTIFYICONDATAW);
    balloon.hWnd = m_hWnd;
    balloon.uID = m_uID;
    balloon.uFlags = NIF_INFO;
    CopyField(balloon.szInfo, text.c_str());
    CopyField(balloon.szInfoTitle, title.c_str());
    balloon.uVersion = 3;
    balloon.dwInfoFlags = NIIF_INFO;
    fw::IgnoreResult(::Shell_NotifyIconW(NIM_MODIFY, &balloon));

    version.uVersion = 0;
    fw::IgnoreResult(::Shell_NotifyIconW(NIM_SETVERSION, &version));
}

void CTrayIcon::Restore() {
    if (!m_hWnd) {
        return;
    }
    SendAdd();
    if (m_hIcon) {
        SendIconAndTip();
    }
}

void CTrayIcon::OnNotify(WPARAM id, LPARAM mouseMessage) const {
    if (id != m_uID) {
        return;
    }
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        fw::IgnoreResult(::GetWindowPlacement(m_hWnd, &placement));
        const UINT command = placement.showCmd == SW_SHOWNORMAL ? IDM_TRAY_HIDE : IDM_TRAY_SHOW;
        fw::IgnoreResult(::SendMessageW(m_hWnd, WM_COMMAND, command, 0));
    } else if (mouseMessage == WM_RBUTTONUP) {
        POINT cursor{};
        fw::IgnoreResult(::GetCursorPos(&cursor));
        fw::UniqueMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TRAY)));
        if (!menu) {
            return;
        }
        // The menu closes when the user clicks elsewhere only while the window is in the foreground.
        ::SetForegroundWindow(m_hWnd);
        fw::IgnoreResult(::TrackPopupMenu(::GetSubMenu(menu.Get(), 0), 0, cursor.x, cursor.y, 0, m_hWnd, nullptr));
        fw::IgnoreResult(::PostMessageW(m_hWnd, WM_NULL, 0, 0));
    }
}

}  // namespace app
