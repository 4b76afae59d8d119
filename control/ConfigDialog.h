#pragma once
// The Options sheet: the stop time-out and the force-quit flag, how long a warned stop is postponed by, and
// whether failures are told, read from and written to the settings file; and whether Marlowick starts when the
// user logs on, read from and written to the user's Run key.
#include "framework/Controls.h"
#include "framework/PropertySheet.h"

#include <optional>
#include <string>

namespace control {

// Whether a task that fails (a start that fails, a stop that must terminate or cannot stop) is told in a balloon:
// "TRUE" or "FALSE" in the settings file, on when absent.
inline constexpr wchar_t kOptionsSection[] = L"Options";
inline constexpr wchar_t kNotifyFailuresKey[] = L"NotifyFailures";
bool NotifyFailuresOn();

// How many minutes "Postpone" in a stop's warning puts the stop off by: a whole number from 1 to
// kMaxPostponeMinutes in [Options], kDefaultPostponeMinutes when absent or anything else.
inline constexpr wchar_t kPostponeMinutesKey[] = L"PostponeMinutes";
inline constexpr int kDefaultPostponeMinutes = 10;
inline constexpr int kMaxPostponeMinutes = 240;
// The minutes of a text (digits, blanks around allowed); empty when it is not a number from 1 to the most.
std::optional<int> ParsePostponeMinutes(const std::wstring& text);
int PostponeMinutes();
// The message of an OK or Apply pressed while the page's minutes are not such a number; the page stays.
inline constexpr wchar_t kPostponeRangeText[] = L"Please postpone by 1 to 240 minutes";

// The one page of the Options sheet, "Options". It reads the values when it opens and writes them all on OK
// and on Apply: the stop options to the settings file, the start at logon to the Run key.
class CConfigPage : public fw::CPropertyPage {
public:
    CConfigPage();

    // Fills the time-out field and the check box from the settings file.
    void LoadStopOptions();
    // Writes the time-out exactly as typed and the flag as "TRUE" or "FALSE".
    void SaveStopOptions();

    // Ticks the start-at-logon box when the Run key starts this program.
    void LoadStartAtLogon();
    // Writes or removes the Run key's value as the box says; a failure is told in a message box.
    void SaveStartAtLogon();

    // The failure notices' box, from and to the settings file.
    void LoadNotifyFailures();
    void SaveNotifyFailures();

    // The minutes of a postponed stop, from and to the settings file: the page shows the minutes in use.
    void LoadPostponeMinutes();
    void SavePostponeMinutes();

    std::wstring m_strTimeOut;
    std::wstring m_strPostpone;
    fw::CButton m_btnForceQuit;
    fw::CButton m_btnStartAtLogon;
    fw::CButton m_btnNotifyFailures;
    // The program that the Run key is to start: this one.
    std::wstring m_programPath;

protected:
    static const fw::MessageMap* StaticMessageMap();
    const fw::MessageMap* GetMessageMap() const override { return StaticMessageMap(); }
    void DoDataExchange(fw::CDataExchange& dx) override;
    bool OnInitDialog() override;
    bool OnApply() override;
    // Refuses to let go of the page (and so OK and Apply) while the minutes are not a number it can take.
    bool OnKillActive() override;

private:
    // Any change of the time-out, of the minutes or of a box lights up Apply.
    void OnFieldEdited();
    void OnForceQuitClicked();
    void OnStartAtLogonClicked();
    void OnNotifyFailuresClicked();

    // Set while the page fills its own fields, whose change notifications are no edit of the user's.
    bool m_filling = false;
};

// The modal sheet "Config" with its one page and no Help button.
class CConfigDialog : public fw::CPropertySheet {
public:
    CConfigDialog();

    CConfigPage m_page;

protected:
    bool OnInitDialog() override;
};

}  // namespace control
