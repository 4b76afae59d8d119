#include "control/ProcessListDialog.h"

#include "control/ProcessPath.h"
#include "framework/Dpi.h"
#include "res/resource.h"

namespace control {

namespace picker {

void SetUpList(fw::CReportCtrl& list, fw::CImageList& images, const std::wstring& heading) {
    const RECT client = list.GetClientRect();
    list.InsertColumn(0, heading, LVCFMT_LEFT, client.right - client.left, -1);
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT);
    // The dialog owns the image list: the list view only shows it.
    list.ModifyStyle(0, LVS_SHAREIMAGELISTS);
    // Small icons at the list's DPI: the shell's icon is drawn into that size.
    const int side = fw::SystemMetricForDpi(SM_CXSMICON, fw::DpiOf(list.GetSafeHwnd()));
    images.Create(side, side, ILC_COLOR32, 0, 0);
    list.SetImageList(images.GetSafeHandle(), LVSIL_SMALL);
}

void AddRow(fw::CReportCtrl& list, const fw::CImageList& images, const std::wstring& text, const std::wstring& path) {
    const fw::UniqueIcon icon = fw::GetFileTypeIcon(path, fw::IconSize::Small);
    const int image = icon ? images.Add(icon.Get()) : -1;
    const int row = list.InsertItem(list.GetItemCount(), text);
    if (row >= 0) {
        list.SetItemImage(row, 0, image);  // -1: the row shows no icon
    }
}

std::wstring FirstSelectedText(const fw::CReportCtrl& list) {
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    return row >= 0 ? list.GetItemText(row, 0) : std::wstring();
}

}  // namespace picker

CProcessListDialog::CProcessListDialog() : fw::CDialog(IDD_PROCESS_LIST) {}

const fw::MessageMap* CProcessListDialog::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnNotify<&CProcessListDialog::OnItemChanged>(IDC_PROCESS_LIST, LVN_ITEMCHANGED),
        fw::OnNotify<&CProcessListDialog::OnDblClk>(IDC_PROCESS_LIST, NM_DBLCLK),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

void CProcessListDialog::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_PROCESS_LIST, m_list);
}

bool CProcessListDialog::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    picker::SetUpList(m_list, m_imageList, L"Process Path");
    FillProcessList();
    return true;
}

void CProcessListDialog::FillProcessList() {
    for (DWORD id : ListProcessIds()) {
        AddProcessRow(id);
    }
}

void CProcessListDialog::AddProcessRow(DWORD processId) {
    if (processId == ::GetCurrentProcessId()) {
        return;
    }
    const std::wstring path = GetProcessImagePath(processId);
    if (path.empty()) {
        return;
    }
    picker::AddRow(m_list, m_imageList, path, path);
}

LRESULT CProcessListDialog::OnItemChanged(NMHDR*) {
    m_strSelection = picker::FirstSelectedText(m_list);
    return 0;
}

LRESULT CProcessListDialog::OnDblClk(NMHDR*) {
    OnOK();
    return 0;
}

}  // namespace control
