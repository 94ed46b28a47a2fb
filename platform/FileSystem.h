// Paths and folders: the few file-system services beyond reading and writing files.
#pragma once

#include <string>

#include "platform/File.h"

#ifdef _WIN32
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif

// What stands at a path, its last component not followed when it is a link.
enum class PathKind { Missing, File, Folder, Link, Other };

// Makes one folder (_mkdir); false when it fails, for instance because it exists.
bool MakeDir(const std::string& path);
// Removes an empty folder; false when it fails.
bool RemoveDir(const std::string& path);
// Deletes a file; false when it fails.
bool RemoveFile(const std::string& path);
// True when a file or folder of that name exists (_access with mode 0).
bool PathExists(const std::string& path);
// Renames `from` over `to`, replacing `to` in one step where the system allows it.
bool ReplaceFile(const std::string& from, const std::string& to);
// Full path of the running executable; empty when the system cannot tell.
std::string GetModulePath();
// What stands at `path` itself: a link (or reparse point) is Link, never its target;
// Missing also when the system cannot tell.
PathKind GetPathKind(const std::string& path);
// What `path` leads to, links followed (never Link); Missing also for a dangling link.
PathKind GetTargetKind(const std::string& path);
// `path` with every symbolic link in it resolved, when it leads to something; else
// `path` as it stands. Windows: `path` as it stands.
std::string FollowLinks(const std::string& path);
// Makes the names in the folder that holds the file `path` durable on the disk, a
// rename into it included (POSIX: fsync of the folder); false when the system cannot.
bool SyncFolderOf(const std::string& path);
// Makes a fresh folder of its own under the temporary folder, open to this user
// alone where the system allows; its path, without a trailing separator, in `path`.
bool MakeTempFolder(std::string& path);
// Identity of the file or folder at `path`, links followed; invalid when it cannot be had.
FileId GetPathId(const std::string& path);
// The user's temporary folder, ending with a separator.
std::string GetTempFolder();
