#pragma once
// Another process's windows as a test sees them: its top-level windows, and its list views read and changed through
// memory allocated in it.
#include "framework/Handle.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace testing_support {

inline std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s.processId) {
                s.found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The process's Marlowick main window once it is visible (its list is filled by then), or null.
inline HWND VisibleMainWindowOf(DWORD processId) {
    for (HWND hwnd : TopLevelWindowsOf(processId)) {
        if (::GetDlgItem(hwnd, IDC_TASK_LIST) && ::IsWindowVisible(hwnd)) {
            return hwnd;
        }
    }
    return nullptr;
}

// The list view of another process, read and changed through memory allocated in that process.
class RemoteList {
public:
    RemoteList(DWORD processId, HWND list)
        : m_list(list),
          m_process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId)) {
        if (m_process) {
            m_memory = ::VirtualAllocEx(m_process.Get(), nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
    }
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;
    ~RemoteList() {
        if (m_memory) {
            ::VirtualFreeEx(m_process.Get(), m_memory, 0, MEM_RELEASE);
        }
    }

    bool Valid() const { return m_memory != nullptr; }
    int Count() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

    std::wstring Text(int row, int column) const {
        auto* remoteText = static_cast<wchar_t*>(m_memory) + sizeof(LVITEMW);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = remoteText;
        item.cchTextMax = kTextChars;
        Write(item);
        const auto length =
            ::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_memory));
        std::wstring text(kTextChars, L'\0');
        SIZE_T read = 0;
        ::ReadProcessMemory(m_process.Get(), remoteText, text.data(), kTextChars * sizeof(wchar_t), &read);
        text.resize(std::clamp<size_t>(static_cast<size_t>(length), 0, kTextChars));
        return text;
    }

    std::vector<std::wstring> Column(int column) const {
        std::vector<std::wstring> texts;
        for (int row = 0; row < Count(); ++row) {
            texts.push_back(Text(row, column));
        }
        return texts;
    }

    void Select(int row, bool selected) const {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = selected ? LVIS_SELECTED : 0;
        Write(item);
        ::SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_memory));
    }

private:
    static constexpr size_t kTextChars = 1024;
    static constexpr size_t kSize = sizeof(LVITEMW) * 2 + kTextChars * sizeof(wchar_t) + 64;

    void Write(const LVITEMW& item) const {
        SIZE_T written = 0;
        ::WriteProcessMemory(m_process.Get(), m_memory, &item, sizeof item, &written);
    }

    HWND m_list;
    fw::UniqueHandle m_process;
    void* m_memory = nullptr;
};

}  // namespace testing_support
