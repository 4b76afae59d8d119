#include "ui/ActionConfigDialog.h"

#include "control/ProcessListDialog.h"
#include "control/ProcessPath.h"
#include "control/WindowListDialog.h"
#include "core/TaskOptions.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "res/resource.h"

#include <shlwapi.h>

namespace ui {
namespace {

// The prompt above the folders of the chooser that Browse... opens.
constexpr wchar_t kChooseFolderPrompt[] = L"Choose the folder in which the program starts.";

// Each day's check box and its bit, numbered as SYSTEMTIME::wDayOfWeek numbers the days (0 is Sunday).
struct DayBox {
    int id;
    int dayOfWeek;
};
constexpr DayBox kDayBoxes[] = {{IDC_DAY_SUN, 0}, {IDC_DAY_MON, 1}, {IDC_DAY_TUE, 2}, {IDC_DAY_WED, 3},
                                {IDC_DAY_THU, 4}, {IDC_DAY_FRI, 5}, {IDC_DAY_SAT, 6}};

constexpr core::DayMask DayBit(int dayOfWeek) {
    return core::DayMask{1} << dayOfWeek;
}

// The Warn text a task stores for the seconds typed: its digits as typed, and no text for no warning. A text the
// task cannot have can only come from the file, into the field of a Start task where it cannot be changed: it
// stays as the file has it.
std::wstring StoredWarn(const std::wstring& typed) {
    const std::optional<int> seconds = core::ParseWarn(typed);
    if (!seconds) {
        return typed;
    }
    if (*seconds == 0) {
        return {};
    }
    // A valid text has blanks only around its digits.
    std::wstring digits = typed;
    std::erase_if(digits, [](wchar_t c) { return c == L' ' || c == L'\t'; });
    return digits;
}

}  // namespace

std::wstring GetWindowProgramPath(const std::wstring& title) {
    // An empty title would match whichever untitled window comes first: it names no program.
    if (title.empty()) {
        return {};
    }
    HWND window = ::FindWindowW(nullptr, title.c_str());
    if (!window) {
        return {};
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId ? control::GetProcessImagePath(processId) : std::wstring();
}

fw::UniqueIcon GetWindowProgramIcon(const std::wstring& title) {
    const std::wstring path = GetWindowProgramPath(title);
    return path.empty() ? fw::UniqueIcon() : fw::GetFileTypeIcon(path, fw::IconSize::Large);
}

std::wstring ResolveTaskProgram(const std::wstring& program, const std::wstring& action) {
    if (core::IsStartAction(action) && !::PathFileExistsW(program.c_str())) {
        // A file that is missing for now (a drive not plugged in) is no window title: when no window has that
        // title, the text stays, so the task still names its program when the file is back.
        std::wstring owner = GetWindowProgramPath(program);
        if (!owner.empty()) {
            return owner;
        }
    }
    return program;
}

CActionConfigDialog::CActionConfigDialog()
    : fw::CDialog(IDD_ACTION_CONFIG), m_time(core::DateTimeValue::Now()), m_date(core::DateTimeValue::Now()) {}

CActionConfigDialog::~CActionConfigDialog() {
    // The window goes before the icon that its field may still show.
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::DestroyWindow(m_hWnd);
    }
}

const fw::MessageMap* CActionConfigDialog::StaticMessageMap() {
    static constexpr fw::MsgEntry kEntries[] = {
        fw::OnCommand<&CActionConfigDialog::OnFromFile>(IDC_FROM_FILE),
        fw::OnCommand<&CActionConfigDialog::OnFromWindow>(IDC_FROM_WINDOW),
        fw::OnCommand<&CActionConfigDialog::OnFromProcess>(IDC_FROM_PROCESS),
        fw::OnCommand<&CActionConfigDialog::OnBrowseFolder>(IDC_BROWSE_FOLDER),
        fw::OnCommand<&CActionConfigDialog::OnRunOnEveryDay>(IDC_RUN_EVERY_DAY),
        fw::OnCommand<&CActionConfigDialog::OnRunOnDays>(IDC_RUN_ON_DAYS),
        fw::OnCommand<&CActionConfigDialog::OnRunOnce>(IDC_RUN_ONCE),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_MON),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_TUE),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_WED),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_THU),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_FRI),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_SAT),
        fw::OnCommand<&CActionConfigDialog::OnDayClicked>(IDC_DAY_SUN),
        fw::OnControl<&CActionConfigDialog::OnActionChanged>(IDC_ACTION_COMBO, CBN_SELCHANGE),
        fw::OnMessage<&CActionConfigDialog::OnDestroy>(WM_DESTROY),
    };
    static const fw::MessageMap map{fw::CDialog::StaticMessageMap(), kEntries};
    return &map;
}

