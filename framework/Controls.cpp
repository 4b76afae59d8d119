#include "framework/Controls.h"

#include <shellapi.h>

#include <vector>

namespace fw {

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero length the call hands out a pointer into the resource itself, of any length.
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

UniqueIcon GetFileTypeIcon(const std::wstring& path, IconSize size) {
    // By the name alone: the file may be missing, or on a drive that would be slow to open.
    UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES;
    if (size == IconSize::Small) {
        flags |= SHGFI_SMALLICON;
    }
    SHFILEINFOW info{};
    IgnoreResult(::SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags));
    return UniqueIcon(info.hIcon);
}

std::wstring CComboBox::GetLBText(int index) const {
    const auto length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) {
        return {};
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

bool CStatusBar::Create(HWND parent, DWORD style, UINT id) {
    HWND hwnd =
        ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", style, 0, 0, 0, 0, parent,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    Attach(hwnd);
    return hwnd != nullptr;
}

bool CStatusBar::SetIndicators(const UINT* ids, int count) {
    if (count < 0 || count > static_cast<int>(std::size(m_panes))) {
        return false;
    }
    m_paneCount = count;
    const int width = count > 0 ? (GetClientRect().right / count) : 0;
    for (int i = 0; i < count; ++i) {
        m_panes[i] = Pane{ids[i], 0, width, LoadResourceString(ids[i])};
    }
    ApplyPanes();
    return true;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width) {
    if (index < 0 || index >= m_paneCount) {
        return;
    }
    Pane& pane = m_panes[index];
    if (pane.id != id) {
        pane.text = LoadResourceString(id);
    }
    pane.id = id;
    pane.style = style;
    pane.width = width;
    ApplyPanes();
}

void CStatusBar::ApplyPanes() const {
    int edges[std::size(m_panes)]{};
    int right = 0;
    for (int i = 0; i < m_paneCount; ++i) {
        right += m_panes[i].width;
        edges[i] = right;
    }
    SendMessage(SB_SETPARTS, static_cast<WPARAM>(m_paneCount), reinterpret_cast<LPARAM>(edges));
    for (int i = 0; i < m_paneCount; ++i) {
        SendMessage(SB_SETTEXTW, static_cast<WPARAM>(i) | m_panes[i].style,
                    reinterpret_cast<LPARAM>(m_panes[i].text.c_str()));
    }
}

std::wstring CStatusBar::GetPaneText(int index) const {
    const auto length = LOWORD(SendMessage(SB_GETTEXTLENGTHW, static_cast<WPARAM>(index)));
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendMessage(SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

}  // namespace fw
