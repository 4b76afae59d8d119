// The process and window pickers with real helper processes and windows.
#include "control/ProcessListDialog.h"
#include "control/ProcessPath.h"
#include "control/WindowListDialog.h"
#include "framework/ListCtrl.h"
#include "helpers/DialogThread.h"
#include "helpers/HelperProcess.h"
#include "res/resource.h"
#include "framework/ReportCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using testing_support::DialogThread;
using testing_support::HelperProcess;

// A picker run modally on its own thread, with its list read and driven from the test's thread.
template <typename Dialog>
class PickerRun {
public:
    explicit PickerRun(int listId) {
        m_thread = std::make_unique<DialogThread>([this] { return m_dialog.DoModal(); });
        m_hwnd = m_thread->WaitForWindow(20000);
        if (m_hwnd) {
            m_list.Attach(::GetDlgItem(m_hwnd, listId));
        }
    }
    ~PickerRun() {
        if (!m_thread->Done()) {
            ::PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
        }
        m_thread.reset();
        m_list.Detach();
    }
    bool Opened() const { return m_hwnd != nullptr; }
    std::vector<std::wstring> Rows() const {
        std::vector<std::wstring> rows;
        for (int row = 0; row < m_list.GetItemCount(); ++row) {
            rows.push_back(m_list.GetItemText(row, 0));
        }
        return rows;
    }
    int Find(const std::wstring& text) const {
        const auto rows = Rows();
        const auto it = std::find(rows.begin(), rows.end(), text);
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }
    void Select(int row) const { m_list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); }
    INT_PTR Press(int id) {
        ::SendMessageW(::GetDlgItem(m_hwnd, id), BM_CLICK, 0, 0);
        return m_thread->Join();
    }
    // A double-click on the empty space below the rows.
    INT_PTR DoubleClickBelowRows() {
        const RECT client = m_list.GetClientRect();
        ::SendMessageW(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, client.bottom - 3));
        return m_thread->Join();
    }

    Dialog m_dialog;
    fw::CListCtrl m_list;
    HWND m_hwnd = nullptr;
    std::unique_ptr<DialogThread> m_thread;
};

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
};

std::wstring OwnImagePath() {
    return control::GetProcessImagePath(::GetCurrentProcessId());
}

TEST_F(PickerTest, ProcessPickerListsHelpersWithIconsButNotItself) {
    HelperProcess first({L"--lifetime", L"30000"});
    HelperProcess second({L"--lifetime", L"30000"});
    ASSERT_TRUE(first.Started() && second.Started());
    const std::wstring helperPath = control::GetProcessImagePath(first.Id());
    ASSERT_FALSE(helperPath.empty());

    PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
    ASSERT_TRUE(picker.Opened());
    wchar_t title[64]{};
    ::GetWindowTextW(picker.m_hwnd, title, 64);
    EXPECT_STREQ(L"Please select a process", title);
    const auto rows = picker.Rows();
    EXPECT_EQ(2, std::count(rows.begin(), rows.end(), helperPath));  // two instances, two identical rows
    EXPECT_EQ(0, std::count(rows.begin(), rows.end(), OwnImagePath()));
    EXPECT_EQ(0, std::count(rows.begin(), rows.end(), std::wstring()));
    const int row = picker.Find(helperPath);
    EXPECT_GE(picker.m_list.GetItemImage(row, 0), 0);

    picker.Select(row);
    EXPECT_EQ(IDOK, picker.Press(IDOK));
    EXPECT_EQ(helperPath, picker.m_dialog.GetSelection());
}

TEST_F(PickerTest, ProcessPickerOkWithoutSelectionGivesEmptyTextAndCancelGivesCancel) {
    {
        PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
        ASSERT_TRUE(picker.Opened());
        EXPECT_EQ(IDOK, picker.Press(IDOK));
        EXPECT_EQ(L"", picker.m_dialog.GetSelection());
    }
    PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
    ASSERT_TRUE(picker.Opened());
    EXPECT_EQ(IDCANCEL, picker.Press(IDCANCEL));
}

TEST_F(PickerTest, ProcessPickerTakesTheFirstSelectedRowAndDoubleClickConfirms) {
    HelperProcess helper({L"--lifetime", L"30000"});
    {
        PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
        ASSERT_TRUE(picker.Opened());
        const auto rows = picker.Rows();
        ASSERT_GE(rows.size(), 3u);
        picker.Select(2);
        picker.Select(0);
        EXPECT_EQ(IDOK, picker.Press(IDOK));
        EXPECT_EQ(rows[0], picker.m_dialog.GetSelection());
    }
    PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
    ASSERT_TRUE(picker.Opened());
    const auto rows = picker.Rows();
    picker.Select(1);
    EXPECT_EQ(IDOK, picker.DoubleClickBelowRows());
    EXPECT_EQ(rows[1], picker.m_dialog.GetSelection());
}

