// Start-up: the multibyte code page first, then the one application object, then
// the entry point that hands over to it.
#include "app/VelkaronApp.h"

#include <windows.h>

#include "platform/MbText.h"
#include "ui/VelkaronDlg.h"

namespace {
// Every trim and search of a path is double-byte aware only once the code page is
// set, so this runs before any other static object of the program.
struct CMultibyteInit {
    CMultibyteInit() { InitMultibyte(); }
};
CMultibyteInit g_multibyteInit __attribute__((init_priority(101)));
}  // namespace

CVelkaronApp theApp;

CVelkaronApp::CVelkaronApp() = default;

CVelkaronApp::~CVelkaronApp() = default;

bool CVelkaronApp::InitInstance() {
    CVelkaronDlg dlg;
    dlg.DoModal();
    return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    return 0;
}