void CActionConfigDialog::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_ACTION_COMBO, m_comboAction);
    fw::DDX_Control(dx, IDC_TIME_PICKER, m_timePicker);
    fw::DDX_Control(dx, IDC_PROGRAM_ICON, m_iconProgram);
    fw::DDX_Text(dx, IDC_PROGRAM_EDIT, m_strProgram);
    fw::DDX_CBString(dx, IDC_ACTION_COMBO, m_strAction);
    fw::DDX_DateTimeCtrl(dx, IDC_TIME_PICKER, m_time);
    for (const DayBox& box : kDayBoxes) {
        fw::DDX_CheckBit(dx, box.id, m_days, DayBit(box.dayOfWeek));
    }
    if (dx.Saving()) {
        m_once = ShownOnce();
    } else if (m_once) {
        ShowRunOn(IDC_RUN_ONCE);
    } else {
        OnDayClicked();
    }
    fw::DDX_DateTimeCtrl(dx, IDC_DATE_PICKER, m_date);
    fw::DDX_Text(dx, IDC_EVERY_EDIT, m_every);
    fw::DDX_DateTimeCtrl(dx, IDC_UNTIL_PICKER, m_until);
    fw::DDX_Text(dx, IDC_ARGUMENTS_EDIT, m_arguments);
    fw::DDX_Control(dx, IDC_FOLDER_EDIT, m_editFolder);
    fw::DDX_Text(dx, IDC_FOLDER_EDIT, m_folder);
    fw::DDX_Check(dx, IDC_TASK_ENABLED, m_enabled);
    fw::DDX_Check(dx, IDC_RUN_IF_MISSED, m_runIfMissed);
    fw::DDX_Check(dx, IDC_WAKE_COMPUTER, m_wake);
    fw::DDX_Text(dx, IDC_WARN_EDIT, m_warn);
    fw::DDX_Check(dx, IDC_STOP_TREE, m_tree);
}

bool CActionConfigDialog::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_comboAction.AddString(L"Start");
    m_comboAction.AddString(L"Stop");
    m_comboAction.SetCurSel(0);
    if (m_strProgram.empty()) {
        m_strProgram = kNoProgramText;
    }
    UpdateData(false);
    ShowStopFields();
    // The system's shared icon: nothing of ours to keep.
    m_iconProgram.SetIcon(::LoadIconW(nullptr, IDI_APPLICATION));
    m_icon.Reset();
    return true;
}

void CActionConfigDialog::OnOK() {
    // Both checks look at the screen before anything is read back, so that a refused OK followed by Cancel
    // leaves the members as the caller set them. The program field cannot be typed into: m_strProgram is
    // what it shows. An empty one (a window that closed before its program was read) names nothing to run.
    if (m_strProgram.empty() || m_strProgram == kNoProgramText) {
        fw::AfxMessageBox(kSelectSomethingText, MB_OK);
        return;
    }
    if (!ShownOnce() && ShownDays() == 0) {
        fw::AfxMessageBox(kSelectDayText, MB_OK);
        return;
    }
    for (const wchar_t* problem : {RepeatProblem(), WarnProblem()}) {
        if (problem) {
            fw::AfxMessageBox(problem, MB_OK);
            return;
        }
    }
    UpdateData(true);
    EndDialog(IDOK);
}

void CActionConfigDialog::OnFromFile() {
    fw::CFileDialog dialog(true, L"", L"", OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_SHOWHELP, L"All Files|*.*||",
                           m_hWnd, true);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    TakeFile(dialog.GetPathName());
}

