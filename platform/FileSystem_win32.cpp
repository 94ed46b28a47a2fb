// Folders and paths on Win32, all through the ANSI ("A") functions but for those
// that take a UTF-8 path.
#include "platform/FileSystem.h"

#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <random>

#include "platform/MbText.h"
#include "platform/WidePath_win32.h"
#undef ReplaceFile  // ours, not the Win32 macro

namespace {

// What attributes that GetFileAttributes gave tell of the target, links followed.
PathKind KindOfAttributes(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    return PathKind::File;
}

// The identity of the file or folder open at `h` (0 access), which it closes.
FileId IdOfHandle(HANDLE h) {
    FileId id;
    if (h == INVALID_HANDLE_VALUE) return id;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(h, &info)) {
        id.volume = info.dwVolumeSerialNumber;
        id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.valid = true;
    }
    ::CloseHandle(h);
    return id;
}

}  // namespace

bool MakeDir(const std::string& path) { return ::_mkdir(path.c_str()) == 0; }

bool RemoveDir(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool PathExists(const std::string& path) { return ::_access(path.c_str(), 0) == 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string GetModulePath() {
    char buffer[1024] = {};
    ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

PathKind GetPathKind(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    return PathKind::File;
}

PathKind GetTargetKind(const std::string& path) { return KindOfAttributes(::GetFileAttributesA(path.c_str())); }

std::string FollowLinks(const std::string& path) { return path; }

// MoveFileEx with MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
bool SyncFolderOf(const std::string&) { return true; }

FileId GetPathId(const std::string& path) {
    return IdOfHandle(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::string GetTempFolder() {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(sizeof buffer, buffer);
    std::string folder = (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string(".\\");
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

bool PathTooLongToOpen(const std::string& path) {
    if (path.compare(0, 4, "\\\\?\\") == 0) return false;
    int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], n);
    // The limit applies to the full path the system makes of a relative one; its
    // length counts the closing NUL.
    DWORD full = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    return (full > 0 ? full : static_cast<DWORD>(n)) > MAX_PATH;
}

bool PathFitsSystem(const std::string& path) {
    std::size_t start = FindLastChar(path, '\\');
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && (start == std::string::npos || slash > start)) start = slash;
    start = start == std::string::npos ? 0 : start + 1;
    const int name = ::MultiByteToWideChar(CP_ACP, 0, path.data() + start, static_cast<int>(path.size() - start),
                                           nullptr, 0);
    return name <= 255 && !PathTooLongToOpen(path);
}

bool GetUtf8FileSize(const std::string& path, std::int64_t& size) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!WideOfUtf8(path, wide) || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return true;
}

PathKind GetUtf8TargetKind(const std::string& path) {
    std::wstring wide;
    if (!WideOfUtf8(path, wide)) return PathKind::Missing;
    return KindOfAttributes(::GetFileAttributesW(wide.c_str()));
}

FileId GetUtf8PathId(const std::string& path) {
    std::wstring wide;
    if (!WideOfUtf8(path, wide)) return FileId();
    return IdOfHandle(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}
