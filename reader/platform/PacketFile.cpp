// What both systems share of the reader's access to packets.
#include "reader/platform/PacketFile.h"

#include <cstring>

namespace velkaron_reader {

CMemorySource::CMemorySource(const void* data, std::size_t size) {
    m_pData = static_cast<const char*>(data);
    m_nSize = static_cast<long long>(size);
}

long long CMemorySource::ReadAt(long long offset, void* buffer, std::size_t size) const {
    if (offset < 0) return -1;
    if (offset >= m_nSize) return 0;
    const unsigned long long rest = static_cast<unsigned long long>(m_nSize - offset);
    const std::size_t n = size < rest ? size : static_cast<std::size_t>(rest);
    if (n > 0) std::memcpy(buffer, m_pData + offset, n);
    return static_cast<long long>(n);
}

long long CPacketFile::ReadAt(long long offset, void* buffer, std::size_t size) const {
    if (!IsOpen() || offset < 0) return -1;
    return SystemReadAt(offset, static_cast<char*>(buffer), size);
}

}  // namespace velkaron_reader
