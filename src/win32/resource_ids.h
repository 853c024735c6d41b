#pragma once

// Identifiers shared by the resource script, the main window and the
// Windows-side tests (which find the controls by these IDs). Plain #defines:
// the resource compiler reads this file too.

// Resources.
#define IDI_APP 1  // the lowest icon ID is the one Explorer shows for the exe
#define IDB_LOGO 101
#define IDB_POPUP_BACKGROUND 102

// Controls of frmMain, in tab order where they take the focus.
#define IDC_LABEL1 1001
#define IDC_TXTNAME 1002
#define IDC_CMDLOGIN 1003
#define IDC_CMDEXIT 1004
#define IDC_CHKRUN 1005
#define IDC_LBLSTATUS 1006
#define IDC_LBLVERSION 1007
#define IDC_LABEL2 1008
#define IDC_IMAGE1 1009

// Entries of the tray menu mnuForm.
#define IDM_SMNUAPP_FIRST 2001  // smnuApp(1) to smnuApp(10): 2001 to 2010
#define IDM_SMNUAPP_LAST 2010
#define IDM_MNUSHOW 2020
#define IDM_MNUHIDE 2021
#define IDM_SMNUSHOWPOPUPS 2022
#define IDM_SMNUEXIT 2023
