#include "app/MainWindowLayout.h"

#include "core/UserSettings.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace app {

namespace {

// The point size of the templates' font.
constexpr int kDialogFontPoints = 8;

// An integer setting, or nothing when it is missing or is not a whole number.
std::optional<int> ReadIntSetting(const wchar_t* name) {
    const std::optional<std::wstring> text = core::ReadUserSetting(name);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const long value = std::wcstol(text->c_str(), &end, 10);
    if (*end != L'\0' || value < -1000000 || value > 1000000) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

void WriteIntSetting(const wchar_t* name, int value) {
    // A setting that cannot be written costs a layout at the next start, nothing more.
    fw::IgnoreResult(core::WriteUserSetting(name, std::to_wstring(value)));
}

}  // namespace

SIZE TemplateSize(HINSTANCE instance, UINT id) {
    HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
    const auto* words = static_cast<const WORD*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!words || ::SizeofResource(instance, found) < 26) {
        return {};
    }
    // An extended template begins with version 1 and 0xFFFF; its size follows the version, help id, styles, count
    // and position. A plain one has only the styles, count and position before it.
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    const size_t at = extended ? 11 : 7;
    return {static_cast<short>(words[at]), static_cast<short>(words[at + 1])};
}

SIZE DialogBaseUnits(HFONT font) {
    const fw::ClientDC screen(nullptr);
    if (!screen) {
        return {};
    }
    const fw::SelectObjectGuard select(screen.Get(), font);
    TEXTMETRICW metrics{};
    SIZE letters{};
    static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    if (!::GetTextMetricsW(screen.Get(), &metrics) ||
        !::GetTextExtentPoint32W(screen.Get(), kLetters, static_cast<int>(std::size(kLetters) - 1), &letters)) {
        return {};
    }
    return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

SIZE DialogUnitsToPixels(SIZE units, SIZE baseUnits) {
    return {::MulDiv(units.cx, baseUnits.cx, 4), ::MulDiv(units.cy, baseUnits.cy, 8)};
}

UniqueFont MakeDialogFont(HFONT like, UINT dpi) {
    LOGFONTW font{};
    if (!like || ::GetObjectW(like, sizeof font, &font) != sizeof font) {
        std::wcscpy(font.lfFaceName, L"MS Shell Dlg");
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
    }
    font.lfHeight = -::MulDiv(kDialogFontPoints, static_cast<int>(dpi), 72);
    font.lfWidth = 0;
    return UniqueFont(::CreateFontIndirectW(&font));
}

RECT ScaleRect(const RECT& rect, UINT to, UINT from) {
    const auto scale = [&](LONG value) { return fw::Rescale(value, to, from); };
    return {scale(rect.left), scale(rect.top), scale(rect.right), scale(rect.bottom)};
}

RECT KeepOnWorkArea(const RECT& rect) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return rect;
    }
    const RECT& work = monitor.rcWork;
    const LONG width = std::min(rect.right - rect.left, work.right - work.left);
    const LONG height = std::min(rect.bottom - rect.top, work.bottom - work.top);
    const LONG left = std::clamp(rect.left, work.left, work.right - width);
    const LONG top = std::clamp(rect.top, work.top, work.bottom - height);
    return {left, top, left + width, top + height};
}

StoredWindow ReadStoredWindow() {
    StoredWindow stored;
    const std::optional<int> left = ReadIntSetting(kWindowLeftSetting);
    const std::optional<int> top = ReadIntSetting(kWindowTopSetting);
    if (left && top) {
        stored.position = POINT{*left, *top};
    }
    const std::optional<int> width = ReadIntSetting(kWindowWidthSetting);
    const std::optional<int> height = ReadIntSetting(kWindowHeightSetting);
    if (width && height && *width > 0 && *height > 0) {
        stored.designSize = SIZE{*width, *height};
    }
    return stored;
}

void WriteStoredWindow(const RECT& window, UINT dpi) {
    WriteIntSetting(kWindowLeftSetting, window.left);
    WriteIntSetting(kWindowTopSetting, window.top);
    WriteIntSetting(kWindowWidthSetting, fw::ScaleToDesign(window.right - window.left, dpi));
    WriteIntSetting(kWindowHeightSetting, fw::ScaleToDesign(window.bottom - window.top, dpi));
}

std::vector<int> ReadColumnWidths(size_t columns) {
    std::vector<int> widths(columns, 0);
    const std::wstring text = core::ReadUserSetting(kColumnWidthsSetting).value_or(L"");
    size_t start = 0;
    for (size_t column = 0; column < columns && start <= text.size(); ++column) {
        const size_t comma = std::min(text.find(L',', start), text.size());
        const std::wstring field = text.substr(start, comma - start);
        wchar_t* end = nullptr;
        const long value = std::wcstol(field.c_str(), &end, 10);
        // A width no screen could show is as good as none.
        widths[column] = !field.empty() && *end == L'\0' && value > 0 && value <= 10000 ? static_cast<int>(value) : 0;
        start = comma + 1;
    }
    return widths;
}

void WriteColumnWidths(const std::vector<int>& designWidths) {
    std::wstring text;
    for (size_t column = 0; column < designWidths.size(); ++column) {
        text += (column ? L"," : L"") + std::to_wstring(designWidths[column]);
    }
    fw::IgnoreResult(core::WriteUserSetting(kColumnWidthsSetting, text));
}

void ScaledBanner::Draw(HDC dc, int x, int y, UINT dpi) {
    if (dpi != m_dpi) {
        Make(dc, dpi);
    }
    fw::UniqueMemoryDC memory(m_bitmap ? ::CreateCompatibleDC(dc) : nullptr);
    if (memory) {
        const fw::SelectObjectGuard select(memory.Get(), m_bitmap.Get());
        ::BitBlt(dc, x, y, m_size.cx, m_size.cy, memory.Get(), 0, 0, SRCCOPY);
    }
}

void ScaledBanner::Make(HDC dc, UINT dpi) {
    m_dpi = dpi;
    m_bitmap.Reset();
    fw::UniqueBitmap design(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    BITMAP info{};
    if (!design || ::GetObjectW(design.Get(), sizeof info, &info) != sizeof info) {
        return;
    }
    m_size = {fw::ScaleToDpi(info.bmWidth, dpi), fw::ScaleToDpi(info.bmHeight, dpi)};
    if (m_size.cx == info.bmWidth && m_size.cy == info.bmHeight) {
        m_bitmap = std::move(design);
        return;
    }
    fw::UniqueMemoryDC source(::CreateCompatibleDC(dc));
    fw::UniqueMemoryDC target(::CreateCompatibleDC(dc));
    fw::UniqueBitmap scaled(::CreateCompatibleBitmap(dc, m_size.cx, m_size.cy));
    if (!source || !target || !scaled) {
        return;
    }
    {
        const fw::SelectObjectGuard selectSource(source.Get(), design.Get());
        const fw::SelectObjectGuard selectTarget(target.Get(), scaled.Get());
        ::SetStretchBltMode(target.Get(), HALFTONE);
        fw::IgnoreResult(::SetBrushOrgEx(target.Get(), 0, 0, nullptr));
        ::StretchBlt(target.Get(), 0, 0, m_size.cx, m_size.cy, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                     SRCCOPY);
    }
    m_bitmap = std::move(scaled);
}

}  // namespace app
