// Every text of every window of the program shows whole: each label, check box, push button, group box caption
// and list column heading is measured with its control's own font against the size of its control, and no control
// covers another (a group box holds its controls whole). Each dialog template is measured as it stands; the
// windows that set texts and columns at run time (the main window, History, the pickers, a stop warning) are made
// by their own classes. At the display's resolution and, in further runs of this program, at 120, 144 and 192 dpi.
#include "app/HistoryDlg.h"
#include "app/MarlowickDlg.h"
#include "app/StopWarningWindows.h"
#include "app/TrayIcon.h"
#include "control/ProcessListDialog.h"
#include "control/WindowListDialog.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "helpers/DialogThread.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Set in the runs at other resolutions: the resolution that run must see, in dots per inch, and the file in which it
// writes how many dialogs it measured, so that a run that measured nothing cannot pass.
constexpr wchar_t kExpectedDpiVariable[] = L"MARLOWICK_EXPECTED_DPI";
constexpr wchar_t kRecordVariable[] = L"MARLOWICK_LABEL_RECORD";

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64]{};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

// One text that does not fit its control.
struct Misfit {
    std::wstring dialog;
    std::wstring text;
    int needWidth;
    int needHeight;
    int width;
    int height;
};

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

bool IsPushButton(LONG style) {
    const LONG type = style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// The room that a text needs in a control of this class and style beside the text itself, at the control's DPI:
// the box of a check box and the gap after it; for a group box, the gaps before and after its caption; for a push
// button, its edges and the focus rectangle inside them on each side.
SIZE Decoration(HWND control, const std::wstring& className, LONG style, HDC dc) {
    if (className == L"Button") {
        const LONG type = style & BS_TYPEMASK;
        const UINT dpi = fw::DpiOf(control);
        SIZE space{};
        ::GetTextExtentPoint32W(dc, L"0", 1, &space);
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
            type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            return {fw::SystemMetricForDpi(SM_CXMENUCHECK, dpi) + space.cx, 0};
        }
        if (type == BS_GROUPBOX) {
            return {2 * space.cx, 0};
        }
        if (IsPushButton(style)) {
            return {2 * (fw::SystemMetricForDpi(SM_CXEDGE, dpi) + 1), 2 * fw::SystemMetricForDpi(SM_CYEDGE, dpi)};
        }
    }
    return {0, 0};
}

// Whether this child shows a text that this test measures: labels, check boxes and radio buttons, group boxes,
// push buttons.
bool IsLabel(const std::wstring& className, LONG style) {
    if (className == L"Static") {
        const LONG type = style & SS_TYPEMASK;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP ||
               type == SS_SIMPLE;
    }
    if (className == L"Button") {
        return (style & BS_TYPEMASK) != BS_OWNERDRAW;
    }
    return false;
}

// Measures one child: its whole text on as many lines as its height holds, with its dialog's font.
void MeasureChild(HWND child, const std::wstring& dialog, std::vector<Misfit>& misfits, int& measured) {
    const std::wstring className = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    const std::wstring text = TextOf(child);
    if (!IsLabel(className, style) || text.empty()) {
        return;
    }
    RECT client{};
    ::GetClientRect(child, &client);
    const fw::ClientDC clientDc(child);
    HDC dc = clientDc.Get();
    {
        fw::SelectObjectGuard font(dc, reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)));
        const SIZE decoration = Decoration(child, className, style, dc);
        const int width = client.right - decoration.cx;
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        const int lineHeight = metrics.tmHeight;
        const bool wraps = className == L"Static" && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP &&
                           (style & SS_TYPEMASK) != SS_SIMPLE && client.bottom >= 2 * lineHeight;
        SIZE need{};
        if (wraps) {
            RECT rect{0, 0, width, 0};
            const UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
            need = {rect.right, rect.bottom};
        } else {
            // One line: the text, without the mnemonic's ampersand, must fit across.
            RECT rect{0, 0, 0, 0};
            const UINT format = DT_CALCRECT | DT_SINGLELINE | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
            need = {rect.right, lineHeight};
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            if (text.find(L'&') == std::wstring::npos) {
                need.cx = std::max<LONG>(need.cx, extent.cx);
            }
        }
        // A check box or a group box shows one line in a control that may be lower than its font; a push button's
        // line must fit between its edges.
        const int height = className == L"Static" ? client.bottom
                           : IsPushButton(style)  ? client.bottom - decoration.cy
                                                  : std::max<LONG>(client.bottom, lineHeight);
        ++measured;
        if (need.cx > width || need.cy > height) {
            misfits.push_back({dialog, text, static_cast<int>(need.cx), static_cast<int>(need.cy), width, height});
        }
    }
}

