// CFile on POSIX descriptors. Exclusion is an advisory lock (flock) that every
// exclusive opener of ours takes; the packing job also keeps away from its own
// open files by their identity.
#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FolderTrust.h"

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, unsigned flags) { return OpenIn(AT_FDCWD, path.c_str(), flags); }

bool CFile::OpenAt(const CFolder& folder, const char* name, unsigned flags) {
    if (folder.m_fd < 0) return OpenIn(AT_FDCWD, (folder.m_strPath + name).c_str(), flags);
    return OpenIn(folder.m_fd, name, flags);
}

bool CFile::OpenListedAt(const CFolder& folder, const char* name, std::uint64_t inode) {
    if (inode == 0 || folder.m_fd < 0 || !folder.m_bListedIds) return OpenAt(folder, name, modeRead);
    Close();
    // No look at the file: the listing told it a plain file, and a link put in its place
    // since is refused here and opened the usual way. O_NONBLOCK as in OpenIn.
    do {
        m_fd = ::openat(folder.m_fd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        if (errno == ELOOP) return OpenAt(folder, name, modeRead);
        m_lastError = ErrorOf(errno);
        return false;
    }
    m_bRegular = true;
    m_unlooked = Unlooked::FirstRead;
    m_bShortReadEnds = true;
    m_nOpenedLength = -1;
    m_id = FileId{folder.m_device, inode, true};
    m_lastError = OpenError::None;
    return true;
}

long long CFile::LookAtLength() {
    struct stat st;
    if (m_nOpenedLength < 0 && m_fd >= 0 && ::fstat(m_fd, &st) == 0) m_nOpenedLength = st.st_size;
    return m_nOpenedLength;
}

bool CFile::OpenStandardOutput() {
    Close();
    m_fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        Close();
        return false;
    }
    m_bRegular = S_ISREG(st.st_mode);
    m_nOpenedLength = st.st_size;
    m_id.volume = static_cast<std::uint64_t>(st.st_dev);
    m_id.index = static_cast<std::uint64_t>(st.st_ino);
    m_id.valid = true;
    return true;
}

CFile::OpenError CFile::ErrorOf(int error) {
    return error == EEXIST                    ? OpenError::Exists
           : error == EACCES || error == EPERM ? OpenError::Denied
           : error == EMFILE || error == ENFILE ? OpenError::NoDescriptors
                                                : OpenError::Other;
}

