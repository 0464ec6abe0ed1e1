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
#define IDC_NOTIFY_NEWCOMERS        1030

// Commands of the tray menu
#define ID_TRAY_OPEN                32784
#define ID_TRAY_EXIT                32786
#define ID_TRAY_DELAY_1_MIN         32792
#define ID_TRAY_DELAY_3_MIN         32793
#define ID_TRAY_DELAY_5_MIN         32794
#define ID_TRAY_MANUAL              32799
#define ID_TRAY_RUN_ALL             32800
#define ID_TRAY_START_WHEN_READY    32801
#define ID_TRAY_NOTIFY_NEWCOMERS    32806
// Not a command: the greyed line under what a policy sets, found by it again.
#define ID_TRAY_SET_BY_ADMINISTRATOR 32807

// Commands of a row's menu: a start level each, its number added to the first
// (plan::StartLevel). Run and Delete entry are the buttons' own ids.
#define ID_LEVEL_AS_SET             32810
#define ID_LEVEL_ONLY_BY_HAND       32814

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
// The main window's: its questions and refusal, the list's column headings,
// where an entry came from, its start-up impact, the status line, the counts
// and the clock. %1, %2 are filled in by ui::ResourceText.
#define IDS_DELETE_QUESTION         2200
#define IDS_DELETE_TEXT             2201
#define IDS_RESTORE_QUESTION        2202
#define IDS_RESTORE_TEXT            2203
#define IDS_TASK_REFUSAL            2204
#define IDS_COLUMN_NAME             2205
#define IDS_COLUMN_COMMAND          2206
#define IDS_COLUMN_COMPANY          2207
#define IDS_COLUMN_ORIGIN           2208
#define IDS_COLUMN_IMPACT           2209
#define IDS_ORIGIN_CURRENT_USER     2210
#define IDS_ORIGIN_ALL_USERS        2211
#define IDS_ORIGIN_BOTH             2212
#define IDS_ORIGIN_TASK_SCHEDULER   2213
#define IDS_ORIGIN_USER_FOLDER      2214
#define IDS_ORIGIN_ALL_USERS_FOLDER 2215
#define IDS_IMPACT_HIGH             2216
#define IDS_IMPACT_MEDIUM           2217
#define IDS_IMPACT_LOW              2218
#define IDS_IMPACT_NOT_MEASURED     2219
#define IDS_STATUS_MANUAL           2220
#define IDS_STATUS_COUNTDOWN        2221
#define IDS_STATUS_READY_PROGRESS   2222
#define IDS_ENTRY_COUNT             2223
#define IDS_ELAPSED                 2224
// The tray icon's tip and what its set-up says when it fails.
#define IDS_TRAY_TIP                2230
#define IDS_TRAY_ERROR_CAPTION      2231
#define IDS_TRAY_MENU_FAILED        2232
#define IDS_TRAY_ICON_FAILED        2233
// The start-up's question after a Restore All, and the switches' messages.
#define IDS_RESTORED_TEXT           2240
#define IDS_RESTORED_CAPTION        2241
#define IDS_REMOVAL_CAPTION         2242
#define IDS_REMOVAL_STILL_RUNNING   2243
#define IDS_REMOVAL_NOT_RESTORED    2244
#define IDS_UNINSTALL_REFUSAL       2245
#define IDS_UNINSTALL_REFUSAL_CAPTION 2246
#define IDS_UNINSTALL_NO_PACKAGE    2247
#define IDS_UNINSTALL_CAPTION       2248
// The notice shown when a program adds itself to a start-up list while
// Pacewick runs: its title, its text (%1 the name, %2 one of the sentences
// after it, by when the program will start).
#define IDS_NOTICE_TITLE            2350
#define IDS_NOTICE_ADDED            2351
#define IDS_NOTICE_AT_LOG_ON        2352
#define IDS_NOTICE_WHEN_READY       2353
#define IDS_NOTICE_AFTER_DELAY      2354
#define IDS_NOTICE_BY_HAND          2355
// Group Policy (2420-2439).
#define IDS_SET_BY_ADMINISTRATOR    2420
// The start plan in the window: the list's column, each level as it shows
// there and as a row's menu offers it (its number added to the first), and
// the menu's two commands.
#define IDS_COLUMN_STARTS           2320
#define IDS_LEVEL_AS_SET            2321
#define IDS_LEVEL_AT_LOG_ON         2322
#define IDS_LEVEL_WHEN_READY        2323
#define IDS_LEVEL_AFTER_DELAY       2324
#define IDS_LEVEL_ONLY_BY_HAND      2325
#define IDS_MENU_AS_SET             2326
#define IDS_MENU_AT_LOG_ON          2327
#define IDS_MENU_WHEN_READY         2328
#define IDS_MENU_AFTER_DELAY        2329
#define IDS_MENU_ONLY_BY_HAND       2330
#define IDS_MENU_RUN                2331
#define IDS_MENU_DELETE_ENTRY       2332
// The starts by level: 2300-2319.
#define IDS_STATUS_WAITING          2300
// The after-log-on summary: 2400-2419.
#define IDS_SUMMARY_STARTED         2400
#define IDS_SUMMARY_FAILED          2401
#define IDS_SUMMARY_MORE            2402
#define IDS_SUMMARY_THEN_WAITING    2403

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif

// The project's web page, which the web link (IDC_WEB_LINK) opens, and the
// short form its label shows: the whole address does not fit the label's width.
#define PACEWICK_WEB_ADDRESS        "https://quorvell.example/"
#define PACEWICK_WEB_LABEL          "quorvell.example"
