// The Windows message pump that keeps a window alive during a long job, and the standard message box.
#include <windows.h>

#include "platform/PumpDefaults.h"

void DefaultPumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the dialog's own loop; the job goes on.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void DefaultShowMessageBox(const char* text) {
    ::MessageBoxA(::GetActiveWindow(), text, "Velkaron", MB_OK | MB_ICONEXCLAMATION);
}
