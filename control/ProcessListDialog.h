#pragma once
// The process picker: the image paths of the running processes, one row each, with their type icons.
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/ReportCtrl.h"

#include <string>

namespace control {

// What the two pickers share: the list set-up, a row with its icon, and the text of the first selected row.
namespace picker {
void SetUpList(fw::CReportCtrl& list, fw::CImageList& images, const std::wstring& heading);
void AddRow(fw::CReportCtrl& list, const fw::CImageList& images, const std::wstring& text, const std::wstring& path);
std::wstring FirstSelectedText(const fw::CReportCtrl& list);
}  // namespace picker

// The modal dialog "Please select a process"; after OK, GetSelection is the chosen image path.
class CProcessListDialog : public fw::CDialog {
public:
    CProcessListDialog();

    // The text of the row selected last; empty when none was.
    std::wstring GetSelection() const { return m_strSelection; }

    // Adds a row for every process that can be inspected, in the order of the enumeration.
    void FillProcessList();
    // Adds one row for the process, or nothing for the program's own process or one without a path.
    void AddProcessRow(DWORD processId);

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    LRESULT OnItemChanged(NMHDR*);
    LRESULT OnDblClk(NMHDR*);

    fw::CReportCtrl m_list;
    fw::CImageList m_imageList;
    std::wstring m_strSelection;
};

}  // namespace control
