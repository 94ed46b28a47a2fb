// CRemoveOnSignal's slots: paths prepared before any signal may come, so that a
// handler reads them without allocating or locking.
#include <atomic>
#include <cstring>

#include "platform/SignalGuard.h"
#include "platform/SignalGuardDefaults.h"

namespace {

constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;

struct Slot {
    std::atomic<bool> armed{false};
    bool folder = false;
    char path[kPathMax];
};

Slot g_slots[kSlots];
int g_armed = 0;  // slots armed: the handler is installed while it is above 0

}  // namespace

bool CRemoveOnSignal::Arm(const std::string& path, bool folder) {
    Disarm();
    if (path.empty() || path.size() >= kPathMax) return false;
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].armed.load()) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].folder = folder;
        if (g_armed++ == 0) InstallSignalCleanup();
        g_slots[i].armed.store(true);  // the path is whole before a handler may read it
        m_nSlot = i;
        return true;
    }
    return false;
}

void CRemoveOnSignal::Disarm() {
    if (m_nSlot < 0) return;
    g_slots[m_nSlot].armed.store(false);
    m_nSlot = -1;
    if (--g_armed == 0) RestoreSignalCleanup();
}

void RemoveGuardedPaths() {
    for (int i = kSlots - 1; i >= 0; --i) {
        if (g_slots[i].armed.load()) RemovePathNow(g_slots[i].path, g_slots[i].folder);
    }
}
