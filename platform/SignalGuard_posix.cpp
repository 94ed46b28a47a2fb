// The signal cleanup on POSIX: a handler that only unlinks (async-signal-safe) and
// raises the signal again under its default disposition.
#include <pthread.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "platform/SignalGuard.h"
#include "platform/SignalGuardDefaults.h"

namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};
constexpr std::size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_old[kSignalCount];

void OnSignal(int sig) {
    RemoveGuardedPaths();
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered once the handler returns, ending the process
}

}  // namespace

void InstallSignalCleanup() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaddset(&action.sa_mask, sig);  // one cleanup at a time
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kSignals[i], nullptr, &g_old[i]);
        if (g_old[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
    }
}

void RestoreSignalCleanup() {
    for (std::size_t i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_old[i], nullptr);
}

void RemovePathNow(const char* path, bool folder) {
    if (folder) {
        ::rmdir(path);
    } else {
        ::unlink(path);
    }
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

CSignalsHeld::CSignalsHeld() {
    static_assert(sizeof(sigset_t) <= sizeof m_saved, "room for a signal mask");
    sigset_t held;
    sigemptyset(&held);
    for (int sig : kSignals) sigaddset(&held, sig);
    ::pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(m_saved));
}

CSignalsHeld::~CSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(m_saved), nullptr); }
