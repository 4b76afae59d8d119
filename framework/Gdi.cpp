#include "framework/Gdi.h"

#include "framework/Handle.h"

namespace fw {

void DrawResourceBitmap(HDC dc, HINSTANCE instance, UINT id, int x, int y) {
    UniqueBitmap bitmap(
        static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    if (!bitmap) {
        return;
    }
    BITMAP info{};
    UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    if (memory && ::GetObjectW(bitmap.Get(), sizeof info, &info) == sizeof info) {
        const SelectObjectGuard select(memory.Get(), bitmap.Get());
        ::BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory.Get(), 0, 0, SRCCOPY);
    }
}

}  // namespace fw
