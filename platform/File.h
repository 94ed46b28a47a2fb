// Exclusive, unbuffered file access: every opener holds the file alone (no
// sharing on Windows). The packing job and the settings store do all their I/O here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Identity of a file on its volume: device and inode, or volume serial and file index.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool valid = false;

    bool operator==(const FileId& other) const {
        return valid && other.valid && volume == other.volume && index == other.index;
    }
    bool operator!=(const FileId& other) const { return !(*this == other); }
};

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
        modeCreate = 0x1000,
        modeCreateNew = 0x10000,  // with modeWrite: create, failing when anything (a link too) has the name
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path`: modeRead reads an existing file; modeWrite alone writes an
    // existing file without truncating it; modeCreate|modeWrite creates or
    // truncates; modeCreateNew|modeWrite makes a new file and never opens or follows
    // what already stands at `path`. Opening never blocks (FIFOs included). False when
    // it cannot be opened.
    bool Open(const std::string& path, unsigned flags);
    bool IsOpen() const;

    // Reads up to `size` bytes: the count read, 0 at the end, -1 on a read error.
    long long Read(void* buffer, std::size_t size);
    // Writes all `size` bytes; false when the system wrote fewer or failed (full disk).
    bool Write(const void* buffer, std::size_t size);
    // Moves the position to `offset` bytes from the start; false when the system refuses.
    bool Seek(long long offset);
    // Current length in bytes, or -1 when the system cannot tell.
    long long GetLength() const;
    // Length when the file was opened, without asking the system again; -1 when unknown.
    long long GetOpenedLength() const { return m_nOpenedLength; }
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
    long long m_nOpenedLength = -1;
#ifdef _WIN32
    void* m_hFile = nullptr;
#else
    int m_fd = -1;
    bool m_bRegular = false;  // from the fstat made when the file was opened
    FileId m_id;
#endif
};
