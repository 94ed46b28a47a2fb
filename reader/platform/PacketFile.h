// The reader library's own file access, kept apart from the program's platform/ so
// that the installed library links with the system's libraries alone: one packet
// opened for reading, read at given offsets (never through a shared file position,
// so that several threads may read at once) and, when asked, mapped whole. A Win32
// and a POSIX implementation beside this header.
#pragma once

#include <cstddef>
#include <string>

class CPacketFile {
public:
    CPacketFile() = default;
    ~CPacketFile() { Close(); }
    CPacketFile(const CPacketFile&) = delete;
    CPacketFile& operator=(const CPacketFile&) = delete;

    // Who else may open the file while it is open here: readers alone (on Windows,
    // writers are kept out), or anyone, also to write, rename or delete it (as POSIX
    // always lets them).
    enum class Sharing { Readers, Anyone };
    // Opens `path` (in the system's ANSI code page on Windows) for reading. False when
    // it does not exist, is no plain file or cannot be read; never blocks.
    bool Open(const std::string& path, Sharing sharing = Sharing::Readers);
    bool IsOpen() const;
    // The file's length when it was opened; -1 when the system could not tell.
    long long Size() const { return m_nSize; }
    // Reads up to `size` bytes at `offset` without moving any shared position: the
    // count read (short only at the end of the file), -1 on an error. Safe to call
    // from several threads at once.
    long long ReadAt(long long offset, void* buffer, std::size_t size) const;
    // Maps the whole file read-only; afterwards Data() gives its bytes (ReadAt still
    // reads through the system, so that a file cut short never faults it). False when the system cannot (no address space for it on a
    // 32-bit system, say); the file stays open and readable then.
    bool Map();
    // The mapped bytes, Size() of them; nullptr when not mapped.
    const char* Data() const { return m_pData; }
    void Close();

private:
    long long SystemReadAt(long long offset, char* buffer, std::size_t size) const;
    void Unmap();

    long long m_nSize = -1;
    const char* m_pData = nullptr;
#ifdef _WIN32
    void* m_hFile = nullptr;
    void* m_hMapping = nullptr;
#else
    int m_fd = -1;
#endif
};

// True when `c` begins a double-byte character of the system's ANSI code page / may
// stand second in one (40-7E and 80-FE). Off Windows names have no double-byte
// characters: always false.
bool IsLocalLeadByte(unsigned char c);
bool IsLocalTrailByte(unsigned char c);

// Converts a whole text between GBK (code page 936) and UTF-8. False, with `out`
// unchanged and the offset of the first byte that is not well formed (or names a
// character the other encoding lacks) in `badAt`, when it cannot.
enum class TextDirection { GbkToUtf8, Utf8ToGbk };
bool ConvertText(const std::string& in, TextDirection direction, std::string& out, std::size_t& badAt);
