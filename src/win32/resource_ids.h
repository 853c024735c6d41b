#pragma once

// Identifiers shared by the resource script, the main window and the
// Windows-side tests (which find the controls by these IDs). Plain #defines:
// the resource compiler reads this file too.

// Resources.
#define IDI_APP 1  // the lowest icon ID is the one Explorer shows for the exe
#define IDB_LOGO 101
#define IDB_POPUP_BACKGROUND 102

// Controls of the main window, in tab order where they take the focus.
#define IDC_USER_CAPTION 1001
#define IDC_USER_BOX 1002
#define IDC_RECONNECT 1003
#define IDC_EXIT 1004
#define IDC_RUN_AT_STARTUP 1005
#define IDC_STATUS_LINE 1006
#define IDC_VERSION_LABEL 1007
#define IDC_TITLE 1008
#define IDC_LOGO 1009

// Entries of the tray menu.
#define IDM_APP_FIRST 2001  // application entries 1 to 10: 2001 to 2010
#define IDM_APP_LAST 2010
#define IDM_SHOW 2020
#define IDM_HIDE 2021
#define IDM_SHOW_POPUPS 2022
#define IDM_EXIT 2023
