// Exclusive, unbuffered file access: every opener holds the file alone (no
// sharing on Windows; on POSIX an advisory lock where asked for). The packing job
// and the settings store do all their I/O here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Identity of a file on its volume: device and inode, or volume serial and file index.
class CFolder;

struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool valid = false;

    bool operator==(const FileId& other) const {
        return valid && other.valid && volume == other.volume && index == other.index;
    }
    bool operator!=(const FileId& other) const { return !(*this == other); }
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const {
        return static_cast<std::size_t>(id.index * 0x9E3779B97F4A7C15ull ^ id.volume);
    }
};

// A fresh name for a temporary file beside `target`: `target` followed by this
// process's temporary suffix with eight random hex digits (see TemporaryName, which a
// later job recognises once the process has gone); where the system cannot hold a name
// or path that long, the suffix alone (or the digits alone) in `target`'s folder.
std::string TempNameBeside(const std::string& target);

// Writes all `size` bytes to an open descriptor (a handle on Windows) of the platform
// layer; false when the system wrote fewer or failed (full disk).
#ifdef _WIN32
bool WriteAll(void* handle, const void* buffer, std::size_t size);
#else
bool WriteAll(int fd, const void* buffer, std::size_t size);
#endif

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,   // reads and writes; with modeCreate or modeCreateNew as modeWrite is
        shareExclusive = 0x0010,  // POSIX: hold an exclusive advisory lock (every Windows open is exclusive)
        modeCreate = 0x1000,
        modeCreateNew = 0x10000,  // with modeWrite: create, failing when anything (a link too) has the name
        modeNoLink = 0x20000,     // POSIX: fail when the path's last component is a symbolic link
        modeTemporary = 0x40000,  // with modeCreateNew: the file goes when closed (POSIX: its name at once)
        modeUnnamed = 0x80000,    // OpenTempBeside: a file with no name at all where the system can make
                                  // one (Linux: O_TMPFILE), so that nothing is left of it should the
                                  // process be killed; LinkAs names it
        modeUtf8Path = 0x100000,  // Open: `path` is UTF-8, for a program whose paths need not fit the
                                  // code page (Windows: opened through the wide API; elsewhere the
                                  // file system's bytes, as always)
    };
    enum class TempResult { Opened, NotAllowed, Failed };
    // How CopyFrom ended: the source's end or the limit reached, the copy refused by
    // the system (the caller copies the rest itself), or a write failed (full disk).
    enum class CopyResult { End, Limit, Refused, Failed };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path`: modeRead reads an existing file; modeWrite alone writes an
    // existing file without truncating it; modeCreate|modeWrite creates or
    // truncates; modeCreateNew|modeWrite makes a new file and never opens or follows
    // what already stands at `path`. With shareExclusive the open takes, on POSIX, an
    // exclusive lock without waiting (flock) and truncates only once it holds it: it
    // fails, changing nothing, while another opener (of this process or another) holds
    // the lock. Opening never blocks (FIFOs included). False when it cannot be opened.
    bool Open(const std::string& path, unsigned flags);
    // Opens the file `name` in `folder` as Open does, relative to the open folder
    // where the system allows it (openat), without building its path again.
    bool OpenAt(const CFolder& folder, const char* name, unsigned flags);
    // Opens for reading the file `name` that the listing of `folder` found to be a plain
    // file with inode number `inode` (CFileFind::GetListedInode), without a look at it
    // where the folder's file system allows (POSIX, see CFolder): its length then unknown
    // (-1), its identity the listing's, and a short read its end (ShortReadEnds); its first
    // Read tells whether it is still a plain file. Elsewhere, or with an inode of 0, as
    // OpenAt with modeRead. False when it cannot be opened.
    bool OpenListedAt(const CFolder& folder, const char* name, std::uint64_t inode);
    // Takes a handle of its own on the process's standard output; false when there is none.
    bool OpenStandardOutput();
    // Creates and opens for writing a new file beside `target`, named by TempNameBeside:
    // a name where anything stands (a link too) is passed over for another, never
    // opened. On POSIX the file gets `target`'s permission bits when `target` exists,
    // without set-user-ID, set-group-ID and sticky bits. Its name in `path`, empty for a
    // file made with modeUnnamed that has none. NotAllowed when the folder may not be
    // written into; Failed for any other refusal (no such folder). `extraFlags` are
    // added to the opening flags (modeReadWrite, modeTemporary, modeUnnamed, and
    // shareExclusive: the file locked from its creation on, so that no job takes it for
    // the leftover of a process that has gone).
    TempResult OpenTempBeside(const std::string& target, std::string& path, unsigned extraFlags = 0);
    // Gives the open file with no name (modeUnnamed) the name `path`; false when
    // anything has that name already, or the system refuses.
    bool LinkAs(const std::string& path);
    bool IsOpen() const;
    // True when the last Open failed because the process (or the system) had no
    // descriptor left: the file may well be readable once others are closed.
    bool OutOfDescriptors() const { return m_lastError == OpenError::NoDescriptors; }
    // True when the last Open failed because the path names a folder.
    bool FoundFolder() const { return m_lastError == OpenError::Folder; }

    // Reads up to `size` bytes: the count read, 0 at the end, -1 on a read error. The first
    // read of a file opened without a look (OpenListedAt) looks at it whenever what it read
    // could come from anything but a plain file's end (nothing, all that was asked, an
    // error): one that is no plain file any more (something else put at its name since the
    // listing: a folder, a FIFO, a device) fails the read, and IsRegular is false from then on.
    long long Read(void* buffer, std::size_t size);
    // Writes all `size` bytes; false when the system wrote fewer or failed (full disk).
    bool Write(const void* buffer, std::size_t size);
    // Copies from `source`'s position on, at most `limit` bytes, into this file at its
    // position, inside the kernel (Linux: copy_file_range); both positions advance by
    // `copied`. Refused where the system cannot (other systems, file systems, kernels):
    // what was copied stays, the caller goes on from both positions.
    CopyResult CopyFrom(CFile& source, long long limit, long long& copied);
    // Asks the system to start writing `length` bytes from `offset` to the disk now,
    // without waiting (Linux: sync_file_range); nothing elsewhere. Durable only after Flush.
    void StartWriteBack(long long offset, long long length);
    // Moves the position to `offset` bytes from the start; false when the system refuses.
    bool Seek(long long offset);
    // Current length in bytes, or -1 when the system cannot tell.
    long long GetLength() const;
    // Length when the file was opened, without asking the system again; -1 when unknown.
    long long GetOpenedLength() const { return m_nOpenedLength; }
    // The length of a file opened by OpenListedAt, asked of the system unless a read looked
    // at the file already; it then stands as its opened length. -1 when it cannot tell.
    long long LookAtLength();
    // True for a file opened by OpenListedAt without a look: a read that returns fewer
    // bytes than asked for has reached its end.
    bool ShortReadEnds() const { return m_bShortReadEnds; }
    // How much to ask of the next read, `total` bytes of the file read so far: `room`, or
    // one byte more than the opened length leaves when that is less, so that the last
    // read comes back short and ReadReachedEnd needs no read of 0.
    std::size_t ReadSize(long long total, std::size_t room) const {
        const long long left = m_nOpenedLength - total;
        return left > 0 && left + 1 < static_cast<long long>(room) ? static_cast<std::size_t>(left + 1) : room;
    }
    // True when a read that asked for `asked` bytes and got `got` (`total` bytes read in
    // all) ended the file. On a disk file a read comes up short only at the end: a read of
    // 0, or a short read that brings the total exactly to the length the file had when
    // opened, or any short read of a file opened without a look. Not a short read with a
    // length of 0 (procfs and sysfs files report none and hand out their contents one
    // short read at a time), nor past the length (a file that grew): those are read
    // until a read returns 0.
    bool ReadReachedEnd(std::size_t asked, long long got, long long total) const {
        if (got == 0) return true;
        return static_cast<unsigned long long>(got) < asked &&
               (m_bShortReadEnds || (m_nOpenedLength > 0 && total == m_nOpenedLength));
    }
    // True for an ordinary disk file; false for folders, FIFOs, sockets and devices.
    bool IsRegular() const;
    // The open file's identity; invalid when the system cannot tell.
    FileId GetId() const;
    // Makes the system store what was written on the disk itself before it returns;
    // false when it cannot (a write error surfacing late, or no file open).
    bool Flush();
    // Closes the file; false when the system reported an error on closing (data not stored).
    bool Close();

private:
    friend class CFileHold;
    enum class OpenError { None, Exists, Denied, NoDescriptors, Folder, Other };
    void TakeModeOf(const std::string& path);  // POSIX: `path`'s permission bits, when it exists
    // A file with no name in `folder` (modeReadWrite, modeTemporary: never to be named;
    // shareExclusive: locked); false where the system cannot make one.
    bool OpenUnnamedIn(const std::string& folder, unsigned flags);
#ifndef _WIN32
    bool OpenIn(int folder, const char* path, unsigned flags);  // openat; `folder` may be AT_FDCWD
    static OpenError ErrorOf(int error);                         // from errno
    long long ReadListed(void* buffer, std::size_t size);        // Read of a file opened without a look
    bool LookWhenRead();                                         // true for a plain file (fstat)
#endif

    long long m_nOpenedLength = -1;
    bool m_bShortReadEnds = false;
    OpenError m_lastError = OpenError::None;  // why the last Open failed
#ifdef _WIN32
    void* m_hFile = nullptr;
#else
    int m_fd = -1;
    bool m_bRegular = false;  // from the fstat made when the file was opened, or by its first read
    // A file opened without a look: its first read to come, or the end that read found.
    enum class Unlooked : unsigned char { No, FirstRead, Ended };
    Unlooked m_unlooked = Unlooked::No;
    FileId m_id;
#endif
};

// Keeps a file opened with shareExclusive locked after its CFile is closed, until
// Release or destruction, so that a job may close and re-open a file it holds for
// its whole length. On POSIX a second descriptor of the same open file, which keeps
// the lock; nothing on Windows, where the exclusion ends with the handle.
class CFileHold {
public:
    CFileHold() = default;
    ~CFileHold() { Release(); }
    CFileHold(const CFileHold&) = delete;
    CFileHold& operator=(const CFileHold&) = delete;

    // Holds `file`'s lock from now on; false when the system refuses (no descriptor left).
    bool Take(const CFile& file);
    void Release();

private:
#ifndef _WIN32
    int m_fd = -1;
#endif
};

// An open folder whose files CFile::OpenAt opens by their names alone: on POSIX a
// descriptor of the folder (openat), elsewhere its path.
class CFolder {
public:
    CFolder() = default;
    ~CFolder() { Close(); }
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;

    // Opens the folder `path`, which ends with a separator. When the system refuses
    // a descriptor, OpenAt still opens by the whole path: false only tells that.
    bool Open(const std::string& path);
    void Close();
    const std::string& Path() const { return m_strPath; }
    // True when the entry `name` is now, looked at without opening it (links followed),
    // a plain file of length 0 that this process may open for reading, on this folder's
    // own file system, one whose lengths are what its files hold (not procfs, sysfs, FUSE
    // or a network file system, whose files may report 0 and hold bytes); its identity in
    // `id`. False whenever that cannot be told: the caller opens it.
    bool HoldsEmptyFile(const char* name, FileId& id) const;

private:
    friend class CFile;
    std::string m_strPath;
#ifndef _WIN32
    int m_fd = -1;
    std::uint64_t m_device = 0;  // the folder's file system
    bool m_bTrueLengths = false; // that file system's lengths count every byte its files hold
    bool m_bListedIds = false;   // its listing gives each plain file's own inode number, and no
                                 // single file is mounted over one of the folder's
    unsigned m_owner = 0;        // the process's effective user id, whose own files' owner
                                 // bits alone tell whether it may read them
#endif
};
