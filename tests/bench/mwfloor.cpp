// The floor the bench holds Marlowick against: a bare dialog with the main window's controls, the same
// columns and, when asked, the same number of rows, a one-second timer that does nothing, COM initialised
// and the application icon in the notification area. What it costs to start, to answer, to sit idle and to
// hold in memory is what any tray program with that window costs.
//
//   mwfloor.exe [rows]
#include "bench/BenchProfile.h"
#include "bench/Clock.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>
#include <iterator>

namespace {

constexpr int kFloorDialog = 1;
constexpr UINT_PTR kTimerId = 1;
int g_rows = 0;

void FillList(HWND list) {
    struct Column {
        const wchar_t* title;
        int width;
    };
    static constexpr Column kColumns[] = {
        {L"Program ", 250}, {L"Action", 80}, {L"Time", 80}, {L"Days", 100}, {L"Last run", 220}};
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[i].width;
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.iSubItem = i;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    const auto style = static_cast<DWORD>(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   style | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);

    for (const bench::TaskRow& row : bench::IdleRows(g_rows, bench::NowTicks())) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<wchar_t*>(row.program.c_str());
        const auto index = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        const std::wstring* texts[] = {&row.action, &row.time};
        for (int sub = 1; sub <= 2; ++sub) {
            LVITEMW cell{};
            cell.iSubItem = sub;
            cell.pszText = const_cast<wchar_t*>(texts[sub - 1]->c_str());
            ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
        }
    }
}

// The icon in the notification area, as a tray program shows it: the small image of the application icon.
NOTIFYICONDATAW TrayIconData(HWND dialog) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = dialog;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = WM_APP;
    data.hIcon =
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MARLOWICK), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    std::wcscpy(data.szTip, L"Marlowick floor");
    return data;
}

INT_PTR CALLBACK FloorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            FillList(::GetDlgItem(dialog, IDC_TASK_LIST));
            NOTIFYICONDATAW tray = TrayIconData(dialog);
            ::Shell_NotifyIconW(NIM_ADD, &tray);
            ::SetTimer(dialog, kTimerId, 1000, nullptr);
            return TRUE;
        }
        case WM_DESTROY: {
            NOTIFYICONDATAW tray = TrayIconData(dialog);
            ::Shell_NotifyIconW(NIM_DELETE, &tray);
            return FALSE;
        }
        case WM_TIMER:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
                ::EndDialog(dialog, 0);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    g_rows = static_cast<int>(std::wcstol(commandLine, nullptr, 10));
    const HRESULT com = ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(kFloorDialog), nullptr, FloorProc, 0);
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return 0;
}
