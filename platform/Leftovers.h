// Temporary files that a process killed outright (SIGKILL, TerminateProcess) leaves
// behind: they carry names only this program makes, with the id of the process that
// made them, and a later job removes those whose process runs no more.
#pragma once

#include <string>

// The id of the running process.
unsigned long ThisProcessId();
// True when the process `pid` runs (or may: one the system will not say of).
bool ProcessRuns(unsigned long pid);
// The name of a temporary file of this process: `stem`, then ".velkaron-", the process
// id, "-", `tag` (hex digits or a decimal count) and ".tmp".
std::string TemporaryName(const std::string& stem, const std::string& tag);
// True when `name` is such a name, made for `stem` or for no stem at all; the process
// that made it in `pid`.
bool IsTemporaryName(const std::string& name, const std::string& stem, unsigned long& pid);
// True when `name` is a temporary name made for `stem` (or for no stem) by another
// process, one that no longer runs.
bool IsLeftoverName(const std::string& name, const std::string& stem);
// Removes from the folder `folder` (ending with a separator, or empty for the current
// one) the temporary files named for `stem` or for no stem that were left by a process
// which no longer runs and that no process holds (POSIX: a plain file of this user whose
// advisory lock is free; Windows: one that opens without sharing); never a link, a
// folder or a file of another name. The count removed; none where it cannot list.
int RemoveLeftovers(const std::string& folder, const std::string& stem);
// RemoveLeftovers for the file `target`: in its folder, for its name.
int RemoveLeftoversBeside(const std::string& target);
// The same in the open folder `dir` (a descriptor, on Windows a handle, kept open), each
// file listed and removed relative to it.
#ifdef _WIN32
int RemoveLeftoversAt(void* dir, const std::string& stem);
#else
int RemoveLeftoversAt(int dir, const std::string& stem);
#endif
