// The reader's file access on POSIX: pread on one descriptor, mmap for the view, and
// names compared by their ASCII letters' case alone.
#define _FILE_OFFSET_BITS 64  // a packet may pass 2 GiB, also in a 32-bit process
#include "reader/platform/PacketFile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkaron_reader {

bool CPacketFile::Open(const std::string& path, Sharing, bool) {
    Close();
    // O_NONBLOCK keeps a FIFO from blocking the opener; it is refused right after.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_nSize = static_cast<long long>(st.st_size);
    return true;
}

bool CPacketFile::IsOpen() const { return m_fd >= 0; }

long long CPacketFile::SystemReadAt(long long offset, char* buffer, std::size_t size) const {
    std::size_t total = 0;
    while (total < size) {
        ssize_t n = ::pread(m_fd, buffer + total, size - total, static_cast<off_t>(offset) + static_cast<off_t>(total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(total);
}

bool CPacketFile::Map() {
    if (m_fd < 0 || m_nSize <= 0 || static_cast<unsigned long long>(m_nSize) > SIZE_MAX) return false;
    if (m_pData != nullptr) return true;
    void* p = ::mmap(nullptr, static_cast<std::size_t>(m_nSize), PROT_READ, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED) return false;
    m_pData = static_cast<const char*>(p);
    return true;
}

void CPacketFile::Unmap() {
    if (m_pData != nullptr) ::munmap(const_cast<char*>(m_pData), static_cast<std::size_t>(m_nSize));
    m_pData = nullptr;
}

void CPacketFile::Close() {
    Unmap();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_nSize = -1;
}

bool IsLocalLeadByte(unsigned char) { return false; }

bool IsLocalTrailByte(unsigned char) { return false; }

bool FoldLocalName(const std::string& path, std::string& key) {
    key = path;
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return true;
}

}  // namespace velkaron_reader