// A child that draws nothing where it stands: hidden, or a text label without text.
bool ShowsNothing(HWND child) {
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    return !(style & WS_VISIBLE) || (ClassOf(child) == L"Static" && IsLabel(L"Static", style) && TextOf(child).empty());
}

bool IsGroupBox(HWND child) {
    return ClassOf(child) == L"Button" && (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The pairs of children that cover each other, beyond a group box around what it holds: "first / second".
void FindOverlaps(HWND dialog, const std::wstring& name, std::vector<std::wstring>& overlaps) {
    std::vector<HWND> children;
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (!ShowsNothing(c)) {
            children.push_back(c);
        }
    }
    for (size_t i = 0; i < children.size(); ++i) {
        for (size_t j = i + 1; j < children.size(); ++j) {
            RECT a{}, b{}, common{};
            ::GetWindowRect(children[i], &a);
            ::GetWindowRect(children[j], &b);
            if (!::IntersectRect(&common, &a, &b) || (IsGroupBox(children[i]) && Contains(a, b)) ||
                (IsGroupBox(children[j]) && Contains(b, a))) {
                continue;
            }
            overlaps.push_back(name + L": \"" + TextOf(children[i]) + L"\" (" +
                               std::to_wstring(::GetDlgCtrlID(children[i])) + L") / \"" + TextOf(children[j]) +
                               L"\" (" + std::to_wstring(::GetDlgCtrlID(children[j])) + L")");
        }
    }
}

// A list's column headings: each heading's text with the header's own font, between the margins the header
// keeps on both sides of it.
void MeasureColumns(HWND list, const std::wstring& window, std::vector<Misfit>& misfits, int& measured) {
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (!header) {
        return;
    }
    const int margin = static_cast<int>(::SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
    const fw::ClientDC dc(header);
    const fw::SelectObjectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(header, WM_GETFONT, 0, 0)));
    const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128]{};
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        RECT rect{};
        ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect));
        SIZE extent{};
        const std::wstring heading = text;
        ::GetTextExtentPoint32W(dc.Get(), heading.c_str(), static_cast<int>(heading.size()), &extent);
        ++measured;
        const int width = rect.right - rect.left - 2 * margin;
        if (extent.cx > width) {
            misfits.push_back({window + L" column", heading, static_cast<int>(extent.cx), static_cast<int>(extent.cy),
                               width, static_cast<int>(rect.bottom - rect.top)});
        }
    }
}

struct Measurement {
    std::vector<Misfit> misfits;
    std::vector<std::wstring> overlaps;
    int windows = 0;
    int labels = 0;
    std::wstring faceName;
};

