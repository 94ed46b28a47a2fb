// The reader library's own access to a packet's bytes, kept apart from the program's
// platform/ so that the installed library links with the system's libraries alone:
// a source read at given offsets (never through a shared position, so that several
// threads may read at once): a file, opened and when asked mapped whole, a block of
// the caller's memory, or the caller's own reading function. A Win32 and a POSIX
// implementation of the file beside this header, with the system's code pages.
#pragma once

#include <cstddef>
#include <string>

namespace velkaron_reader {

// Where a packet's bytes come from.
class CPacketSource {
public:
    virtual ~CPacketSource() = default;
    // The length when it was opened; -1 when the system could not tell.
    long long Size() const { return m_nSize; }
    // Reads up to `size` bytes at `offset`: the count read (short only at the end),
    // -1 on an error. Safe to call from several threads at once.
    virtual long long ReadAt(long long offset, void* buffer, std::size_t size) const = 0;
    // Makes the whole of it addressable for Data(); false when it cannot be.
    virtual bool Map() { return Data() != nullptr; }
    // The bytes in memory, Size() of them, once mapped (or always, for memory);
    // nullptr otherwise.
    const char* Data() const { return m_pData; }

protected:
    long long m_nSize = -1;
    const char* m_pData = nullptr;
};

// The caller's memory, which it keeps alive and unchanged meanwhile.
class CMemorySource : public CPacketSource {
public:
    CMemorySource(const void* data, std::size_t size);
    long long ReadAt(long long offset, void* buffer, std::size_t size) const override;
};

class CPacketFile : public CPacketSource {
public:
    CPacketFile() = default;
    ~CPacketFile() override { Close(); }
    CPacketFile(const CPacketFile&) = delete;
    CPacketFile& operator=(const CPacketFile&) = delete;

    // Who else may open the file while it is open here: readers alone (on Windows,
    // writers are kept out), or anyone, also to write, rename or delete it (as POSIX
    // always lets them).
    enum class Sharing { Readers, Anyone };
    // Opens `path` for reading: on Windows in the system's ANSI code page, or with
    // `utf8Path` in UTF-8 (the wide API underneath); elsewhere the file system's
    // bytes. False when it does not exist, is no plain file or cannot be read (or,
    // with `utf8Path`, is not well-formed UTF-8); never blocks.
    bool Open(const std::string& path, Sharing sharing = Sharing::Readers, bool utf8Path = false);
    bool IsOpen() const;
    // Reads through the system even when mapped, so that bytes of a file cut short
    // meanwhile are missing from a read, where the view would fault or give zeros.
    long long ReadAt(long long offset, void* buffer, std::size_t size) const override;
    // Maps the whole file read-only. False when the system cannot (no address space
    // for it on a 32-bit system, say); the file stays open and readable then.
    bool Map() override;
    void Close();

private:
    long long SystemReadAt(long long offset, char* buffer, std::size_t size) const;
    void Unmap();

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
// The key under which `path` (in the local encoding) compares with its letters' case
// ignored as the system compares file names: on Windows its UTF-16 form with each unit
// upper-cased by the system's table (false when the text has no such form); off
// Windows its ASCII letters upper-cased.
bool FoldLocalName(const std::string& path, std::string& key);

}  // namespace velkaron_reader
