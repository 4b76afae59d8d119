#pragma once
// The sortable report list of the two pickers: coloured cells, and rows sorted by a clicked column header.
#include "framework/ListCtrl.h"

#include <string>
#include <vector>

namespace fw {

// Sent to the parent after every header-click sort: wParam the column, lParam 1 ascending, 0 descending.
inline constexpr UINT kSortNotifyMessage = WM_APP + 10001;

// The record of one row, kept as the row's item data: per-column text and background colours.
struct CReportItemData {
    std::vector<COLORREF> textColors;
    std::vector<COLORREF> backColors;
};

// A report-view list control attached to a list view of a dialog. Every row carries a record whose colour
// arrays have one entry per header column, in column order.
class CReportCtrl : public fw::CListCtrl {
public:
    CReportCtrl() = default;
    ~CReportCtrl() override;

    // Inserts a header column and a default colour entry at its index in every row. The index, or -1.
    int InsertColumn(int column, const std::wstring& heading, int format, int width, int subItem = -1);
    // Inserts a row with its text and attaches a new record; ends any sort in force. The index, or -1.
    int InsertItem(int item, const std::wstring& text);
    // Colours of one cell; false when the row or column does not exist.
    bool SetCellColors(int item, int column, COLORREF text, COLORREF back) const;
    const CReportItemData* GetItemRecord(int item) const;

    int GetSortColumn() const { return m_nSortCol; }
    bool IsSortAscending() const { return m_bSortAscending; }

    bool PreTranslateMessage(MSG& msg) override;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void PreSubclassWindow() override;

private:
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    LRESULT OnColumnClick(NMLISTVIEW* view);
    LRESULT OnDeleteItem(NMLISTVIEW* view);
    void OnDestroy();

    bool CanSort() const;
    void SortRows();
    void FreeRecords();

    int m_nSortCol = -1;
    bool m_bSortAscending = true;
};

}  // namespace fw
