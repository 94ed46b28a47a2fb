// CRemoveOnSignal on POSIX: a handler that only unlinks prepared paths (both
// async-signal-safe) and raises the signal again under its old disposition.
#include "platform/SignalGuard.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;
constexpr int kSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};

struct Slot {
    std::atomic<bool> armed{false};
    bool folder = false;
    char path[kPathMax];
};

Slot g_slots[kSlots];
struct sigaction g_old[sizeof kSignals / sizeof kSignals[0]];
int g_armed = 0;  // slots armed: the handlers are installed while it is above 0

void RemoveGuarded(int sig) {
    for (int i = kSlots - 1; i >= 0; --i) {
        if (!g_slots[i].armed.load()) continue;
        if (g_slots[i].folder) {
            ::rmdir(g_slots[i].path);
        } else {
            ::unlink(g_slots[i].path);
        }
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void Install() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveGuarded;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaddset(&action.sa_mask, sig);  // one cleanup at a time
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        ::sigaction(kSignals[i], nullptr, &g_old[i]);
        if (g_old[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
    }
}

void Restore() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) ::sigaction(kSignals[i], &g_old[i], nullptr);
}

}  // namespace

bool CRemoveOnSignal::Arm(const std::string& path, bool folder) {
    Disarm();
    if (path.empty() || path.size() >= kPathMax) return false;
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].armed.load()) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].folder = folder;
        if (g_armed++ == 0) Install();
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
    if (--g_armed == 0) Restore();
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }
