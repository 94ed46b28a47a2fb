// Leftovers on POSIX: a process that no longer runs is one kill(pid, 0) does not find;
// a job holds its temporary files under an advisory lock (flock) from their creation
// to their rename, so a file whose lock is free is in no job's hands, on this machine
// or another that shares the folder.
#include "platform/Leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

namespace {

// The entries of the open folder `dir` that are temporary names for `stem`.
std::vector<std::string> Candidates(int dir, const std::string& stem) {
    std::vector<std::string> names;
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (entries == nullptr) {
        if (listing >= 0) ::close(listing);
        return names;
    }
    while (const dirent* entry = ::readdir(entries)) {
        if (IsLeftoverName(entry->d_name, stem)) names.push_back(entry->d_name);
    }
    ::closedir(entries);
    return names;
}

// Removes `name` from `dir` when it is a plain file of this user that nobody holds:
// opened as itself (never through a link), its lock taken, and still the file that
// has the name when the name goes.
bool RemoveIfFree(int dir, const std::string& name) {
    int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = ::openat(dir, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened, named;
    const bool removed = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
                         ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                         ::unlinkat(dir, name.c_str(), 0) == 0;
    ::close(fd);
    return removed;
}

}  // namespace

unsigned long ThisProcessId() { return static_cast<unsigned long>(::getpid()); }

bool ProcessRuns(unsigned long pid) {
    const pid_t id = static_cast<pid_t>(pid);
    if (id <= 0 || static_cast<unsigned long>(id) != pid) return false;
    return ::kill(id, 0) == 0 || errno != ESRCH;  // EPERM: it runs, as another user
}

int RemoveLeftoversAt(int dir, const std::string& stem) {
    int removed = 0;
    for (const std::string& name : Candidates(dir, stem)) removed += RemoveIfFree(dir, name) ? 1 : 0;
    return removed;
}

int RemoveLeftovers(const std::string& folder, const std::string& stem) {
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return 0;
    const int removed = RemoveLeftoversAt(dir, stem);
    ::close(dir);
    return removed;
}