// Measures every child of the window that shows a text, the headings of its lists, and whether any two cover each
// other.
void MeasureWindow(HWND window, const std::wstring& name, Measurement& result) {
    ++result.windows;
    for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        MeasureChild(c, name, result.misfits, result.labels);
        if (ClassOf(c) == WC_LISTVIEWW) {
            MeasureColumns(c, name, result.misfits, result.labels);
        }
    }
    FindOverlaps(window, name, result.overlaps);
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::vector<WORD> DialogTemplateIds() {
    std::vector<WORD> ids;
    ::EnumResourceNamesW(
        nullptr, RT_DIALOG,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            if (IS_INTRESOURCE(name)) {
                reinterpret_cast<std::vector<WORD>*>(param)->push_back(
                    static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
            }
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

// Creates each dialog template of this program hidden (a page inside a hidden host window) and measures it.
void MeasureEveryDialogTemplate(Measurement& result) {
    const fw::UniqueHwnd host(
        ::CreateWindowExW(0, L"Static", L"host", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr));
    for (WORD id : DialogTemplateIds()) {
        HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
        const auto* raw = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, resource)));
        std::vector<BYTE> copy(raw, raw + ::SizeofResource(nullptr, resource));
        // An extended template: version and signature (0xFFFF), help id, extended style, style. Each is made
        // hidden and enabled whatever its own style says; a page gets a hidden host window as its parent.
        auto* header = reinterpret_cast<DWORD*>(copy.data());
        if (copy.size() < 16 || header[0] != 0xFFFF0001u) {
            ADD_FAILURE() << "dialog " << id << " is not an extended template";
            continue;
        }
        const bool child = (header[3] & WS_CHILD) != 0;
        header[3] &= ~static_cast<DWORD>(WS_VISIBLE | WS_DISABLED);
        const fw::UniqueHwnd made(::CreateDialogIndirectParamW(nullptr,
                                                               reinterpret_cast<const DLGTEMPLATE*>(copy.data()),
                                                               child ? host.Get() : nullptr, PlainDialogProc, 0));
        HWND dialog = made.Get();
        if (!dialog) {
            ADD_FAILURE() << "dialog " << id << " could not be made: " << ::GetLastError();
            continue;
        }
        MeasureWindow(dialog, L"dialog " + std::to_wstring(id) + L" \"" + TextOf(dialog) + L"\"", result);
        if (result.faceName.empty()) {
            const fw::ClientDC dc(dialog);
            fw::SelectObjectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
            wchar_t face[LF_FACESIZE]{};
            ::GetTextFaceW(dc.Get(), LF_FACESIZE, face);
            result.faceName = face;
        }
    }
}

// Shows a window of the program on a thread of its own, measures it once its initialisation is over (its first
// visible window has come back to its message loop), and closes it: with Cancel, or as close says.
void MeasureOnThread(const std::wstring& name,
                     std::function<INT_PTR()> run,
                     Measurement& result,
                     const std::function<void(HWND)>& close = {}) {
    testing_support::DialogThread thread(std::move(run));
    HWND window = thread.WaitForWindow(20000);
    if (!window) {
        ADD_FAILURE() << Narrow(name) << " did not come up";
        return;
    }
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
    MeasureWindow(window, name, result);
    if (close) {
        close(window);
    } else {
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    thread.Join();
}

// The main window leaves through its close handler, which may ask whether to exit: Exit.
void CloseMainWindow(HWND window) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 2000 && ::IsWindow(window); ++i) {
        if (HWND confirm = ::FindWindowW(nullptr, L"Please Confirm")) {
            ::PostMessageW(confirm, WM_COMMAND, IDC_CONFIRM_EXIT, 0);
        }
        ::Sleep(10);
    }
}

// A warning as a stop shows it, with all three buttons.
std::shared_ptr<const core::StopWarning> SomeWarning() {
    auto warning = std::make_shared<core::StopWarning>();
    warning->id = 1;
    warning->due = 1;
    warning->secondsLeft = 60;
    warning->canPostpone = true;
    warning->name = L"notepad.exe";
    return warning;
}

// The windows that set their texts and columns at run time, each made by its own class.
void MeasureEveryRunningWindow(Measurement& result) {
    MeasureOnThread(
        L"main window",
        [] {
            app::CMarlowickDlg main;
            return main.DoModal();
        },
        result, CloseMainWindow);
    MeasureOnThread(
        L"History",
        [] {
            app::CHistoryDlg history(nullptr, {}, testing_support::TempFilePath(L"no history"));
            return history.DoModal();
        },
        result);
    MeasureOnThread(
        L"process picker",
        [] {
            control::CProcessListDialog picker;
            return picker.DoModal();
        },
        result);
    MeasureOnThread(
        L"window picker",
        [] {
            control::CWindowListDialog picker;
            return picker.DoModal();
        },
        result);
    app::StopWarningWindows warnings({});
    warnings.Show(SomeWarning());
    HWND warning = ::FindWindowW(app::kWarningClass, nullptr);
    ASSERT_TRUE(warning);
    MeasureWindow(warning, L"stop warning", result);
}

