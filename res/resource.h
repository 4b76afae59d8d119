// Resource identifiers of Marlowick: dialogs, controls, menus, commands, strings, icons and bitmaps.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_MARLOWICK_DIALOG 102
#define IDD_ACTION_CONFIG 129
#define IDD_PROCESS_LIST 134
#define IDD_WINDOW_LIST 135
#define IDD_CONFIG_PAGE 141
#define IDD_EXIT_CONFIRM 152
#define IDD_HISTORY 160

// Menus
#define IDM_TRAY 141
#define IDM_MAIN 142
#define IDM_TASK_MENU 143

// Icons and bitmaps
#define IDI_MARLOWICK 148
#define IDB_BANNER 156

// Strings
#define IDS_ABOUTBOX 101
#define IDS_RIGHTS_PADDED 102
#define IDS_RIGHTS 103

// Commands of the main window's menu and buttons, the tray menu and the system menu
#define IDM_ABOUTBOX 0x0010
#define IDM_EXIT 1
#define IDM_MODIFY_TASK 3
#define IDM_ADD_TASK 1002
#define IDM_REMOVE_TASK 1003
#define IDM_TRAY_EXIT 32783
#define IDM_TRAY_HIDE 32784
#define IDM_TRAY_SHOW 32785
#define IDM_ABOUT 32791
#define IDM_ONLINE_HELP 57670
#define IDM_RUN_NOW 32800
#define IDM_TOGGLE_ENABLED 32801
#define IDM_TASK_HISTORY 32802
#define IDM_TRAY_HISTORY 32803

// Main window (dialog 102)
#define IDC_MODIFY_TASK 3
#define IDC_TASK_LIST 1001
#define IDC_ADD_TASK 1002
#define IDC_REMOVE_TASK 1003
#define IDC_HIDE 1019
#define IDC_OPTIONS 1021
#define IDC_STATUS_PANE_PADDED 102
#define IDC_STATUS_PANE 103

// About box (dialog 100)
#define IDC_ABOUT_RIGHTS 1026

// Task Option dialog (dialog 129)
#define IDC_TIME_PICKER 1003
#define IDC_FROM_FILE 1005
#define IDC_ACTION_COMBO 1006
#define IDC_FROM_WINDOW 1009
#define IDC_FROM_PROCESS 1010
#define IDC_PROGRAM_ICON 1015
#define IDC_PROGRAM_EDIT 1017
#define IDC_DAY_MON 1040
#define IDC_DAY_TUE 1041
#define IDC_DAY_WED 1042
#define IDC_DAY_THU 1043
#define IDC_DAY_FRI 1044
#define IDC_DAY_SAT 1045
#define IDC_DAY_SUN 1046
#define IDC_ARGUMENTS_EDIT 1047
#define IDC_FOLDER_EDIT 1048
#define IDC_BROWSE_FOLDER 1049
#define IDC_TASK_ENABLED 1050
#define IDC_RUN_IF_MISSED 1051
#define IDC_WAKE_COMPUTER 1052
#define IDC_RUN_EVERY_DAY 1060
#define IDC_RUN_ON_DAYS 1061
#define IDC_RUN_ONCE 1062
#define IDC_DATE_PICKER 1063
#define IDC_EVERY_EDIT 1064
#define IDC_UNTIL_PICKER 1065
#define IDC_WARN_EDIT 1066
#define IDC_STOP_TREE 1067
#define IDC_WARN_LABEL 1068
#define IDC_WARN_UNIT 1069

// Process picker (dialog 134) and window picker (dialog 135)
#define IDC_PROCESS_LIST 1009
#define IDC_WINDOW_LIST 1001

// Options page (dialog 141)
#define IDC_TIMEOUT_EDIT 1025
#define IDC_FORCE_QUIT 1031
#define IDC_START_AT_LOGON 1032
#define IDC_NOTIFY_FAILURES 1033
#define IDC_POSTPONE_EDIT 1070

// History window (dialog 160)
#define IDC_HISTORY_LIST 1060
#define IDC_HISTORY_COUNT 1061

// Exit confirmation (dialog 152)
#define IDC_CONFIRM_HIDE 1028
#define IDC_CONFIRM_EXIT 1030
