// What the files of the library's C border share: the packets and streams behind the
// opaque handles, and the calling thread's message with the statuses that set it.
// Everything in the library's own namespace; the handles are cast, not defined, so
// that no C++ name of the library stands outside it.
#pragma once

#include <cstddef>
#include <string>

#include "reader/PacketIndex.h"
#include "velkaron/reader.h"

namespace velkaron_reader {

struct COpenPacket {
    COpenPacket(NameCoding coding, PathStore store) : index(coding, store) {}
    CPacketIndex index;
};

struct COpenStream {
    const COpenPacket* packet;
    long long offset;    // of the file's content in the packet
    long long length;    // of the content
    long long position;  // within the content
};

inline COpenPacket* Of(vkr_packet* packet) { return reinterpret_cast<COpenPacket*>(packet); }
inline const COpenPacket* Of(const vkr_packet* packet) { return reinterpret_cast<const COpenPacket*>(packet); }
inline COpenStream* Of(vkr_stream* stream) { return reinterpret_cast<COpenStream*>(stream); }
inline const COpenStream* Of(const vkr_stream* stream) { return reinterpret_cast<const COpenStream*>(stream); }

// Sets the calling thread's message and returns `status`; allocates nothing, so that
// it may report a bad_alloc.
vkr_status Failed(vkr_status status, const char* message);
vkr_status Failed(vkr_status status, const std::string& message);
vkr_status NullArgument();

// `body`'s status, or VKR_E_MEMORY / VKR_E_INTERNAL for an exception it throws.
template <typename Body>
vkr_status Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Failed(VKR_E_MEMORY, "out of memory");
    } catch (...) {
        return Failed(VKR_E_INTERNAL, "an unexpected error inside the library");
    }
}

// Line `index` of an open packet, without its path; VKR_E_ARGUMENT for a NULL packet or past the count.
vkr_status LineOf(const vkr_packet* packet, std::size_t index, PacketLine& line);
// Copies `text` with a NUL into the caller's buffer, or tells the length alone.
vkr_status Give(const char* text, std::size_t size, char* buffer, std::size_t capacity, std::size_t* length);

}  // namespace velkaron_reader
