// The about box: icon, program name and version, one line about the program;
// OK and Esc close it.
#pragma once

#include "ui/DialogBase.h"

class CAboutDlg : public CDialogBase {
public:
    // `hParent` is the window the box stays above while it runs.
    explicit CAboutDlg(HWND hParent = nullptr);
};