int ScreenDpi() {
    const fw::ClientDC screen(nullptr);
    return ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

void Report(const Measurement& measurement) {
    for (const Misfit& m : measurement.misfits) {
        ADD_FAILURE() << Narrow(m.dialog) << ": \"" << Narrow(m.text) << "\" needs " << m.needWidth << " x "
                      << m.needHeight << " pixels, has " << m.width << " x " << m.height;
    }
    for (const std::wstring& overlap : measurement.overlaps) {
        ADD_FAILURE() << "controls cover each other in " << Narrow(overlap);
    }
}

// The dialog templates, and the windows that the program fills at run time.
constexpr int kTemplates = 8;
constexpr int kWindows = kTemplates + 5;

TEST(Labels, EveryTextOfEveryWindowShowsWhole) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    wchar_t expected[16]{};
    if (::GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16) > 0) {
        ASSERT_EQ(std::wcstol(expected, nullptr, 10), ScreenDpi()) << "the run at another resolution did not get it";
    }
    Measurement measurement;
    MeasureEveryDialogTemplate(measurement);
    EXPECT_EQ(kTemplates, measurement.windows);
    MeasureEveryRunningWindow(measurement);
    std::printf("%d windows, %d texts, font %s, %d dpi\n", measurement.windows, measurement.labels,
                Narrow(measurement.faceName).c_str(), ScreenDpi());
    EXPECT_EQ(kWindows, measurement.windows);
    wchar_t record[MAX_PATH]{};
    if (::GetEnvironmentVariableW(kRecordVariable, record, MAX_PATH) > 0) {
        const std::string count = std::to_string(measurement.windows);
        fw::UniqueFile file(::CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), count.data(), static_cast<DWORD>(count.size()), &written, nullptr);
    }
    EXPECT_GE(measurement.labels, 40);
    Report(measurement);
}

