#pragma once
// The platform's file-open dialog (the newer, Vista-style, dialog where available, else the older one) and
// the shell's folder chooser.
#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>
#include <vector>

namespace fw {

// A file-open dialog. The filter is in the form "Name|pattern|Name|pattern||".
class CFileDialog {
public:
    CFileDialog(bool open,
                std::wstring defaultExtension,
                std::wstring fileName,
                DWORD flags,
                std::wstring filter,
                HWND parent = nullptr,
                bool vistaStyle = true);

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();
    // The full path of the chosen file (the first one of a multiple selection).
    std::wstring GetPathName() const { return m_paths.empty() ? std::wstring() : m_paths.front(); }
    const std::vector<std::wstring>& GetPathNames() const { return m_paths; }
    // Whether the last run showed the newer dialog.
    bool UsedVistaStyle() const { return m_usedVista; }

    // The filter's pairs of name and pattern.
    static std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(const std::wstring& filter);

private:
    // S_OK with a choice, S_FALSE when cancelled, an error when the newer dialog cannot be used.
    HRESULT RunVistaDialog();
    INT_PTR RunOldDialog();

    bool m_open;
    std::wstring m_defaultExtension;
    std::wstring m_fileName;
    DWORD m_flags;
    std::wstring m_filter;
    HWND m_hParent;
    bool m_vistaStyle;
    std::vector<std::wstring> m_paths;
    bool m_usedVista = false;
};

// The shell's folder chooser, offering file-system folders only and opening at the initial folder when it
// exists; the prompt is shown above the folders. The full path of the chosen folder, or nothing when the user
// cancels. The calling thread needs COM in a single-threaded apartment, as the program's window thread has.
std::optional<std::wstring> BrowseForFolder(HWND parent, const std::wstring& prompt, const std::wstring& initialFolder);

}  // namespace fw
