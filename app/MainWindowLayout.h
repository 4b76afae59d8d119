#pragma once
// The main window's lengths at its DPI (the template's size, the dialog font, the frame, the banner) and the
// window settings kept for each user between runs.
#include "framework/Handle.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace app {

using fw::UniqueFont;

// The user's settings of the main window: its position in screen pixels, its size and the widths the user gave the
// list's columns at 96 DPI ("250,0,120,..." with 0 for a column that fits its contents).
inline constexpr wchar_t kWindowLeftSetting[] = L"WindowLeft";
inline constexpr wchar_t kWindowTopSetting[] = L"WindowTop";
inline constexpr wchar_t kWindowWidthSetting[] = L"WindowWidth";
inline constexpr wchar_t kWindowHeightSetting[] = L"WindowHeight";
inline constexpr wchar_t kColumnWidthsSetting[] = L"ColumnWidths";

// The size of a dialog template of the program, in dialog units; empty when it cannot be read.
SIZE TemplateSize(HINSTANCE instance, UINT id);
// The dialog base units of a font as the dialog manager computes them: the average width of the letters, and the
// height.
SIZE DialogBaseUnits(HFONT font);
SIZE DialogUnitsToPixels(SIZE units, SIZE baseUnits);
// The dialog font of the templates ("MS Shell Dlg" 8) at dpi, with the face and weight of the given font.
UniqueFont MakeDialogFont(HFONT like, UINT dpi);
// A rectangle scaled from one DPI to another.
RECT ScaleRect(const RECT& rect, UINT to, UINT from);
// The rectangle moved onto the work area of the monitor nearest to it, so that a window restored after a monitor
// went away can still be reached; its size is kept as far as the work area allows.
RECT KeepOnWorkArea(const RECT& rect);

// The window as the user left it; each part is missing when it was never stored or cannot be read.
struct StoredWindow {
    std::optional<POINT> position;
    std::optional<SIZE> designSize;
};
StoredWindow ReadStoredWindow();
void WriteStoredWindow(const RECT& window, UINT dpi);
// The widths the user gave the columns at 96 DPI, one for each column; 0 where none was given or it is unreadable.
std::vector<int> ReadColumnWidths(size_t columns);
void WriteColumnWidths(const std::vector<int>& designWidths);

// The banner at the window's DPI: a copy scaled with halftone once for each DPI, so that a paint only copies it.
class ScaledBanner {
public:
    explicit ScaledBanner(UINT bitmapId) : m_id(bitmapId) {}
    // Draws at the point, made (or made again for another DPI) on the first paint that needs it.
    void Draw(HDC dc, int x, int y, UINT dpi);
    SIZE Size() const { return m_size; }

private:
    void Make(HDC dc, UINT dpi);

    UINT m_id;
    UINT m_dpi = 0;
    fw::UniqueBitmap m_bitmap;
    SIZE m_size{};
};

}  // namespace app
