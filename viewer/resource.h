// Resource identifiers of the packet browser: its menu and keys, its dialogs and
// their controls, the icon. Shared by the resource script, the window and the tests.
#pragma once

#define IDR_VIEW_MENU       100
#define IDR_VIEW_KEYS       101
#define IDI_VIEW            128

// Menu commands (also the accelerators').
#define IDM_OPEN            40001
#define IDM_EXTRACT         40002
#define IDM_CHECK           40003
#define IDM_PROPERTIES      40004
#define IDM_EXIT            40005
#define IDM_FIND            40006
#define IDM_UP              40007
#define IDM_SELECT_ALL      40008
#define IDM_ABOUT           40009
#define IDM_OPEN_ITEM       40010
#define IDM_COMPARE         40011
#define IDM_RECENT_FIRST    40100  // the recent packets: IDM_RECENT_FIRST + 0..9
#define IDM_RECENT_LAST     40109

// The main window's children.
#define IDC_VIEW_TREE       1100
#define IDC_VIEW_LIST       1101
#define IDC_VIEW_ADDRESS    1102
#define IDC_VIEW_STATUS     1103

// 解压到...
#define IDD_EXTRACT         200
#define IDC_EXTRACT_DEST    1200
#define IDC_EXTRACT_BROWSE  1201
#define IDC_EXTRACT_WHAT    1202

// A file's name is taken.
#define IDD_CONFLICT        201
#define IDC_CONFLICT_TEXT   1210
#define IDC_OVERWRITE       1211
#define IDC_SKIP            1212
#define IDC_OVERWRITE_ALL   1213
#define IDC_SKIP_ALL        1214

// Progress of a job off the window's thread.
#define IDD_PROGRESS        202
#define IDC_PROGRESS_BAR    1220
#define IDC_PROGRESS_COUNT  1221
#define IDC_PROGRESS_NAME   1222

// What a job left out, or found.
#define IDD_REPORT          203
#define IDC_REPORT_TEXT     1230
#define IDC_REPORT_LIST     1231

// 查找
#define IDD_FIND            204
#define IDC_FIND_TEXT       1240
#define IDC_FIND_GO         1241
#define IDC_FIND_HITS       1242
#define IDC_FIND_COUNT      1243

// 属性
#define IDD_PROPERTIES      205
#define IDC_PROPERTIES_TEXT 1250

// 关于
#define IDD_VIEW_ABOUT      206

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
