// The about box runs its template as it stands: no data, no handlers of its own.
#include "app/AboutDlg.h"

#include "app/resource.h"

CAboutDlg::CAboutDlg(HWND hParent) : CDialogBase(IDD_ABOUTBOX, hParent) {}