SIZE WindowSize(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

int FontHeight(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
}

// Wine never moves a window to a monitor of another DPI: the message that the platform sends then is sent here.
void SendDpiChanged(HWND hwnd, UINT dpi) {
    RECT suggested{};
    ::GetWindowRect(hwnd, &suggested);
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// A warning moved to a monitor at twice the DPI draws twice as large, its texts whole, and comes back as it was.
TEST(Scaling, AWarningRescalesWhenItsDpiChanges) {
    app::StopWarningWindows warnings({});
    warnings.Show(SomeWarning());
    HWND warning = ::FindWindowW(app::kWarningClass, nullptr);
    ASSERT_TRUE(warning);
    HWND skip = ::GetDlgItem(warning, app::kSkipId);
    const UINT dpi = fw::DpiOf(warning);
    const SIZE before = WindowSize(warning);
    const int fontBefore = FontHeight(skip);

    SendDpiChanged(warning, 2 * dpi);
    const SIZE doubled = WindowSize(warning);
    EXPECT_GE(doubled.cx, before.cx * 9 / 5);
    EXPECT_GE(doubled.cy, before.cy * 9 / 5);
    EXPECT_GE(FontHeight(skip), fontBefore * 9 / 5);
    RECT button{};
    ::GetClientRect(skip, &button);
    EXPECT_EQ(fw::ScaleToDpi(26, 2 * dpi), button.bottom);
    Measurement measurement;
    MeasureWindow(warning, L"stop warning at twice the DPI", measurement);
    EXPECT_GE(measurement.labels, 4);
    Report(measurement);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT placed{};
    ::GetWindowRect(warning, &placed);
    EXPECT_LE(placed.right, work.right) << "the warning left the corner of the work area";

    SendDpiChanged(warning, dpi);
    EXPECT_EQ(before.cx, WindowSize(warning).cx);
    EXPECT_EQ(before.cy, WindowSize(warning).cy);
    EXPECT_EQ(fontBefore, FontHeight(skip));
}

// The notification area shows the small icon of the DPI; a picture of another size would be stretched and blurred.
TEST(Scaling, TheTrayIconIsTheSmallIconOfTheDpi) {
    const fw::UniqueHwnd window(
        ::CreateWindowExW(0, L"Static", L"tray", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    app::CTrayIcon tray;
    tray.Add(window.Get());
    tray.SetIconResource(::GetModuleHandleW(nullptr), IDI_MARLOWICK, fw::DpiOf(window.Get()));
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(tray.Icon(), &info));
    const fw::UniqueBitmap mask(info.hbmMask);
    const fw::UniqueBitmap color(info.hbmColor);
    BITMAP bitmap{};
    ASSERT_TRUE(::GetObjectW(color.Get(), sizeof bitmap, &bitmap));
    const int expected = fw::ScaleToDpi(16, fw::DpiOf(window.Get()));
    EXPECT_EQ(expected, bitmap.bmWidth);
    EXPECT_EQ(expected, bitmap.bmHeight);
}

// Sets the display resolution of the programs started from now on, and puts the old one back when it goes.
class DpiSetting {
public:
    explicit DpiSetting(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          nullptr, m_key.Put(), nullptr);
        DWORD size = sizeof m_old;
        m_hadOld = ::RegQueryValueExW(m_key.Get(), L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&m_old),
                                      &size) == ERROR_SUCCESS;
        m_set = ::RegSetValueExW(m_key.Get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                                 sizeof dpi) == ERROR_SUCCESS;
    }
    DpiSetting(const DpiSetting&) = delete;
    DpiSetting& operator=(const DpiSetting&) = delete;
    ~DpiSetting() {
        if (m_hadOld) {
            ::RegSetValueExW(m_key.Get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old),
                             sizeof m_old);
        } else {
            ::RegDeleteValueW(m_key.Get(), L"LogPixels");
        }
    }
    bool Set() const { return m_set; }

private:
    fw::UniqueRegKey m_key;
    DWORD m_old = 0;
    bool m_hadOld = false;
    bool m_set = false;
};

// The same measurement in a copy of this program that starts at the resolution: Wine reads LogPixels once, as a
// process starts.
void MeasureInRunAt(DWORD dpiValue) {
    SCOPED_TRACE(std::to_string(dpiValue) + " dpi");
    wchar_t self[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DpiSetting dpi(dpiValue);
    ASSERT_TRUE(dpi.Set());
    const std::wstring record = testing_support::TempFilePath(L"labels");
    ASSERT_TRUE(::SetEnvironmentVariableW(kExpectedDpiVariable, std::to_wstring(dpiValue).c_str()));
    ASSERT_TRUE(::SetEnvironmentVariableW(kRecordVariable, record.c_str()));
    testing_support::HelperProcess run({L"--gtest_filter=Labels.EveryTextOfEveryWindowShowsWhole:Scaling.*"}, self);
    ::SetEnvironmentVariableW(kExpectedDpiVariable, nullptr);
    ::SetEnvironmentVariableW(kRecordVariable, nullptr);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0u, run.WaitForExit(120000)) << "the run failed; its output is above";
    EXPECT_EQ(std::to_string(kWindows), testing_support::ReadFileBytes(record));
    ::DeleteFileW(record.c_str());
}

TEST(Labels, EveryTextShowsWholeAt125And150And200Percent) {
    wchar_t expected[16]{};
    if (::GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16) > 0) {
        GTEST_SKIP() << "this is a run at another resolution";
    }
    for (const DWORD dpi : {120u, 144u, 192u}) {
        MeasureInRunAt(dpi);
    }
}

}  // namespace