TEST_F(PickerTest, ProcessPickerHeaderClickSortsRowsWithTheirIcons) {
    HelperProcess helper({L"--lifetime", L"30000"});
    PickerRun<control::CProcessListDialog> picker(IDC_PROCESS_LIST);
    ASSERT_TRUE(picker.Opened());
    auto pairs = [&] {
        std::vector<std::pair<std::wstring, int>> rows;
        for (int row = 0; row < picker.m_list.GetItemCount(); ++row) {
            rows.emplace_back(picker.m_list.GetItemText(row, 0), picker.m_list.GetItemImage(row, 0));
        }
        return rows;
    };
    auto before = pairs();
    ASSERT_GE(before.size(), 3u);
    NMLISTVIEW click{};
    click.hdr.hwndFrom = picker.m_list;
    click.hdr.idFrom = IDC_PROCESS_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = 0;
    ::SendMessageW(picker.m_hwnd, WM_NOTIFY, IDC_PROCESS_LIST, reinterpret_cast<LPARAM>(&click));
    auto after = pairs();
    for (size_t i = 1; i < after.size(); ++i) {
        EXPECT_LE(fw::CompareCells(after[i - 1].first, after[i].first), 0);
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);  // every path keeps its own icon
}

// Windows of the test's own process, made on the test's thread.
class OwnWindow {
public:
    OwnWindow(const wchar_t* title, DWORD style, DWORD exStyle, HWND owner = nullptr, int x = 100, int y = 100) {
        m_hwnd = ::CreateWindowExW(exStyle, L"STATIC", title, style, x, y, 300, 200, owner, nullptr, nullptr, nullptr);
    }
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;
    ~OwnWindow() {
        if (m_hwnd) {
            ::DestroyWindow(m_hwnd);
        }
    }
    HWND Get() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

TEST_F(PickerTest, ListingRuleForTaskbarWindows) {
    const DWORD visible = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    const OwnWindow plain(L"plain", visible, 0);
    const OwnWindow hidden(L"hidden", WS_OVERLAPPEDWINDOW, 0);
    const OwnWindow hiddenApp(L"hidden app", WS_OVERLAPPEDWINDOW, WS_EX_APPWINDOW);
    const OwnWindow owned(L"owned", visible, 0, plain.Get());
    const OwnWindow ownedApp(L"owned app", visible, WS_EX_APPWINDOW, plain.Get());
    const OwnWindow tool(L"tool", visible, WS_EX_TOOLWINDOW);
    const OwnWindow toolApp(L"tool app", visible, WS_EX_TOOLWINDOW | WS_EX_APPWINDOW);
    const OwnWindow child(L"child", WS_CHILD | WS_VISIBLE, 0, plain.Get());
    EXPECT_TRUE(control::IsTaskbarWindow(plain.Get()));
    EXPECT_FALSE(control::IsTaskbarWindow(hidden.Get()));
    EXPECT_TRUE(control::IsTaskbarWindow(hiddenApp.Get()));
    EXPECT_FALSE(control::IsTaskbarWindow(owned.Get()));
    EXPECT_TRUE(control::IsTaskbarWindow(ownedApp.Get()));
    EXPECT_FALSE(control::IsTaskbarWindow(tool.Get()));
    EXPECT_TRUE(control::IsTaskbarWindow(toolApp.Get()));
    EXPECT_FALSE(control::IsTaskbarWindow(child.Get()));
}

TEST_F(PickerTest, WindowPickerListsOtherProgramsTaskbarWindowsOnly) {
    HelperProcess helper({L"--title",        L"MW Picker A",
                          L"--title",        L"MW Twin",
                          L"--title",        L"MW Twin",
                          L"--app-title",    L"MW Hidden App",
                          L"--hidden-title", L"MW Hidden",
                          L"--owned-title",  L"MW Owned",
                          L"--owned-dialog", L"MW Owned Dialog",
                          L"--tool-title",   L"MW Tool",
                          L"--title",        L"",
                          L"--lifetime",     L"30000"});
    // Ready once the helper waits for input: every window, the untitled one made last included, is up.
    ASSERT_NE(nullptr, testing_support::WaitForWindow(L"MW Tool"));
    const OwnWindow own(L"MW Own Window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);

    PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
    ASSERT_TRUE(picker.Opened());
    wchar_t title[64]{};
    ::GetWindowTextW(picker.m_hwnd, title, 64);
    EXPECT_STREQ(L"Please select a Window", title);
    const auto rows = picker.Rows();
    auto count = [&](const std::wstring& text) { return std::count(rows.begin(), rows.end(), text); };
    EXPECT_EQ(1, count(L"MW Picker A"));
    EXPECT_EQ(2, count(L"MW Twin"));
    EXPECT_EQ(1, count(L"MW Hidden App"));
    EXPECT_GE(count(L""), 1);  // a listed window without a title gives an empty row
    EXPECT_EQ(0, count(L"MW Hidden"));
    EXPECT_EQ(0, count(L"MW Owned"));
    EXPECT_EQ(0, count(L"MW Owned Dialog"));
    EXPECT_EQ(0, count(L"MW Tool"));
    EXPECT_EQ(0, count(L"MW Own Window"));
    EXPECT_EQ(0, count(L"Please select a Window"));
    EXPECT_GE(picker.m_list.GetItemImage(picker.Find(L"MW Twin"), 0), 0);

    // Several rows selected: the first in list order is the choice.
    const int twin = picker.Find(L"MW Twin");
    const int app = picker.Find(L"MW Hidden App");
    picker.Select(std::max(twin, app));
    picker.Select(std::min(twin, app));
    EXPECT_EQ(IDOK, picker.Press(IDOK));
    EXPECT_EQ(rows[static_cast<size_t>(std::min(twin, app))], picker.m_dialog.GetSelection());
}

TEST_F(PickerTest, WindowPickerDoubleClickConfirmsAndCancelGivesCancel) {
    HelperProcess helper({L"--title", L"MW Double", L"--lifetime", L"30000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(L"MW Double"));
    {
        PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
        ASSERT_TRUE(picker.Opened());
        const int row = picker.Find(L"MW Double");
        ASSERT_GE(row, 0);
        picker.Select(row);
        EXPECT_EQ(IDOK, picker.DoubleClickBelowRows());
        EXPECT_EQ(L"MW Double", picker.m_dialog.GetSelection());
    }
    {
        PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
        ASSERT_TRUE(picker.Opened());
        EXPECT_EQ(IDOK, picker.Press(IDOK));
        EXPECT_EQ(L"", picker.m_dialog.GetSelection());
    }
    PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
    ASSERT_TRUE(picker.Opened());
    picker.Select(picker.Find(L"MW Double"));
    EXPECT_EQ(IDCANCEL, picker.Press(IDCANCEL));
}

TEST_F(PickerTest, WindowPickerListsLongTitlesWholeAndWindowsWithoutACaption) {
    const std::wstring longTitle = L"MW Long " + std::wstring(400, L'y') + L" end";
    HelperProcess helper({L"--title", longTitle, L"--nocaption-title", L"MW No Caption", L"--lifetime", L"30000"});
    ASSERT_NE(nullptr, testing_support::WaitForWindow(L"MW No Caption"));
    EXPECT_EQ(longTitle, control::ReadWindowTitle(::FindWindowW(nullptr, longTitle.c_str())));

    PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
    ASSERT_TRUE(picker.Opened());
    EXPECT_GE(picker.Find(longTitle), 0);
    EXPECT_GE(picker.Find(L"MW No Caption"), 0);
    picker.Select(picker.Find(longTitle));
    EXPECT_EQ(IDOK, picker.Press(IDOK));
    // The whole title: the stop finds the window by it.
    EXPECT_EQ(longTitle, picker.m_dialog.GetSelection());
}

TEST_F(PickerTest, AHungWindowDoesNotStallTheWindowPicker) {
    HelperProcess helper({L"--title", L"MW Hung", L"--hang-after", L"300", L"--lifetime", L"60000"});
    HWND hung = testing_support::WaitForWindow(L"MW Hung");
    ASSERT_NE(nullptr, hung);
    ::Sleep(800);
    DWORD_PTR answer = 0;
    ASSERT_EQ(0, ::SendMessageTimeoutW(hung, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &answer))
        << "the helper's window should not answer any more";

    const DWORD start = ::GetTickCount();
    EXPECT_EQ(L"MW Hung", control::ReadWindowTitle(hung));
    PickerRun<control::CWindowListDialog> picker(IDC_WINDOW_LIST);
    const DWORD elapsed = ::GetTickCount() - start;
    ASSERT_TRUE(picker.Opened());
    std::printf("title read and picker filled in %lu ms with a hung window present\n", elapsed);
    EXPECT_LT(elapsed, 15000u);
    EXPECT_GE(picker.Find(L"MW Hung"), 0);
    // Selecting its row looks the window up by title and marks it, without waiting for it either.
    picker.Select(picker.Find(L"MW Hung"));
    EXPECT_EQ(IDOK, picker.Press(IDOK));
    EXPECT_EQ(L"MW Hung", picker.m_dialog.GetSelection());
    EXPECT_LT(::GetTickCount() - start, 20000u);
}

TEST_F(PickerTest, ThePickerOwnsItsImageListAndTheListOnlyShowsIt) {
    HWND window = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    fw::CReportCtrl list;
    ASSERT_TRUE(list.SubclassWindow(window));
    fw::CImageList images;
    control::picker::SetUpList(list, images, L"Heading");
    control::picker::AddRow(list, images, L"row", L"C:\\windows\\notepad.exe");
    EXPECT_EQ(L"Heading", [&] {
        wchar_t text[32]{};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 32;
        ::SendMessageW(window, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        return std::wstring(text);
    }());
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT),
              list.GetExtendedStyle());
    ASSERT_EQ(1, images.GetImageCount());
    EXPECT_EQ(0, list.GetItemImage(0, 0));
    ::DestroyWindow(window);
    EXPECT_EQ(1, images.GetImageCount());  // the list did not destroy it
}

// The colour of one pixel of the window, frame included.
COLORREF WindowPixel(HWND hwnd, int x, int y) {
    HDC dc = ::GetWindowDC(hwnd);
    const COLORREF colour = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return colour;
}

TEST_F(PickerTest, HighlightWindowFrameInvertsTheOuterThreePixelsAndASecondCallRestoresThem) {
    const OwnWindow window(L"MW Mark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, nullptr, 200, 150);
    ASSERT_NE(nullptr, window.Get());
    ::UpdateWindow(window.Get());
    testing_support::WaitUntil([] { return false; }, 300);  // lets the frame be drawn

    RECT rect{};
    ::GetWindowRect(window.Get(), &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    struct Probe {
        int x, y;
        bool inverted;
    };
    const Probe probes[] = {
        // Corners are left out: the pen's round joins do not reach the outermost corner pixel.
        {0, height / 2, true}, {2, height / 2, true},  {width - 1, height / 2, true},  {width / 2, height - 3, true},
        {width / 2, 1, true},  {3, height / 2, false}, {width - 4, height / 2, false}, {width / 2, height / 2, false},
    };
    std::vector<COLORREF> before;
    for (const Probe& p : probes) {
        before.push_back(WindowPixel(window.Get(), p.x, p.y));
        ASSERT_NE(CLR_INVALID, before.back()) << "no pixels to read: is the prefix's virtual desktop running?";
    }
    control::HighlightWindowFrame(window.Get());
    for (size_t i = 0; i < std::size(probes); ++i) {
        const COLORREF now = WindowPixel(window.Get(), probes[i].x, probes[i].y);
        const COLORREF expected = probes[i].inverted ? (~before[i] & 0xFFFFFF) : before[i];
        EXPECT_EQ(expected, now) << "pixel " << probes[i].x << "," << probes[i].y;
    }
    control::HighlightWindowFrame(window.Get());
    for (size_t i = 0; i < std::size(probes); ++i) {
        EXPECT_EQ(before[i], WindowPixel(window.Get(), probes[i].x, probes[i].y));
    }
}

// Not a check: keeps both pickers open for a screenshot of the screen (MARLOWICK_SHOW_SECONDS).
TEST_F(PickerTest, DISABLED_ShowBothPickers) {
    HelperProcess helper({L"--title", L"Notes - Quarterly plan", L"--title", L"Build log", L"--lifetime", L"60000"});
    testing_support::WaitForWindow(L"Build log");
    PickerRun<control::CProcessListDialog> processes(IDC_PROCESS_LIST);
    PickerRun<control::CWindowListDialog> windows(IDC_WINDOW_LIST);
    ASSERT_TRUE(processes.Opened() && windows.Opened());
    ::SetWindowPos(processes.m_hwnd, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(windows.m_hwnd, nullptr, 520, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    windows.Select(0);
    processes.Select(1);
    const char* seconds = std::getenv("MARLOWICK_SHOW_SECONDS");
    ::Sleep(static_cast<DWORD>(seconds ? std::atoi(seconds) : 5) * 1000);
}

}  // namespace
