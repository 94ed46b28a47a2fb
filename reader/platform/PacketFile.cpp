// What both systems share of the reader's file access.
#include "reader/platform/PacketFile.h"


long long CPacketFile::ReadAt(long long offset, void* buffer, std::size_t size) const {
    if (!IsOpen() || offset < 0) return -1;
    // Through the system even when mapped: bytes of a packet cut short meanwhile are
    // missing from a read, where in the mapped view they would be zeros or a fault.
    return SystemReadAt(offset, static_cast<char*>(buffer), size);
}
