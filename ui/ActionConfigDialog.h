#pragma once
// The Task Option dialog: one task's program (from a file, a window or a process), action and time of day, the
// days on which it runs, what a started program is given, how a program is stopped (a warning before, the
// programs it started with it), and whether the task is on, catches up and wakes.
#include "core/Task.h"
#include "core/TaskTime.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Handle.h"

#include <string>

namespace ui {

// What the program field shows while no program has been chosen; OK is refused while it stands.
inline constexpr wchar_t kNoProgramText[] = L"Please Select a Program";
// The message of an OK pressed while the program field holds kNoProgramText.
inline constexpr wchar_t kSelectSomethingText[] = L"Please Select something to schedule";
// The message of an OK pressed while no day of the week is ticked: such a task would never run.
inline constexpr wchar_t kSelectDayText[] = L"Please select at least one day";
// The messages of an OK pressed while the repeat is not one the task can have.
inline constexpr wchar_t kEveryRangeText[] = L"Please repeat every 1 to 1440 minutes, or leave the minutes empty";
inline constexpr wchar_t kUntilLaterText[] = L"Please choose an end of the repeat later than the task's time";
// The message of an OK pressed while a Stop task's warning is not a number of seconds it can have.
inline constexpr wchar_t kWarnRangeText[] = L"Please warn 0 to 3600 seconds before, or leave the seconds empty";

// The image path of the process that owns the first top-level window titled exactly so; empty when no
// window has that title, when the title is empty, or when the process cannot be inspected.
std::wstring GetWindowProgramPath(const std::wstring& title);
// The large type icon of GetWindowProgramPath of the title; empty when no window has that title.
fw::UniqueIcon GetWindowProgramIcon(const std::wstring& title);
// The program text a task stores: a Start task whose text names no existing file or folder takes it as a
// window title and stores the image path of the process that owns that window. When no window has that
// title (or its program's path cannot be read), and for every other task, the text stays as it is.
std::wstring ResolveTaskProgram(const std::wstring& program, const std::wstring& action);

// The modal dialog "Task Option". Set the program, action, m_time and the other members before DoModal for a
// change of an existing task; read them back after IDOK. Cancel and a refused OK read nothing back from the
// controls.
class CActionConfigDialog : public fw::CDialog {
public:
    // Empty program and action; m_time is the current local date and time, seconds included.
    CActionConfigDialog();
    ~CActionConfigDialog() override;

    void SetProgram(const std::wstring& program) { m_strProgram = program; }
    std::wstring GetProgram() const { return m_strProgram; }
    void SetAction(const std::wstring& action) { m_strAction = action; }
    std::wstring GetAction() const { return m_strAction; }

    // Shows a task, for a change of it.
    void SetTask(const core::Task& task);
    // After IDOK: the task as the dialog describes it, on top of the one it was given (its last run kept, and its
    // days when the dialog could not show them and the boxes were left as shown). A Start task's program is
    // resolved with ResolveTaskProgram.
    core::Task GetTask(const core::Task& before) const;

    // The time of day. When it is not valid the picker keeps the time it shows of its own.
    core::DateTimeValue m_time;
    // The days of the week on which the task runs. Bits above Saturday are kept as they are.
    core::DayMask m_days = core::kEveryDay;
    // The task runs once, on m_date alone (today until the user picks another), and its days wait unused.
    bool m_once = false;
    core::DateTimeValue m_date;
    // The repeat: its minutes as typed (empty: none), and the time it ends at (null: the end of the day).
    std::wstring m_every;
    core::DateTimeValue m_until = core::DateTimeValue::Null();
    // The text that a started program gets after its name, and the folder it starts in; either may be empty.
    std::wstring m_arguments;
    std::wstring m_folder;
    // A task that is not enabled is kept in the list but never fires.
    bool m_enabled = true;
    // Whether a time that passed while the task could not fire is run afterwards.
    bool m_runIfMissed = false;
    // Whether the computer is woken from sleep for the task.
    bool m_wake = false;
    // A Stop task's warning, its seconds as typed (empty: none), and whether the programs that the stopped one
    // started are stopped with it. A Start task keeps both, unused, for when it becomes a Stop task again.
    std::wstring m_warn;
    bool m_tree = false;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnFromFile();
    void OnFromWindow();
    void OnFromProcess();
    // Offers the shell's folder chooser, opened at the folder the field shows; a chosen folder replaces the
    // field's text alone, so that Cancel still leaves m_folder as it was.
    void OnBrowseFolder();
    void OnDestroy();
    // Every day, On these days and Once on are one choice. Every day ticks each day; a day ticked or cleared chooses
    // Every day when all are ticked and On these days otherwise; Once on leaves the days as they are, unused.
    void OnRunOnEveryDay();
    void OnRunOnDays();
    void OnRunOnce();
    void OnDayClicked();
    // The warning and the tree stop mean something for a Stop task alone: they can be used only while the action
    // shown is Stop, and keep what they show while it is Start.
    void OnActionChanged();
    void ShowStopFields() const;
    // Ticks that choice alone; the day boxes can be used unless it is Once on, the date picker only then.
    void ShowRunOn(int choice) const;
    bool ShownOnce() const;
    // The message an OK gets for the repeat shown, or none when it is one the task can have.
    const wchar_t* RepeatProblem() const;
    // The message an OK gets for the warning shown, or none when it is one the task can have or the task is no
    // Stop task (whose field cannot be changed then).
    const wchar_t* WarnProblem() const;

    // The steps after a successful pick: the program becomes the text and only the program field and the
    // icon are refreshed, so that an action or time chosen on screen before the pick stays.
    void TakeFile(const std::wstring& path);
    // An empty title (no row chosen) changes nothing; with "Start" shown the program is the window's
    // owner's image path, otherwise the title itself.
    void TakeWindow(const std::wstring& title);
    // An empty path (no row chosen) changes nothing.
    void TakeProcess(const std::wstring& path);

    // The action shown on screen: the text of the combo's selected entry.
    std::wstring SelectedActionText() const;
    // The days ticked on screen.
    core::DayMask ShownDays() const;
    // Copies m_strProgram into the program field alone.
    void ShowProgram() const;
    // Shows the icon in the icon field (none clears it) and keeps it until it is replaced or the window goes.
    void ShowProgramIcon(fw::UniqueIcon icon);

    std::wstring m_strProgram;
    std::wstring m_strAction;
    fw::CComboBox m_comboAction;
    fw::CDateTimeCtrl m_timePicker;
    fw::CStatic m_iconProgram;
    fw::CWnd m_editFolder;
    // The icon that the icon field shows, when it is one of ours (the standard application icon is the
    // system's and is not kept here).
    fw::UniqueIcon m_icon;
};

}  // namespace ui
