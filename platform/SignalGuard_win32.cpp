// CRemoveOnSignal on Windows: a console control handler, which runs on a thread of
// its own, deletes the guarded paths and lets the default handler end the process.
// Our temporary files are opened with FILE_SHARE_DELETE, so that deleting them
// while they are open succeeds (they go once the process's handles close).
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/SignalGuard.h"

namespace {

constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 1024;

struct Slot {
    std::atomic<bool> armed{false};
    bool folder = false;
    char path[kPathMax];
};

Slot g_slots[kSlots];
bool g_installed = false;

BOOL WINAPI RemoveGuarded(DWORD) {
    for (int i = kSlots - 1; i >= 0; --i) {
        if (!g_slots[i].armed.load()) continue;
        if (g_slots[i].folder) {
            ::RemoveDirectoryA(g_slots[i].path);
        } else {
            ::DeleteFileA(g_slots[i].path);
        }
    }
    return FALSE;  // the next handler, in the end the default one, ends the process
}

}  // namespace

bool CRemoveOnSignal::Arm(const std::string& path, bool folder) {
    Disarm();
    if (path.empty() || path.size() >= kPathMax) return false;
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].armed.load()) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].folder = folder;
        if (!g_installed) g_installed = ::SetConsoleCtrlHandler(RemoveGuarded, TRUE) != 0;
        g_slots[i].armed.store(true);
        m_nSlot = i;
        return true;
    }
    return false;
}

void CRemoveOnSignal::Disarm() {
    if (m_nSlot < 0) return;
    g_slots[m_nSlot].armed.store(false);
    m_nSlot = -1;
}

void IgnoreFileSizeSignal() {}
