// Paths and folders: the few file-system services beyond reading and writing files.
#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"

#ifdef _WIN32
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif

// Length of `path`'s folder part, its last separator included; 0 when it has none.
std::size_t FolderPartLength(const std::string& path);

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
// `path` with every symbolic link in it resolved, when it leads to something; a link
// to something yet to be made, followed link by link to the path where it is to be;
// else (a loop) `path` as it stands. Windows: `path` as it stands.
std::string FollowLinks(const std::string& path);
// Makes the names in the folder that holds the file `path` durable on the disk, a
// rename into it included (POSIX: fsync of the folder); false when the system cannot.
bool SyncFolderOf(const std::string& path);
// Identity of the file or folder at `path`, links followed; invalid when it cannot be had.
FileId GetPathId(const std::string& path);
// True when the system refuses to open `path` for its length alone: on Windows a path
// of MAX_PATH characters or more (without the "\\?\" prefix), elsewhere one of
// PATH_MAX bytes or more. Opening and listing on Windows refuse such a path
// themselves, whatever the system would do (Wine has no such limit).
bool PathTooLongToOpen(const std::string& path);
// True when the system can hold a file at `path` for the lengths of its last name
// (255 bytes, or UTF-16 characters on Windows) and of the whole path.
bool PathFitsSystem(const std::string& path);
// The user's temporary folder, ending with a separator.
std::string GetTempFolder();
// The size in bytes of the file at `path`, given in UTF-8 (the wide API on Windows,
// the file system's bytes elsewhere), links followed. False when it cannot be had.
bool GetUtf8FileSize(const std::string& path, std::int64_t& size);
// What `path`, given in UTF-8 as for GetUtf8FileSize, leads to, links followed (never
// Link); Missing also when the system cannot tell.
PathKind GetUtf8TargetKind(const std::string& path);
// Identity of the file or folder at `path`, given in UTF-8 as for GetUtf8FileSize,
// links followed; invalid when it cannot be had.
FileId GetUtf8PathId(const std::string& path);