void CActionConfigDialog::OnFromWindow() {
    control::CWindowListDialog picker;
    if (picker.DoModal() != IDOK) {
        return;
    }
    TakeWindow(picker.GetSelection());
}

void CActionConfigDialog::OnFromProcess() {
    control::CProcessListDialog picker;
    if (picker.DoModal() != IDOK) {
        return;
    }
    TakeProcess(picker.GetSelection());
}

void CActionConfigDialog::OnBrowseFolder() {
    if (auto folder = fw::BrowseForFolder(m_hWnd, kChooseFolderPrompt, m_editFolder.GetWindowText())) {
        m_editFolder.SetWindowText(*folder);
    }
}

void CActionConfigDialog::TakeFile(const std::wstring& path) {
    m_strProgram = path;
    ShowProgram();
    ShowProgramIcon(fw::GetFileTypeIcon(m_strProgram, fw::IconSize::Large));
}

void CActionConfigDialog::SetTask(const core::Task& task) {
    SetProgram(task.program);
    SetAction(task.action);
    m_time = core::ParseTaskTime(task.time);
    // Days the dialog cannot show (a text that names none) stay as they are unless the user ticks others.
    const std::optional<core::DayMask> days = core::ParseDays(task.days);
    m_days = days.value_or(core::kEveryDay);
    m_once = !task.date.empty();
    if (const std::optional<long long> date = core::ParseDate(task.date)) {
        m_date = core::DateTimeValue::FromSystemTime(*core::FromSeconds(*date));
    }
    m_every = task.every;
    const std::optional<int> until = core::ParseTime24(task.until);
    m_until = until ? core::TimeOfDayValue(*until) : core::DateTimeValue::Null();
    m_arguments = task.arguments;
    m_folder = task.folder;
    m_enabled = task.enabled;
    m_runIfMissed = task.runIfMissed;
    m_wake = task.wake;
    m_warn = task.warn;
    m_tree = task.tree;
}

core::Task CActionConfigDialog::GetTask(const core::Task& before) const {
    core::Task task = before;
    task.action = GetAction();
    task.program = ResolveTaskProgram(GetProgram(), task.action);
    task.time = core::FormatTaskTime(m_time);
    // Days the dialog could not show are kept when the user left the boxes as they were shown. A task of one date
    // keeps the days shown, unused, for when the date is taken away again.
    if (core::ParseDays(before.days) || m_days != core::kEveryDay) {
        task.days = core::FormatDays(m_days);
    }
    SYSTEMTIME date{};
    const std::optional<long long> day = m_once && m_date.ToSystemTime(date) ? core::ToSeconds(date) : std::nullopt;
    task.date = day ? core::FormatDate(*day) : L"";
    task.every = core::ParseEvery(m_every) ? std::to_wstring(*core::ParseEvery(m_every)) : L"";
    task.until = !task.every.empty() && m_until.IsValid() ? core::FormatTime24(core::SecondOfDay(m_until)) : L"";
    task.arguments = m_arguments;
    task.folder = m_folder;
    task.enabled = m_enabled;
    task.runIfMissed = m_runIfMissed;
    task.wake = m_wake;
    task.warn = StoredWarn(m_warn);
    task.tree = m_tree;
    return task;
}

void CActionConfigDialog::TakeWindow(const std::wstring& title) {
    // OK with no row selected, or a window without a title: nothing was chosen.
    if (title.empty()) {
        return;
    }
    m_strProgram = title;
    if (core::IsStartAction(SelectedActionText())) {
        // A task that starts a program needs the program's path, not one of its window titles.
        m_strProgram = GetWindowProgramPath(title);
    }
    ShowProgram();
    ShowProgramIcon(GetWindowProgramIcon(title));
}

void CActionConfigDialog::TakeProcess(const std::wstring& path) {
    if (path.empty()) {
        return;
    }
    m_strProgram = path;
    ShowProgram();
    ShowProgramIcon(fw::GetFileTypeIcon(m_strProgram, fw::IconSize::Large));
}

std::wstring CActionConfigDialog::SelectedActionText() const {
    const int index = m_comboAction.GetCurSel();
    return index == CB_ERR ? std::wstring() : m_comboAction.GetLBText(index);
}

