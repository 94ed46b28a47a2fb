// What both systems share of the reader's file access: reads from the mapped view.
#include "reader/platform/PacketFile.h"

#include <cstring>

long long CPacketFile::ReadAt(long long offset, void* buffer, std::size_t size) const {
    if (!IsOpen() || offset < 0) return -1;
    if (m_pData == nullptr) return SystemReadAt(offset, static_cast<char*>(buffer), size);
    if (offset >= m_nSize) return 0;
    const long long rest = m_nSize - offset;
    const std::size_t n = static_cast<long long>(size) < rest ? size : static_cast<std::size_t>(rest);
    std::memcpy(buffer, m_pData + offset, n);
    return static_cast<long long>(n);
}
