#include "control/WindowListDialog.h"

#include "control/ProcessListDialog.h"
#include "control/ProcessPath.h"
#include "framework/Gdi.h"
#include "framework/Handle.h"
#include "res/resource.h"

namespace control {

bool IsTaskbarWindow(HWND hwnd) {
    const auto exStyle = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_EXSTYLE));
    if (exStyle & WS_EX_APPWINDOW) {
        return true;
    }
    HWND parent = ::GetParent(hwnd);
    if (parent && parent != ::GetDesktopWindow()) {
        return false;
    }
    if (::GetWindow(hwnd, GW_OWNER)) {
        return false;
    }
    if (!::IsWindowVisible(hwnd)) {
        return false;
    }
    return (exStyle & WS_EX_TOOLWINDOW) == 0;
}

void HighlightWindowFrame(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    fw::UniquePen pen;  // declared first: deleted after the context is released
    {
        const fw::WindowDC dc(hwnd);
        if (!dc) {
            return;
        }
        ::SetROP2(dc.Get(), R2_NOT);
        pen.Reset(::CreatePen(PS_INSIDEFRAME, 3, RGB(255, 0, 0)));
        const fw::SelectObjectGuard selectPen(dc.Get(), pen.Get());
        const fw::SelectObjectGuard selectBrush(dc.Get(), ::GetStockObject(NULL_BRUSH));
        ::Rectangle(dc.Get(), 0, 0, width, height);
    }  // the old pen and brush go back, then the context is released; the pen is deleted last
}

CWindowListDialog::CWindowListDialog() : fw::CDialog(IDD_WINDOW_LIST) {}

const fw::MessageMap* CWindowListDialog::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnNotify<&CWindowListDialog::OnDblClk>(IDC_WINDOW_LIST, NM_DBLCLK),
        fw::OnNotify<&CWindowListDialog::OnItemChanged>(IDC_WINDOW_LIST, LVN_ITEMCHANGED),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

void CWindowListDialog::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_WINDOW_LIST, m_list);
}

bool CWindowListDialog::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    picker::SetUpList(m_list, m_imageList, L"Window Name");
    fw::IgnoreResult(::EnumDesktopWindows(nullptr, &CWindowListDialog::AddWindowProc, reinterpret_cast<LPARAM>(this)));
    return true;
}

BOOL CALLBACK CWindowListDialog::AddWindowProc(HWND hwnd, LPARAM lParam) {
    // The enumeration is the platform's: nothing may be thrown through it.
    try {
        reinterpret_cast<CWindowListDialog*>(lParam)->AddWindowRow(hwnd);
    } catch (...) {
        fw::KeepPendingException(std::current_exception());
        return FALSE;
    }
    return TRUE;
}

void CWindowListDialog::AddWindowRow(HWND hwnd) {
    if (!IsTaskbarWindow(hwnd)) {
        return;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    if (processId == ::GetCurrentProcessId()) {
        return;
    }
    const std::wstring title = ReadWindowTitle(hwnd);
    picker::AddRow(m_list, m_imageList, title, GetProcessImagePath(processId));
}

LRESULT CWindowListDialog::OnItemChanged(NMHDR*) {
    m_strSelection = picker::FirstSelectedText(m_list);
    if (HWND window = ::FindWindowW(nullptr, m_strSelection.c_str())) {
        HighlightWindowFrame(window);
    }
    return 0;
}

LRESULT CWindowListDialog::OnDblClk(NMHDR*) {
    OnOK();
    return 0;
}

}  // namespace control