bool CFile::OpenIn(int folder, const char* path, unsigned flags) {
    Close();
    // Under an exclusive open, truncating waits until the lock is ours: a file another
    // opener holds is left whole.
    const bool exclusive = (flags & shareExclusive) != 0;
    const bool writes = (flags & (modeWrite | modeReadWrite)) != 0;
    const bool truncate = writes && (flags & modeCreate) && !(flags & modeCreateNew);
    // O_NONBLOCK keeps a FIFO from blocking the opener; it is cleared once open.
    int oflags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (flags & modeNoLink) oflags |= O_NOFOLLOW;
    if (writes) {
        oflags |= (flags & modeReadWrite) ? O_RDWR : O_WRONLY;
        if (flags & modeCreateNew) {
            oflags |= O_CREAT | O_EXCL;  // O_EXCL also refuses a link, dangling or not
        } else if (flags & modeCreate) {
            oflags |= O_CREAT | (exclusive ? 0 : O_TRUNC);
        }
    } else {
        oflags |= O_RDONLY;
    }
    do {
        m_fd = ::openat(folder, path, oflags, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_lastError = ErrorOf(errno);
        return false;
    }
    // A file made only to be used while it is open has no name from the start on.
    if ((flags & modeTemporary) && (flags & modeCreateNew)) ::unlinkat(folder, path, 0);
    m_lastError = OpenError::Other;
    struct stat st;
    const bool looked = ::fstat(m_fd, &st) == 0;
    if (!looked || S_ISDIR(st.st_mode)) {
        if (looked) m_lastError = OpenError::Folder;
        Close();
        return false;
    }
    m_bRegular = S_ISREG(st.st_mode);
    if (exclusive && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        Close();
        return false;
    }
    if (exclusive && truncate && m_bRegular && st.st_size > 0) {
        if (::ftruncate(m_fd, 0) != 0) {
            Close();
            return false;
        }
        st.st_size = 0;
    }
    m_nOpenedLength = st.st_size;
    m_id.volume = static_cast<std::uint64_t>(st.st_dev);
    m_id.index = static_cast<std::uint64_t>(st.st_ino);
    m_id.valid = true;
    // O_NONBLOCK means nothing to a plain file; only FIFOs and devices need it cleared.
    if (!m_bRegular) ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_lastError = OpenError::None;
    return true;
}

// Only the permission bits: a file that replaces a set-user-ID program must not
// become one.
void CFile::TakeModeOf(const std::string& path) {
    struct stat st;
    if (m_fd >= 0 && ::stat(path.c_str(), &st) == 0) ::fchmod(m_fd, st.st_mode & 0777);
}

bool CFile::OpenUnnamedIn(const std::string& folder, unsigned flags) {
    Close();
#ifdef O_TMPFILE
    // A file that is to be named later is named through /proc (see LinkAs).
    if (!(flags & modeTemporary) && ::access("/proc/self/fd", X_OK) != 0) return false;
    const int access = (flags & modeReadWrite) ? O_RDWR : O_WRONLY;
    do {
        m_fd = ::open(folder.c_str(), O_TMPFILE | access | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || ((flags & shareExclusive) && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)) {
        Close();
        return false;
    }
    m_bRegular = true;
    m_nOpenedLength = 0;
    m_id.volume = static_cast<std::uint64_t>(st.st_dev);
    m_id.index = static_cast<std::uint64_t>(st.st_ino);
    m_id.valid = true;
    m_lastError = OpenError::None;
    return true;
#else
    (void)folder;
    (void)flags;
    return false;
#endif
}

bool CFile::LinkAs(const std::string& path) {
    if (m_fd < 0) return false;
#ifdef __linux__
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", m_fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    // Without /proc, the descriptor itself (which takes a capability the user may lack).
    return ::linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
#else
    (void)path;
    return false;
#endif
}

bool CFile::IsOpen() const { return m_fd >= 0; }

long long CFile::Read(void* buffer, std::size_t size) {
    if (m_unlooked != Unlooked::No) return ReadListed(buffer, size);
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) return -1;
    }
}

