// Resource identifiers of the program: dialog templates, controls, strings,
// the icon, the about command and the status timer. Shared by the resource
// script, the dialogs and the GUI tests.
#pragma once

#define IDM_ABOUTBOX        0x0010
#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_VELKARON_DIALOG 102
#define IDR_MAINFRAME       128

#define IDC_PACK            1000
#define IDC_SOURCE_PATH     1001
#define IDC_SELECT_FOLDER   1002
#define IDC_LOG             1003
#define IDC_PACKET_PATH     1004
#define IDC_BROWSE_PACKET   1005
#define IDC_STATUS          1006
#define IDC_FOOTER          1007
#define IDC_INSTRUCTIONS    1009

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif

#define IDT_STATUS          256
