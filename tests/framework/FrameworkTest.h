#pragma once
// Resource ids of the class layer's test dialogs.
#define IDD_TEST_DIALOG 9001
#define IDD_TEST_PAGE 9002
#define IDM_TEST_MENU 9003
#define IDC_TEST_BUTTON 4001
#define IDC_TEST_LIST 4002
#define IDC_TEST_THROW 4003
#define IDC_TEST_EDIT 4004
#define IDC_TEST_COMBO 4005
#define IDC_TEST_CHECK 4006
#define IDC_TEST_TIME 4007
#define IDC_PAGE_EDIT 4010
#define IDS_TEST_FIRST 9101
#define IDS_TEST_SECOND 9102
