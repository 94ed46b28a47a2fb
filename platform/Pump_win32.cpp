// The Windows message pump that keeps a window alive during a long job, and the standard message box.
#include <windows.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/PumpDefaults.h"

namespace {

// The program's name: its executable's file name without the extension, in the
// ANSI code page ("乗" for 乗.exe, whose second byte is a backslash's).
std::string ProgramName() {
    std::string name = GetModulePath();
    std::size_t sep = FindLastChar(name, kPathSep);
    if (sep != std::string::npos) name.erase(0, sep + 1);
    std::size_t dot = FindLastChar(name, '.');
    if (dot != std::string::npos) name.resize(dot);
    return name.empty() ? "Velkaron" : name;
}

}  // namespace

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
    ::MessageBoxA(::GetActiveWindow(), text, ProgramName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}
