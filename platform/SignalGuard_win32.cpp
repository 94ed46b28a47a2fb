// The signal cleanup on Windows: a console control handler, which runs on a thread
// of its own, deletes the guarded paths and lets the next handler (in the end the
// default one) end the process. Our temporary files are opened with
// FILE_SHARE_DELETE, so that deleting them while they are open succeeds: they go
// once the process's handles close.
#include <windows.h>

#include "platform/SignalGuard.h"
#include "platform/SignalGuardDefaults.h"

namespace {
BOOL WINAPI OnControl(DWORD) {
    RemoveGuardedPaths();
    return FALSE;
}
}  // namespace

void InstallSignalCleanup() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

void RestoreSignalCleanup() { ::SetConsoleCtrlHandler(OnControl, FALSE); }

void RemovePathNow(const char* path, bool folder) {
    if (folder) {
        ::RemoveDirectoryA(path);
    } else {
        ::DeleteFileA(path);
    }
}

void IgnoreFileSizeSignal() {}

// A console control handler runs on a thread of its own: nothing to hold back here.
CSignalsHeld::CSignalsHeld() : m_saved() {}

CSignalsHeld::~CSignalsHeld() {}
