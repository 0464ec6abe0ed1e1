// Resource ids of Pacewick: the main dialog, its controls, the tray menu and
// its commands, the icon and the splash picture. Shared by the resource script
// and the C++ code, so plain #defines only.
#pragma once

#define IDR_MAINFRAME               128   // icon of the window, its class and the tray
#define IDR_TRAY_MENU               129
#define IDB_SPLASH                  139   // 500 x 300, 24 bits per pixel, magenta key
#define IDD_PACEWICK_DIALOG         102

// Controls of the main dialog
#define IDC_RUN_ALL                 1000
#define IDC_RUN                     1001
#define IDC_EXIT                    1002
#define IDC_MINUTES                 1007
#define IDC_MINUTES_SPIN            1008
#define IDC_APPLY                   1011
#define IDC_ENTRY_LIST              1012
#define IDC_ELAPSED                 1013
#define IDC_STATUS                  1014
#define IDC_ENTRY_COUNT             1015
#define IDC_HELP_LINK               1019
#define IDC_WEB_LINK                1020
#define IDC_MANUAL_START            1021
#define IDC_DELETE_ENTRY            1022
#define IDC_RESTORE_ALL             1023
#define IDC_START_WHEN_READY        1024
#define IDC_HOLD_OFF_NOTE           1025

// Commands of the tray menu
#define ID_TRAY_OPEN                32784
#define ID_TRAY_EXIT                32786
#define ID_TRAY_DELAY_1_MIN         32792
#define ID_TRAY_DELAY_3_MIN         32793
#define ID_TRAY_DELAY_5_MIN         32794
#define ID_TRAY_MANUAL              32799
#define ID_TRAY_RUN_ALL             32800
#define ID_TRAY_START_WHEN_READY    32801

// Texts of the string table
#define IDS_HOLD_OFF_NOTE           2001
#define IDS_HOLD_OFF_CAPTION        2002
#define IDS_HOLD_OFF_OFFER          2003
#define IDS_ELEVATE_CAPTION         2100
#define IDS_ELEVATE_DELETE          2101
#define IDS_ELEVATE_RESTORE         2102
#define IDS_ELEVATE_RESUME          2103
#define IDS_KEEPER_NO_ANSWER_CAPTION 2104
#define IDS_KEEPER_NO_ANSWER        2105

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif

// The project's web page, which the web link (IDC_WEB_LINK) opens, and the
// short form its label shows: the whole address does not fit the label's width.
#define PACEWICK_WEB_ADDRESS        "https://quorvell.example/"
#define PACEWICK_WEB_LABEL          "quorvell.example"
