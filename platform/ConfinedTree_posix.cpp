// The confined tree on POSIX descriptors: every folder is opened with openat relative
// to its parent's descriptor (O_DIRECTORY|O_NOFOLLOW), every file created relative to
// its folder's (O_CREAT|O_EXCL|O_NOFOLLOW), replacements renamed with renameat. Names
// are the file system's bytes, whatever TreeNames says.
#include "platform/ConfinedTree.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/File.h"
#include "platform/Leftovers.h"

namespace {

template <typename F>
int NoIntr(F call) {
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc;
}

// What stands at `name` in folder `dir` when it is no folder that could be opened.
TreeStatus KindOf(int dir, const std::string& name) {
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return TreeStatus::Failed;
    if (S_ISLNK(st.st_mode)) return TreeStatus::Link;
    return S_ISDIR(st.st_mode) ? TreeStatus::Failed : TreeStatus::NotFolder;
}

// A fresh name for a file being written, unique to this process.
std::string FreshName() {
    static unsigned counter = 0;
    return TemporaryName(std::string(), std::to_string(counter++));
}

// Gives a file the name `name` in folder `dir`: the file `from` in that folder, or,
// when `from` is empty, the open file `fd` that has no name. Exists when something
// has the name.
TreeStatus LinkNamed(int fd, int dir, const std::string& name, const std::string& from = std::string()) {
    int rc;
    if (from.empty()) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        rc = ::linkat(AT_FDCWD, proc, dir, name.c_str(), AT_SYMLINK_FOLLOW);
    } else {
        rc = ::linkat(dir, from.c_str(), dir, name.c_str(), 0);
    }
    return rc == 0 ? TreeStatus::Ok : errno == EEXIST ? TreeStatus::Exists : TreeStatus::Failed;
}

// Every folder on the current path stays open: let the process hold as many
// descriptors as the system allows.
void RaiseDescriptorLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

