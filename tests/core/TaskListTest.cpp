// The task list operations behave the same on the list-view control and in memory.
#include "core/ListCtrlEx.h"
#include "core/Task.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>

namespace {

using core::TaskColumn;
using core::TaskList;

// A real report-view list control in a hidden window, as the main window has it.
class ListViewTasks {
public:
    ListViewTasks() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        m_parent = ::CreateWindowExW(0, L"STATIC", L"tasks", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                     nullptr, nullptr);
        HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0,
                                      0, 500, 300, m_parent, reinterpret_cast<HMENU>(1001), nullptr, nullptr);
        m_list.Attach(list);
        m_list.SetupTaskColumns();
    }
    ~ListViewTasks() { ::DestroyWindow(m_parent); }
    TaskList& List() { return m_list; }
    core::CListCtrlEx& Control() { return m_list; }
    void Select(int row) { m_list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); }

private:
    HWND m_parent = nullptr;
    core::CListCtrlEx m_list;
};

class MemoryTasks {
public:
    TaskList& List() { return m_list; }
    void Select(int row) { m_list.SelectTask(row, true); }

private:
    core::MemoryTaskList m_list;
};

template <typename Tasks>
class TaskListContract : public testing::Test {
protected:
    void Fill(int count) {
        for (int i = 0; i < count; ++i) {
            List().AppendTask(L"prog" + std::to_wstring(i), i % 2 ? L"Stop" : L"Start",
                              L"0" + std::to_wstring(i) + L":00:00");
        }
    }
    std::wstring Program(int row) { return List().GetTaskText(row, TaskColumn::Program); }
    TaskList& List() { return m_tasks.List(); }
    Tasks m_tasks;
};

using Implementations = testing::Types<ListViewTasks, MemoryTasks>;
TYPED_TEST_SUITE(TaskListContract, Implementations);

TYPED_TEST(TaskListContract, EmptyList) {
    EXPECT_EQ(this->List().GetTaskCount(), 0);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), -1);
    this->List().RemoveTask(-1);
    this->List().RemoveTask(0);
    EXPECT_EQ(this->List().GetTaskCount(), 0);
}

TYPED_TEST(TaskListContract, AppendKeepsOrderAndWholeTexts) {
    const std::wstring longPath = L"C:\\" + std::wstring(1000, L'x') + L"\\\x65e5\x672c.exe";
    this->List().AppendTask(longPath, L"Start", L"7:30:00 AM");
    this->List().AppendTask(L"", L"", L"");
    this->List().AppendTask(L"Notepad", L"stop", L"Invalid DateTime");
    ASSERT_EQ(this->List().GetTaskCount(), 3);
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Program), longPath);
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Action), L"Start");
    EXPECT_EQ(this->List().GetTaskText(0, TaskColumn::Time), L"7:30:00 AM");
    EXPECT_EQ(this->List().GetTaskText(1, TaskColumn::Program), L"");
    EXPECT_EQ(this->List().GetTaskText(1, TaskColumn::Time), L"");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Action), L"stop");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Time), L"Invalid DateTime");
}

TYPED_TEST(TaskListContract, ReplaceKeepsThePosition) {
    this->Fill(5);
    this->List().ReplaceTask(2, L"new", L"Stop", L"23:59:59");
    ASSERT_EQ(this->List().GetTaskCount(), 5);
    EXPECT_EQ(this->Program(1), L"prog1");
    EXPECT_EQ(this->Program(2), L"new");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Action), L"Stop");
    EXPECT_EQ(this->List().GetTaskText(2, TaskColumn::Time), L"23:59:59");
    EXPECT_EQ(this->Program(3), L"prog3");
}

TYPED_TEST(TaskListContract, RemoveMovesLaterRowsUp) {
    this->Fill(5);
    this->List().RemoveTask(2);
    ASSERT_EQ(this->List().GetTaskCount(), 4);
    EXPECT_EQ(this->Program(2), L"prog3");
    EXPECT_EQ(this->Program(3), L"prog4");
    this->List().RemoveTask(-1);
    EXPECT_EQ(this->List().GetTaskCount(), 4);
}

TYPED_TEST(TaskListContract, FirstSelectedIsTheUpperOne) {
    this->Fill(5);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), -1);
    this->m_tasks.Select(3);
    this->m_tasks.Select(1);
    EXPECT_EQ(this->List().GetFirstSelectedTask(), 1);
    this->List().RemoveTask(this->List().GetFirstSelectedTask());
    EXPECT_EQ(this->Program(1), L"prog2");
    EXPECT_EQ(this->List().GetFirstSelectedTask(), 2);  // the former row 3
}

TEST(TaskListControl, ColumnsAndExtendedStyle) {
    ListViewTasks tasks;
    core::CListCtrlEx& list = tasks.Control();
    ASSERT_EQ(list.GetColumnCount(), 3);
    const wchar_t* headers[] = {L"Program ", L"Action", L"Time"};
    const int widths[] = {250, 80, 80};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64]{};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.pszText = text;
        col.cchTextMax = 64;
        ASSERT_TRUE(list.SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col)));
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(col.cx, widths[i]);
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    EXPECT_EQ(list.GetExtendedStyle() & 0x23u, 0x23u);

    // The styles are added to what the control already has.
    list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    list.SetupTaskColumns();
    EXPECT_EQ(list.GetExtendedStyle() & (0x23u | LVS_EX_CHECKBOXES), 0x23u | LVS_EX_CHECKBOXES);
}

}  // namespace
