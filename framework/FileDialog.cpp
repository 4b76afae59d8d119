#include "framework/FileDialog.h"

#include "framework/Handle.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

namespace fw {
namespace {

std::wstring ItemPath(IShellItem* item) {
    UniqueCoTaskString path;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Put())) || !path) {
        return {};
    }
    return path.Get();
}

// Starts the folder chooser at the folder that lpData names, once the chooser has filled its tree.
int CALLBACK SelectInitialFolder(HWND hwnd, UINT message, LPARAM, LPARAM lpData) {
    if (message == BFFM_INITIALIZED && lpData) {
        ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, lpData);
    }
    return 0;
}

using FileNameDialog = BOOL(WINAPI*)(OPENFILENAMEW*);

// The older dialog's library is loaded the first time that dialog is wanted, and stays. Imported, it would be
// loaded at every start with the printing libraries it imports in turn (winspool, and under Wine the CUPS
// client with its TLS and Kerberos libraries): several megabytes and milliseconds for a dialog seldom seen.
FileNameDialog OldDialogFunction(bool open) {
    // A known DLL: the system's copy is the one loaded, whatever lies beside the program.
    static const UniqueLibrary library(::LoadLibraryW(L"comdlg32.dll"));
    if (!library) {
        return nullptr;
    }
    return reinterpret_cast<FileNameDialog>(
        reinterpret_cast<void*>(::GetProcAddress(library.Get(), open ? "GetOpenFileNameW" : "GetSaveFileNameW")));
}

}  // namespace

CFileDialog::CFileDialog(bool open,
                         std::wstring defaultExtension,
                         std::wstring fileName,
                         DWORD flags,
                         std::wstring filter,
                         HWND parent,
                         bool vistaStyle)
    : m_open(open),
      m_defaultExtension(std::move(defaultExtension)),
      m_fileName(std::move(fileName)),
      m_flags(flags),
      m_filter(std::move(filter)),
      m_hParent(parent),
      m_vistaStyle(vistaStyle) {}

std::vector<std::pair<std::wstring, std::wstring>> CFileDialog::ParseFilter(const std::wstring& filter) {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t nameEnd = filter.find(L'|', pos);
        if (nameEnd == std::wstring::npos || nameEnd == pos) {
            break;
        }
        const size_t patternEnd = filter.find(L'|', nameEnd + 1);
        const size_t end = patternEnd == std::wstring::npos ? filter.size() : patternEnd;
        pairs.emplace_back(filter.substr(pos, nameEnd - pos), filter.substr(nameEnd + 1, end - nameEnd - 1));
        pos = end + 1;
    }
    return pairs;
}

INT_PTR CFileDialog::DoModal() {
    m_paths.clear();
    m_usedVista = false;
    if (m_vistaStyle && m_open) {
        const HRESULT hr = RunVistaDialog();
        m_usedVista = SUCCEEDED(hr);
        if (hr == S_OK) {
            return IDOK;
        }
        if (hr == S_FALSE) {
            return IDCANCEL;
        }
    }
    return RunOldDialog();
}

HRESULT CFileDialog::RunVistaDialog() {
    ComPtr<IFileOpenDialog> dialog;
    HRESULT hr =
        ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog, dialog.PutVoid());
    if (FAILED(hr) || !dialog) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    const auto pairs = ParseFilter(m_filter);
    std::vector<COMDLG_FILTERSPEC> specs;
    for (const auto& [name, pattern] : pairs) {
        specs.push_back({name.c_str(), pattern.c_str()});
    }
    if (!specs.empty()) {
        IgnoreResult(dialog->SetFileTypes(static_cast<UINT>(specs.size()), specs.data()));
    }
    FILEOPENDIALOGOPTIONS options = 0;
    IgnoreResult(dialog->GetOptions(&options));
    options |= FOS_FORCEFILESYSTEM;
    if (m_flags & OFN_ALLOWMULTISELECT) {
        options |= FOS_ALLOWMULTISELECT;
    }
    IgnoreResult(dialog->SetOptions(options));
    if (!m_defaultExtension.empty()) {
        IgnoreResult(dialog->SetDefaultExtension(m_defaultExtension.c_str()));
    }
    if (!m_fileName.empty()) {
        IgnoreResult(dialog->SetFileName(m_fileName.c_str()));
    }
    hr = dialog->Show(m_hParent);
    if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return S_FALSE;
    }
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IShellItemArray> items;
    if (FAILED(dialog->GetResults(reinterpret_cast<IShellItemArray**>(items.PutVoid()))) || !items) {
        return S_FALSE;
    }
    DWORD count = 0;
    IgnoreResult(items->GetCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        if (SUCCEEDED(items->GetItemAt(i, reinterpret_cast<IShellItem**>(item.PutVoid()))) && item) {
            if (std::wstring path = ItemPath(item.Get()); !path.empty()) {
                m_paths.push_back(std::move(path));
            }
        }
    }
    return m_paths.empty() ? S_FALSE : S_OK;
}

INT_PTR CFileDialog::RunOldDialog() {
    // The filter with NUL separators, and room for many names when several may be chosen.
    std::wstring filter = m_filter;
    for (wchar_t& c : filter) {
        if (c == L'|') {
            c = L'\0';
        }
    }
    filter.push_back(L'\0');
    std::vector<wchar_t> buffer((m_flags & OFN_ALLOWMULTISELECT) ? 65536 : MAX_PATH * 4, L'\0');
    m_fileName.copy(buffer.data(), std::min(m_fileName.size(), buffer.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hParent;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    ofn.Flags = m_flags | OFN_EXPLORER;
    const FileNameDialog show = OldDialogFunction(m_open);
    if (!show || !show(&ofn)) {
        return IDCANCEL;
    }
    // One path, or a folder followed by names, each ended by a NUL, the list by a second NUL.
    const std::wstring first = buffer.data();
    const wchar_t* next = buffer.data() + first.size() + 1;
    if (!(m_flags & OFN_ALLOWMULTISELECT) || *next == L'\0') {
        m_paths.push_back(first);
        return IDOK;
    }
    while (*next != L'\0') {
        const std::wstring name = next;
        m_paths.push_back(first + L"\\" + name);
        next += name.size() + 1;
    }
    return IDOK;
}

std::optional<std::wstring> BrowseForFolder(HWND parent,
                                            const std::wstring& prompt,
                                            const std::wstring& initialFolder) {
    BROWSEINFOW info{};
    info.hwndOwner = parent;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = SelectInitialFolder;
    info.lParam = initialFolder.empty() ? 0 : reinterpret_cast<LPARAM>(initialFolder.c_str());
    const UniqueCoTaskMem<ITEMIDLIST> chosen(::SHBrowseForFolderW(&info));
    if (!chosen) {
        return std::nullopt;
    }
    // The path as the shell gives it, however long: a MAX_PATH buffer would refuse a deep folder.
    UniqueCoTaskString path;
    if (FAILED(::SHGetNameFromIDList(chosen.Get(), SIGDN_FILESYSPATH, path.Put())) || !path) {
        return std::nullopt;
    }
    return std::wstring(path.Get());
}

}  // namespace fw