TreeStatus CConfinedTree::OpenFolder(int dir, const std::string& name, int& folder) const {
    folder = NoIntr([&] { return ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
    return folder >= 0 ? TreeStatus::Ok : KindOf(dir, name);
}

void CConfinedTree::Release(int handle) { ::close(handle); }

bool CConfinedTree::Open(const std::string& root, TreeNames names) {
    CloseDownTo(0);
    m_strRoot = root;
    m_names = names;
    RaiseDescriptorLimit();
    int fd = NoIntr([&] { return ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return false;
    m_stack.push_back({std::string(), fd});
    return true;
}

TreeStatus CConfinedTree::MakeFolder(const std::string& name, bool mayExist) {
    if (m_stack.empty()) return TreeStatus::Failed;
    int dir = m_stack.back().handle;
    if (::mkdirat(dir, name.c_str(), 0777) == 0) return TreeStatus::Ok;
    if (errno != EEXIST) return TreeStatus::Failed;
    if (!mayExist) return TreeStatus::Exists;
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return TreeStatus::Failed;
    if (S_ISLNK(st.st_mode)) return TreeStatus::Link;
    return S_ISDIR(st.st_mode) ? TreeStatus::Ok : TreeStatus::NotFolder;
}

TreeStatus CConfinedTree::CreateFile(const std::string& name, bool replace, CTreeFile& file) {
    file.Drop();
    if (m_stack.empty()) return TreeStatus::Failed;
    const int dir = m_stack.back().handle;
    struct stat st;
    if (!replace && ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return TreeStatus::Exists;
    // Files a killed extract left here under temporary names go before this one is made.
    if (!m_stack.back().swept) RemoveLeftoversAt(dir, std::string());
    m_stack.back().swept = true;
#ifdef O_TMPFILE
    // Named later through /proc (LinkNamed).
    if (::access("/proc/self/fd", X_OK) == 0) {
        file.m_fd = NoIntr([&] { return ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
    }
#endif
    if (file.m_fd < 0) {
        CSignalsHeld held;  // created and guarded as one step
        for (int attempt = 0; file.m_fd < 0; ++attempt) {
            file.m_strCreated = FreshName();
            file.m_fd = NoIntr([&] {
                return ::openat(dir, file.m_strCreated.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0666);
            });
            if (file.m_fd < 0 && (errno != EEXIST || attempt == 100)) {
                file.m_strCreated.clear();
                return TreeStatus::Failed;
            }
        }
        file.m_guard.Arm(FolderPath() + file.m_strCreated);
    }
    // Locked until it has its name, so that no other extract takes it for a leftover.
    if (::flock(file.m_fd, LOCK_EX | LOCK_NB) != 0) {
        file.m_dirFd = dir;
        file.Drop();
        return TreeStatus::Failed;
    }
    file.m_dirFd = dir;
    file.m_strName = name;
    file.m_bReplace = replace;
    return TreeStatus::Ok;
}

CTreeFile::~CTreeFile() { Drop(); }

bool CTreeFile::Write(const void* data, std::size_t size) { return WriteAll(m_fd, data, size); }

TreeStatus CTreeFile::Commit() {
    if (m_fd < 0) return TreeStatus::Failed;
    TreeStatus status = TreeStatus::Ok;
    {
        CSignalsHeld held;  // named and renamed as one step
        if (m_strCreated.empty()) {
            // Without a name: one beside it first when the name is to be replaced.
            const std::string& first = m_bReplace ? (m_strCreated = FreshName()) : m_strName;
            status = LinkNamed(m_fd, m_dirFd, first);
            if (status != TreeStatus::Ok) m_strCreated.clear();
        }
        if (status == TreeStatus::Ok && !m_strCreated.empty()) {
            status = m_bReplace ? (::renameat(m_dirFd, m_strCreated.c_str(), m_dirFd, m_strName.c_str()) == 0
                                       ? TreeStatus::Ok
                                       : TreeStatus::Failed)
                                : LinkNamed(-1, m_dirFd, m_strName, m_strCreated);
            if (status == TreeStatus::Ok && !m_bReplace) ::unlinkat(m_dirFd, m_strCreated.c_str(), 0);
            if (status == TreeStatus::Ok) m_strCreated.clear();
        }
    }
    if (status != TreeStatus::Ok) {
        Drop();
        return status;
    }
    m_guard.Disarm();
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0) {
        ::unlinkat(m_dirFd, m_strName.c_str(), 0);  // its content could not be stored
        status = TreeStatus::Failed;
    }
    m_dirFd = -1;
    return status;
}

void CTreeFile::Drop() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (m_dirFd >= 0 && !m_strCreated.empty()) ::unlinkat(m_dirFd, m_strCreated.c_str(), 0);
    m_strCreated.clear();
    m_dirFd = -1;
    m_guard.Disarm();
}

std::string FullFolderPath(const std::string& folder, TreeNames) {
    if (!folder.empty() && folder[0] == '/') return folder;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return std::string();
    std::string full = cwd;
    if (full.back() != '/') full += '/';
    return full + folder;
}

// Limits in bytes: a name of up to NAME_MAX, a full path short of PATH_MAX, which
// counts the closing NUL.
const char* TargetPathProblem(const std::string& fullRoot, const std::vector<std::string>& path, bool, TreeNames) {
    static const std::string longName = "名称超过本系统的 " + std::to_string(NAME_MAX) + " 字节上限 (NAME_MAX)";
    static const std::string longPath = "完整路径超过本系统的 " + std::to_string(PATH_MAX - 1) + " 字节上限 (PATH_MAX)";
    if (fullRoot.empty()) return "无法确定目标文件夹的完整路径";
    std::size_t length = fullRoot.size();  // it ends with a separator
    for (const std::string& name : path) {
        if (name.size() > NAME_MAX) return longName.c_str();
        length += name.size() + 1;
    }
    if (!path.empty() && length - 1 >= PATH_MAX) return longPath.c_str();
    return nullptr;
}

bool MakeFolderPath(const std::string& path, TreeNames) {
    if (path.empty()) return false;
    for (std::size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = path.substr(0, pos);
        struct stat st;
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0777) != 0 &&
            (errno != EEXIST || ::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            return false;
        }
        if (pos == std::string::npos) return true;
    }
}
