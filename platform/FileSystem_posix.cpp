// Folders and paths on POSIX.
#include "platform/FileSystem.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kMaxLinksFollowed = 40;  // as Linux follows them in one path
}  // namespace

bool MakeDir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool PathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string GetModulePath() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(n));
}

PathKind GetPathKind(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode)) return PathKind::Link;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    return PathKind::Other;
}

PathKind GetTargetKind(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    return PathKind::Other;
}

std::string FollowLinks(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    // A link to a file yet to be made leads to where that file is to be: followed one
    // link at a time, each relative one from its own folder.
    std::string at = path;
    for (int hops = 0; hops < kMaxLinksFollowed; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), target, sizeof target - 1);
        if (n <= 0) return at;
        std::string next(target, static_cast<std::size_t>(n));
        if (next[0] != '/') next = at.substr(0, FolderPartLength(at)) + next;
        at = next;
    }
    return path;  // a loop: the link itself, which nobody may replace
}

bool SyncFolderOf(const std::string& path) {
    std::size_t sep = path.rfind('/');
    std::string folder = sep == std::string::npos ? "." : sep == 0 ? "/" : path.substr(0, sep);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

FileId GetPathId(const std::string& path) {
    FileId id;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        id.volume = static_cast<std::uint64_t>(st.st_dev);
        id.index = static_cast<std::uint64_t>(st.st_ino);
        id.valid = true;
    }
    return id;
}

std::string GetTempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool PathTooLongToOpen(const std::string& path) { return path.size() >= PATH_MAX; }

bool PathFitsSystem(const std::string& path) {
    const std::size_t sep = path.rfind('/');
    const std::size_t name = sep == std::string::npos ? path.size() : path.size() - sep - 1;
    return name <= NAME_MAX && !PathTooLongToOpen(path);
}

bool GetUtf8FileSize(const std::string& path, std::int64_t& size) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    size = static_cast<std::int64_t>(st.st_size);
    return true;
}

PathKind GetUtf8TargetKind(const std::string& path) { return GetTargetKind(path); }

FileId GetUtf8PathId(const std::string& path) { return GetPathId(path); }
