// What CRemoveOnSignal needs of each platform: a handler installed while a path is
// guarded, and a removal that is safe inside it.
#pragma once

// Installs the handler that calls RemoveGuardedPaths and then ends the process as
// the signal would have; signals the process ignores stay ignored.
void InstallSignalCleanup();
// Puts back what InstallSignalCleanup replaced.
void RestoreSignalCleanup();
// Removes the file or empty folder `path`; safe inside a signal handler.
void RemovePathNow(const char* path, bool folder);
// Removes every guarded path, those armed last first; safe inside a signal handler.
void RemoveGuardedPaths();