void CActionConfigDialog::OnRunOnEveryDay() {
    for (const DayBox& box : kDayBoxes) {
        ::CheckDlgButton(m_hWnd, box.id, BST_CHECKED);
    }
    ShowRunOn(IDC_RUN_EVERY_DAY);
}

void CActionConfigDialog::OnRunOnDays() {
    ShowRunOn(IDC_RUN_ON_DAYS);
}

void CActionConfigDialog::OnRunOnce() {
    ShowRunOn(IDC_RUN_ONCE);
}

void CActionConfigDialog::OnDayClicked() {
    ShowRunOn((ShownDays() & core::kEveryDay) == core::kEveryDay ? IDC_RUN_EVERY_DAY : IDC_RUN_ON_DAYS);
}

void CActionConfigDialog::ShowRunOn(int choice) const {
    ::CheckRadioButton(m_hWnd, IDC_RUN_EVERY_DAY, IDC_RUN_ONCE, choice);
    for (const DayBox& box : kDayBoxes) {
        ::EnableWindow(::GetDlgItem(m_hWnd, box.id), choice != IDC_RUN_ONCE);
    }
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DATE_PICKER), choice == IDC_RUN_ONCE);
}

void CActionConfigDialog::OnActionChanged() {
    ShowStopFields();
}

void CActionConfigDialog::ShowStopFields() const {
    const bool stop = !core::IsStartAction(SelectedActionText());
    for (int id : {IDC_WARN_LABEL, IDC_WARN_EDIT, IDC_WARN_UNIT, IDC_STOP_TREE}) {
        ::EnableWindow(::GetDlgItem(m_hWnd, id), stop);
    }
}

bool CActionConfigDialog::ShownOnce() const {
    return ::IsDlgButtonChecked(m_hWnd, IDC_RUN_ONCE) == BST_CHECKED;
}

const wchar_t* CActionConfigDialog::RepeatProblem() const {
    wchar_t typed[16]{};
    ::GetDlgItemTextW(m_hWnd, IDC_EVERY_EDIT, typed, static_cast<int>(std::size(typed)));
    if (typed[0] == L'\0') {
        return nullptr;
    }
    if (!core::ParseEvery(typed)) {
        return kEveryRangeText;
    }
    SYSTEMTIME until{};
    SYSTEMTIME time{};
    if (::SendDlgItemMessageW(m_hWnd, IDC_UNTIL_PICKER, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&until)) !=
            GDT_VALID ||
        ::SendDlgItemMessageW(m_hWnd, IDC_TIME_PICKER, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) !=
            GDT_VALID) {
        return nullptr;
    }
    const auto second = [](const SYSTEMTIME& t) { return (t.wHour * 60 + t.wMinute) * 60 + t.wSecond; };
    return second(until) > second(time) ? nullptr : kUntilLaterText;
}

const wchar_t* CActionConfigDialog::WarnProblem() const {
    if (core::IsStartAction(SelectedActionText())) {
        return nullptr;
    }
    wchar_t typed[16]{};
    ::GetDlgItemTextW(m_hWnd, IDC_WARN_EDIT, typed, static_cast<int>(std::size(typed)));
    return core::ParseWarn(typed) ? nullptr : kWarnRangeText;
}

core::DayMask CActionConfigDialog::ShownDays() const {
    core::DayMask days = 0;
    for (const DayBox& box : kDayBoxes) {
        if (::IsDlgButtonChecked(m_hWnd, box.id) == BST_CHECKED) {
            days |= DayBit(box.dayOfWeek);
        }
    }
    return days;
}

void CActionConfigDialog::ShowProgram() const {
    ::SetDlgItemTextW(m_hWnd, IDC_PROGRAM_EDIT, m_strProgram.c_str());
}

void CActionConfigDialog::ShowProgramIcon(fw::UniqueIcon icon) {
    // The field lets go of the old icon before it is destroyed.
    m_iconProgram.SetIcon(icon.Get());
    m_icon = std::move(icon);
}

void CActionConfigDialog::OnDestroy() {
    if (m_iconProgram.GetSafeHwnd()) {
        m_iconProgram.SetIcon(nullptr);
    }
    m_icon.Reset();
    Default();
}

}  // namespace ui