// The first read of a file opened without a look is made at offset 0 (pread), which a
// FIFO, a terminal or a socket refuses. Some bytes, fewer than asked for, are a plain
// file's end, as the caller takes them (ShortReadEnds): nothing is read after them. Any
// other result (nothing, all that was asked, an error) could come from what was put at
// the name since the listing, a folder, FIFO or device: the file is looked at then, once.
long long CFile::ReadListed(void* buffer, std::size_t size) {
    if (m_unlooked == Unlooked::Ended) return 0;
    m_unlooked = Unlooked::Ended;
    ssize_t n;
    do {
        n = ::pread(m_fd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0 && static_cast<std::size_t>(n) < size) return n;
    const int error = errno;
    if (!LookWhenRead()) return -1;
    if (n <= 0) {
        errno = error;
        return n;
    }
    // Read on from where the first read ended.
    m_unlooked = Unlooked::No;
    return ::lseek(m_fd, static_cast<off_t>(n), SEEK_SET) == n ? n : -1;
}

// False for anything but a plain file, which IsRegular says from then on (and when the
// system cannot tell: a read error then); a plain file's length is known from here on.
bool CFile::LookWhenRead() {
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return false;
    m_bRegular = S_ISREG(st.st_mode);
    if (m_bRegular) m_nOpenedLength = st.st_size;
    return m_bRegular;
}

bool WriteAll(int fd, const void* buffer, std::size_t size) {
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CFile::Write(const void* buffer, std::size_t size) { return WriteAll(m_fd, buffer, size); }

CFile::CopyResult CFile::CopyFrom(CFile& source, long long limit, long long& copied) {
    copied = 0;
#ifdef __linux__
    constexpr long long kChunk = 1 << 30;
    while (copied < limit) {
        std::size_t want = static_cast<std::size_t>(std::min(limit - copied, kChunk));
        ssize_t n = ::copy_file_range(source.m_fd, nullptr, m_fd, nullptr, want, 0);
        if (n > 0) {
            copied += n;
        } else if (n == 0) {
            return CopyResult::End;
        } else if (errno != EINTR) {
            // A full disk or file-size limit fails the copy; anything else the system
            // would not do here (EXDEV, EINVAL, ENOSYS, EOPNOTSUPP, EBADF...) is left to
            // a plain read and write, which also tells a real read error.
            return errno == ENOSPC || errno == EFBIG || errno == EDQUOT ? CopyResult::Failed : CopyResult::Refused;
        }
    }
    return CopyResult::Limit;
#else
    (void)source;
    (void)limit;
    return CopyResult::Refused;
#endif
}

void CFile::StartWriteBack(long long offset, long long length) {
#ifdef __linux__
    if (m_fd >= 0) ::sync_file_range(m_fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
}

bool CFile::Seek(long long offset) {
    return m_fd >= 0 && offset >= 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == offset;
}

long long CFile::GetLength() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return st.st_size;
}

bool CFile::IsRegular() const { return m_fd >= 0 && m_bRegular; }

FileId CFile::GetId() const { return m_fd >= 0 ? m_id : FileId(); }

bool CFile::Flush() { return m_fd >= 0 && ::fsync(m_fd) == 0; }

bool CFile::Close() {
    m_bShortReadEnds = false;
    m_unlooked = Unlooked::No;
    if (m_fd < 0) return true;
    int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
}

bool CFileHold::Take(const CFile& file) {
    Release();
    // The lock belongs to the open file, which lives on as long as one descriptor does.
    m_fd = file.m_fd < 0 ? -1 : ::fcntl(file.m_fd, F_DUPFD_CLOEXEC, 0);
    return m_fd >= 0;
}

void CFileHold::Release() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CFolder::Open(const std::string& path) {
    Close();
    m_strPath = path;
    m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    const FolderTrust trust = m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? TrustFolder(m_fd, st) : FolderTrust();
    m_bTrueLengths = trust.trueLengths;
    m_bListedIds = trust.listedIds;
    m_device = m_bTrueLengths ? static_cast<std::uint64_t>(st.st_dev) : 0;
    m_owner = m_bTrueLengths ? ::geteuid() : 0;
    return m_fd >= 0;
}

bool CFolder::HoldsEmptyFile(const char* name, FileId& id) const {
    struct stat st;
    // Another file system under this folder (a link out of it, a mount) has its own rules.
    if (!m_bTrueLengths || ::fstatat(m_fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0 ||
        static_cast<std::uint64_t>(st.st_dev) != m_device) {
        return false;
    }
    // The system lets a file's owner read it by the owner's permission bits alone (no entry
    // of an access control list applies to the owner); anyone else, by the group's or
    // others' bits, an access control list or a capability: only an access check tells
    // (which costs a system call, where the owner's own files cost none). An owner the bits
    // refuse may still hold a capability: the open tells then.
    const bool readable = st.st_uid == m_owner ? (st.st_mode & S_IRUSR) != 0
                                               : ::faccessat(m_fd, name, R_OK, AT_EACCESS) == 0;
    if (!readable) return false;
    id.volume = m_device;
    id.index = static_cast<std::uint64_t>(st.st_ino);
    id.valid = true;
    return true;
}

void CFolder::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_bTrueLengths = false;
    m_bListedIds = false;
}
