#include "framework/Dialog.h"

#include "framework/WinApp.h"

#include <utility>
#include <vector>

namespace fw {

HWND CDataExchange::Control(int id) const {
    return m_dialog.GetDlgItem(id);
}

CDialog::~CDialog() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::DestroyWindow(m_hWnd);
    }
}

const MessageMap* CDialog::StaticMessageMap() {
    static constexpr MsgEntry kEntries[] = {
        OnCommand<&CDialog::OnOK>(IDOK),
        OnCommand<&CDialog::OnCancel>(IDCANCEL),
    };
    static const MessageMap map{CWnd::StaticMessageMap(), kEntries};
    return &map;
}

HWND CDialog::GetSafeOwner(HWND parent) {
    HWND owner = parent;
    if (!owner) {
        if (CWinApp* app = CWinApp::Current(); app && app->m_pMainWnd) {
            owner = app->m_pMainWnd->GetSafeHwnd();
        }
    }
    if (!owner) {
        owner = ::GetActiveWindow();
    }
    if (!owner) {
        return nullptr;
    }
    owner = ::GetAncestor(owner, GA_ROOT);
    return owner ? ::GetLastActivePopup(owner) : nullptr;
}

bool CDialog::Create(HWND parent) {
    if (m_hWnd) {
        return false;
    }
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), parent,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND owner = GetSafeOwner(m_hParent);
    bool enableOwner = false;
    if (owner && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }
    m_endModal = false;
    m_nModalResult = -1;
    m_inModalLoop = true;
    if (Create(owner) && !HasPendingException()) {
        if (!m_endModal && !(GetStyle() & WS_VISIBLE)) {
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        }
        RunModalLoop();
    }
    m_inModalLoop = false;
    if (enableOwner) {
        ::EnableWindow(owner, TRUE);
    }
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (owner && ::GetActiveWindow() == m_hWnd) {
            ::SetActiveWindow(owner);
        }
        ::DestroyWindow(m_hWnd);
    }
    RethrowPendingException();
    return m_nModalResult;
}

void CDialog::RunModalLoop() {
    MSG msg;
    while (!m_endModal && !HasPendingException()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // The quit message ends this loop and every loop outside it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!CWnd::WalkPreTranslateTree(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    if (m_inModalLoop) {
        m_endModal = true;
        // Wakes the loop when the request comes from a handler that runs outside it.
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::DestroyWindow(m_hWnd);
    }
}

bool CDialog::UpdateData(bool save) {
    CDataExchange dx(*this, save);
    DoDataExchange(dx);
    return true;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::PreTranslateMessage(MSG& msg) {
    return m_hWnd && ::IsDialogMessageW(m_hWnd, &msg);
}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        if (CWnd::OnWndMsg(message, wParam, lParam, result)) {
            return true;
        }
        result = OnInitDialog() ? TRUE : FALSE;
        return true;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The platform's dialog processing calls the dialog procedure first: let it pass this one message.
    m_skipDialogProc = true;
    const LRESULT result = ::DefDlgProcW(m_hWnd, message, wParam, lParam);
    m_skipDialogProc = false;
    return result;
}

bool CDialog::ReturnsResultDirectly(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CHARTOITEM:
        case WM_COMPAREITEM:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_QUERYDRAGICON:
        case WM_VKEYTOITEM:
            return true;
        default:
            return false;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = hwnd;
        dialog->SetPermanent(hwnd);
    } else {
        dialog = static_cast<CDialog*>(FromHandlePermanent(hwnd));
    }
    if (!dialog) {
        return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT) keep the default processing
    }
    return dialog->RunDialogProc(hwnd, message, wParam, lParam);
}

INT_PTR CDialog::RunDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (std::exchange(m_skipDialogProc, false)) {
        return FALSE;
    }
    const CurrentMessage saved = std::exchange(m_current, CurrentMessage{message, wParam, lParam});
    LRESULT result = 0;
    bool handled = false;
    try {
        handled = OnWndMsg(message, wParam, lParam, result);
    } catch (...) {
        KeepPendingException(std::current_exception());
        handled = false;
        if (m_inModalLoop) {
            m_endModal = true;
            ::PostMessageW(hwnd, WM_NULL, 0, 0);
        }
    }
    m_current = saved;
    if (message == WM_NCDESTROY) {
        ClearPermanent(hwnd);
        m_hWnd = nullptr;
        PostNcDestroy();
        return FALSE;
    }
    if (!handled) {
        return FALSE;
    }
    if (ReturnsResultDirectly(message)) {
        return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

void DDX_Text(CDataExchange& dx, int id, std::wstring& value) {
    HWND control = dx.Control(id);
    if (dx.Saving()) {
        const int length = ::GetWindowTextLengthW(control);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const int copied = ::GetWindowTextW(control, text.data(), length + 1);
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        value = std::move(text);
    } else {
        ::SetWindowTextW(control, value.c_str());
    }
}

void DDX_CBString(CDataExchange& dx, int id, std::wstring& value) {
    HWND control = dx.Control(id);
    if (dx.Saving()) {
        const auto index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) {
            value.clear();
            return;
        }
        const auto length = ::SendMessageW(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR) {
            value.clear();
            return;
        }
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
        ::SendMessageW(control, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        value = text.data();
    } else {
        ::SendMessageW(control, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.c_str()));
    }
}

void DDX_Check(CDataExchange& dx, int id, int& value) {
    HWND control = dx.Control(id);
    if (dx.Saving()) {
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

void DDX_Check(CDataExchange& dx, int id, bool& value) {
    HWND control = dx.Control(id);
    if (dx.Saving()) {
        value = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    } else {
        ::SendMessageW(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_CheckBit(CDataExchange& dx, int id, unsigned& flags, unsigned bit) {
    bool ticked = (flags & bit) != 0;
    DDX_Check(dx, id, ticked);
    if (dx.Saving()) {
        flags = ticked ? (flags | bit) : (flags & ~bit);
    }
}

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
    if (!control.GetSafeHwnd()) {
        control.SubclassWindow(dx.Control(id));
    }
}

}  // namespace fw
