// Files and folders that must not outlive a job the user ends: removed when a
// signal (Ctrl+C on Windows) ends the process while they are guarded.
#pragma once

#include <string>

// Guards one path: should the process end by SIGHUP, SIGINT, SIGPIPE or SIGTERM
// (Windows: Ctrl+C, Ctrl+Break, the console closing) while the guard is armed, the
// path is removed (a file, or an empty folder), guards armed later first, and the
// signal then ends the process as it would have. A signal the process ignores stays
// ignored. Guards are armed and disarmed on one thread.
class CRemoveOnSignal {
public:
    CRemoveOnSignal() = default;
    ~CRemoveOnSignal() { Disarm(); }
    CRemoveOnSignal(const CRemoveOnSignal&) = delete;
    CRemoveOnSignal& operator=(const CRemoveOnSignal&) = delete;

    // Guards `path` from now on; false when it is too long or every slot is taken.
    bool Arm(const std::string& path, bool folder = false);
    // Stops guarding; the path stays as it is.
    void Disarm();

private:
    int m_nSlot = -1;
};

// Holds back, on the calling thread, the signals a guard handles while it lives, so
// that a file is created and guarded (or named and renamed) as one step: a signal
// that comes meanwhile is handled once it ends. Nothing on Windows.
class CSignalsHeld {
public:
    CSignalsHeld();
    ~CSignalsHeld();
    CSignalsHeld(const CSignalsHeld&) = delete;
    CSignalsHeld& operator=(const CSignalsHeld&) = delete;

private:
    alignas(16) unsigned char m_saved[128];  // the thread's former signal mask
};

// Lets a write past the file-size limit (RLIMIT_FSIZE) fail as on a full disk,
// instead of ending the process by SIGXFSZ. Nothing on Windows.
void IgnoreFileSizeSignal();
