// Start-up of the packet browser: common controls, the main window, the packet named
// on the command line (read from the wide command line, so any path works), then the
// message loop until the window closes.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "viewer/MainWindow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int nShow) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                          ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    CMainWindow window;
    if (!window.Create(nShow)) return 1;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv != nullptr && argc > 1) window.OpenPacket(argv[1]);
    if (argv != nullptr) ::LocalFree(argv);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    window.RemoveOpenedFiles();
    return static_cast<int>(msg.wParam);
}
