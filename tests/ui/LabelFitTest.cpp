// Every text of every dialog of the program shows whole: each label, check box and group box caption is
// measured with its dialog's own font against the size of its control, and no control covers another (a group box
// holds its controls whole), at the display's resolution and, in a second run of this program, at 150 %.
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Set in the second run: the resolution that run must see, in dots per inch, and the file in which it writes
// how many dialogs it measured, so that a run that measured nothing cannot pass.
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

// The room that a text needs in a control of this class and style beside the text itself: the box of a
// check box and the gap after it; for a group box, the gaps before and after its caption.
SIZE Decoration(const std::wstring& className, LONG style, HDC dc) {
    if (className == L"Button") {
        const LONG type = style & BS_TYPEMASK;
        SIZE space{};
        ::GetTextExtentPoint32W(dc, L"0", 1, &space);
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
            type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            return {::GetSystemMetrics(SM_CXMENUCHECK) + space.cx, 0};
        }
        if (type == BS_GROUPBOX) {
            return {2 * space.cx, 0};
        }
    }
    return {0, 0};
}

// Whether this child shows a text that this test measures: labels, check boxes and radio buttons, group boxes.
bool IsLabel(const std::wstring& className, LONG style) {
    if (className == L"Static") {
        const LONG type = style & SS_TYPEMASK;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP ||
               type == SS_SIMPLE;
    }
    if (className == L"Button") {
        const LONG type = style & BS_TYPEMASK;
        return type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_OWNERDRAW;
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
        const SIZE decoration = Decoration(className, style, dc);
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
        // A check box or a group box shows one line in a control that may be lower than its font.
        const int height = className == L"Static" ? client.bottom : std::max<LONG>(client.bottom, lineHeight);
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

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

struct Measurement {
    std::vector<Misfit> misfits;
    std::vector<std::wstring> overlaps;
    int dialogs = 0;
    int labels = 0;
    std::wstring faceName;
};

// Creates each dialog template of this program hidden (a page inside a hidden host window) and measures it.
Measurement MeasureEveryDialog() {
    Measurement result;
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
    const fw::UniqueHwnd host(
        ::CreateWindowExW(0, L"Static", L"host", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr));
    for (WORD id : ids) {
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
        ++result.dialogs;
        const std::wstring name = L"dialog " + std::to_wstring(id) + L" \"" + TextOf(dialog) + L"\"";
        for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            MeasureChild(c, name, result.misfits, result.labels);
        }
        FindOverlaps(dialog, name, result.overlaps);
        if (result.faceName.empty()) {
            const fw::ClientDC dc(dialog);
            fw::SelectObjectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
            wchar_t face[LF_FACESIZE]{};
            ::GetTextFaceW(dc.Get(), LF_FACESIZE, face);
            result.faceName = face;
        }
    }
    return result;
}

int ScreenDpi() {
    const fw::ClientDC screen(nullptr);
    return ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

TEST(Labels, EveryTextOfEveryDialogShowsWhole) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    wchar_t expected[16]{};
    if (::GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16) > 0) {
        ASSERT_EQ(std::wcstol(expected, nullptr, 10), ScreenDpi()) << "the run at another resolution did not get it";
    }
    const Measurement measurement = MeasureEveryDialog();
    std::printf("%d dialogs, %d texts, font %s, %d dpi\n", measurement.dialogs, measurement.labels,
                Narrow(measurement.faceName).c_str(), ScreenDpi());
    EXPECT_EQ(8, measurement.dialogs);
    wchar_t record[MAX_PATH]{};
    if (::GetEnvironmentVariableW(kRecordVariable, record, MAX_PATH) > 0) {
        const std::string count = std::to_string(measurement.dialogs);
        fw::UniqueFile file(::CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), count.data(), static_cast<DWORD>(count.size()), &written, nullptr);
    }
    EXPECT_GE(measurement.labels, 8);
    for (const Misfit& m : measurement.misfits) {
        ADD_FAILURE() << Narrow(m.dialog) << ": \"" << Narrow(m.text) << "\" needs " << m.needWidth << " x "
                      << m.needHeight << " pixels, has " << m.width << " x " << m.height;
    }
    for (const std::wstring& overlap : measurement.overlaps) {
        ADD_FAILURE() << "controls cover each other in " << Narrow(overlap);
    }
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

TEST(Labels, EveryTextShowsWholeAtOneHundredAndFiftyPercent) {
    wchar_t expected[16]{};
    if (::GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16) > 0) {
        GTEST_SKIP() << "this is the run at 150 %";
    }
    wchar_t self[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DpiSetting dpi(144);
    ASSERT_TRUE(dpi.Set());
    const std::wstring record = testing_support::TempFilePath(L"labels");
    ASSERT_TRUE(::SetEnvironmentVariableW(kExpectedDpiVariable, L"144"));
    ASSERT_TRUE(::SetEnvironmentVariableW(kRecordVariable, record.c_str()));
    testing_support::HelperProcess run({L"--gtest_filter=Labels.EveryTextOfEveryDialogShowsWhole"}, self);
    ::SetEnvironmentVariableW(kExpectedDpiVariable, nullptr);
    ::SetEnvironmentVariableW(kRecordVariable, nullptr);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0u, run.WaitForExit(60000)) << "the run at 144 dpi failed; its output is above";
    EXPECT_EQ("8", testing_support::ReadFileBytes(record));
    ::DeleteFileW(record.c_str());
}

}  // namespace
