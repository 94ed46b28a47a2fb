// The library's C border: opaque handles over the core, every failure a status with
// the calling thread's message, and every exception (bad_alloc included) caught here,
// so that none reaches a caller in C or another language.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "reader/PacketIndex.h"
#include "reader/ProblemText.h"
#include "velkaron/reader.h"

struct vkr_packet {
    explicit vkr_packet(NameCoding coding) : index(coding) {}
    CPacketIndex index;
};

struct vkr_stream {
    const vkr_packet* packet;
    std::size_t index;
    long long position;  // within the file
};

namespace {

// Trivially destructible, so that a thread's end never runs code of ours (a DLL may be gone by then).
thread_local char t_message[1024];

// Sets the thread's message; allocates nothing, so that it may report a bad_alloc.
vkr_status Failed(vkr_status status, const char* message, std::size_t size) {
    const std::size_t n = size < sizeof t_message - 1 ? size : sizeof t_message - 1;
    std::memcpy(t_message, message, n);
    t_message[n] = '\0';
    return status;
}

vkr_status Failed(vkr_status status, const char* message) { return Failed(status, message, std::strlen(message)); }

vkr_status Failed(vkr_status status, const std::string& message) {
    return Failed(status, message.data(), message.size());
}

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

vkr_status NullArgument() { return Failed(VKR_E_ARGUMENT, "a required pointer argument is NULL"); }

vkr_status StatusOf(PacketRule rule) {
    switch (rule) {
        case PacketRule::CannotOpen: return VKR_E_OPEN;
        case PacketRule::CannotMap: return VKR_E_MAP;
        case PacketRule::ReadError: return VKR_E_IO;
        default: return VKR_E_INVALID;
    }
}

// The line `index` of an open packet, without its path; VKR_E_ARGUMENT past the count.
vkr_status LineOf(const vkr_packet* packet, std::size_t index, PacketLine& line) {
    if (packet == nullptr) return NullArgument();
    if (!packet->index.LineAt(index, line, false)) {
        return Failed(VKR_E_ARGUMENT, "entry " + std::to_string(index) + " is past the packet's " +
                                          std::to_string(packet->index.Count()) + " entries");
    }
    return VKR_OK;
}

vkr_status FileOf(const vkr_packet* packet, std::size_t index, PacketLine& line) {
    vkr_status status = LineOf(packet, index, line);
    if (status == VKR_OK && line.folder) {
        return Failed(VKR_E_ARGUMENT, "entry " + std::to_string(index) + " is a folder, which has no content");
    }
    return status;
}

void Fill(std::size_t index, const PacketLine& line, std::size_t pathLength, vkr_entry* entry) {
    entry->index = index;
    entry->kind = line.folder ? VKR_KIND_FOLDER : VKR_KIND_FILE;
    entry->offset = line.offset;
    entry->length = line.length;
    entry->path_length = pathLength;
}

// Copies `text` with a NUL into the caller's buffer, or tells the length alone.
vkr_status Give(const std::string& text, char* buffer, std::size_t capacity, std::size_t* length) {
    if (length != nullptr) *length = text.size();
    if (buffer == nullptr) return VKR_OK;
    if (capacity <= text.size()) {
        return Failed(VKR_E_BUFFER, "the buffer of " + std::to_string(capacity) + " bytes cannot hold " +
                                        std::to_string(text.size()) + " bytes and a NUL");
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return VKR_OK;
}

// Reads bytes [position, position + size) of a file's content, clipped to its end.
vkr_status ReadContent(const vkr_packet* packet, const PacketLine& line, long long position, void* buffer,
                       std::size_t size, std::size_t* got) {
    *got = 0;
    if (position >= line.length) return VKR_OK;
    // Compared unsigned, so that no size (SIZE_MAX, 2^63) is taken for a negative one.
    const unsigned long long rest = static_cast<unsigned long long>(line.length - position);
    const std::size_t want = size < rest ? size : static_cast<std::size_t>(rest);
    if (want == 0) return VKR_OK;
    if (buffer == nullptr) return NullArgument();
    const long long read = packet->index.ReadAt(line.offset + position, buffer, want);
    if (read != static_cast<long long>(want)) {
        return Failed(VKR_E_IO, read < 0 ? "reading the packet failed"
                                         : "the packet has become shorter since it was opened");
    }
    *got = want;
    return VKR_OK;
}

vkr_status Convert(const char* text, std::size_t size, TextDirection direction, char* buffer, std::size_t capacity,
                   std::size_t* length) {
    if (text == nullptr && size > 0) return NullArgument();
    std::string out;
    std::size_t badAt = 0;
    if (!ConvertText(std::string(text == nullptr ? "" : text, size), direction, out, badAt)) {
        const char* from = direction == TextDirection::GbkToUtf8 ? "GBK" : "UTF-8";
        const char* to = direction == TextDirection::GbkToUtf8 ? "UTF-8" : "GBK";
        return Failed(VKR_E_ENCODING, std::string("the text is not well-formed ") + from + ", or has no " + to +
                                          " form, from byte " + std::to_string(badAt) + " on");
    }
    return Give(out, buffer, capacity, length);
}

}  // namespace

extern "C" {

const char* vkr_last_message(void) { return t_message; }

const char* vkr_status_text(vkr_status status) {
    switch (status) {
        case VKR_OK: return "ok";
        case VKR_NOT_FOUND: return "not found";
        case VKR_E_ARGUMENT: return "invalid argument";
        case VKR_E_OPEN: return "cannot open";
        case VKR_E_INVALID: return "invalid packet";
        case VKR_E_IO: return "read error";
        case VKR_E_BUFFER: return "buffer too small";
        case VKR_E_ENCODING: return "cannot convert text";
        case VKR_E_MAP: return "cannot map";
        case VKR_E_NOT_MAPPED: return "not mapped";
        case VKR_E_MEMORY: return "out of memory";
        case VKR_E_INTERNAL: return "internal error";
    }
    return "unknown status";
}

const char* vkr_version(void) { return VELKARON_VERSION_STRING; }

vkr_status vkr_open(const char* path, unsigned flags, vkr_packet** packet) {
    if (packet != nullptr) *packet = nullptr;
    if (path == nullptr || packet == nullptr) return NullArgument();
    return Guarded([&] {
        auto opened = std::make_unique<vkr_packet>((flags & VKR_OPEN_GBK) ? NameCoding::Gbk : NameCoding::Local);
        CPacketIndex& index = opened->index;
        // Shared with anyone, as on POSIX: an updater may rename or replace it meanwhile.
        if (!index.Open(path, (flags & VKR_OPEN_MAP) != 0, CPacketFile::Sharing::Anyone) || !index.Check()) {
            return Failed(StatusOf(index.Problem().rule),
                          EscapedBytes(path) + ": " + DescribeProblemInEnglish(index.Problem()));
        }
        *packet = opened.release();
        return VKR_OK;
    });
}

void vkr_close(vkr_packet* packet) { delete packet; }

vkr_status vkr_count(const vkr_packet* packet, std::size_t* count) {
    if (packet == nullptr || count == nullptr) return NullArgument();
    *count = packet->index.Count();
    return VKR_OK;
}

vkr_status vkr_entry_at(const vkr_packet* packet, std::size_t index, vkr_entry* entry) {
    if (entry == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status == VKR_OK) Fill(index, line, packet->index.PathLengthAt(index), entry);
        return status;
    });
}

vkr_status vkr_entry_path(const vkr_packet* packet, std::size_t index, char* buffer, std::size_t capacity,
                          std::size_t* length) {
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status != VKR_OK) return status;
        if (!packet->index.LineAt(index, line)) return Failed(VKR_E_IO, "reading the packet's index failed");
        return Give(line.path, buffer, capacity, length);
    });
}

vkr_status vkr_find(const vkr_packet* packet, const char* path, vkr_entry* entry) {
    if (packet == nullptr || path == nullptr || entry == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        bool unreadable = false;
        const std::string wanted = path;
        if (!packet->index.Find(wanted, line, &unreadable)) {
            if (unreadable) return Failed(VKR_E_IO, "reading the packet's index failed");
            return Failed(VKR_NOT_FOUND, "the packet has no entry " + EscapedBytes(wanted));
        }
        const std::size_t index = static_cast<std::size_t>(line.number - 1);
        Fill(index, line, line.path.size(), entry);
        return VKR_OK;
    });
}

vkr_status vkr_read(const vkr_packet* packet, std::size_t index, int64_t offset, void* buffer, std::size_t size,
                    std::size_t* got) {
    if (got == nullptr) return NullArgument();
    *got = 0;
    return Guarded([&] {
        PacketLine line;
        vkr_status status = FileOf(packet, index, line);
        if (status != VKR_OK) return status;
        if (offset < 0) return Failed(VKR_E_ARGUMENT, "a negative offset into a file");
        return ReadContent(packet, line, offset, buffer, size, got);
    });
}

vkr_status vkr_view(const vkr_packet* packet, std::size_t index, const void** data, std::size_t* length) {
    if (data == nullptr || length == nullptr) return NullArgument();
    *data = nullptr;
    *length = 0;
    return Guarded([&] {
        PacketLine line;
        vkr_status status = FileOf(packet, index, line);
        if (status != VKR_OK) return status;
        const char* mapped = packet->index.MappedData();
        if (mapped == nullptr) return Failed(VKR_E_NOT_MAPPED, "the packet was opened without VKR_OPEN_MAP");
        *data = line.length > 0 ? mapped + line.offset : nullptr;
        *length = static_cast<std::size_t>(line.length);
        return VKR_OK;
    });
}

vkr_status vkr_stream_open(const vkr_packet* packet, std::size_t index, vkr_stream** stream) {
    if (stream == nullptr) return NullArgument();
    *stream = nullptr;
    return Guarded([&] {
        PacketLine line;
        vkr_status status = FileOf(packet, index, line);
        if (status == VKR_OK) *stream = new vkr_stream{packet, index, 0};
        return status;
    });
}

vkr_status vkr_stream_read(vkr_stream* stream, void* buffer, std::size_t size, std::size_t* got) {
    if (stream == nullptr || got == nullptr) return NullArgument();
    *got = 0;
    return Guarded([&] {
        PacketLine line;
        vkr_status status = FileOf(stream->packet, stream->index, line);
        if (status == VKR_OK) status = ReadContent(stream->packet, line, stream->position, buffer, size, got);
        stream->position += static_cast<long long>(*got);
        return status;
    });
}

void vkr_stream_close(vkr_stream* stream) { delete stream; }

vkr_status vkr_gbk_to_utf8(const char* text, std::size_t size, char* buffer, std::size_t capacity,
                           std::size_t* length) {
    return Guarded([&] { return Convert(text, size, TextDirection::GbkToUtf8, buffer, capacity, length); });
}

vkr_status vkr_utf8_to_gbk(const char* text, std::size_t size, char* buffer, std::size_t capacity,
                           std::size_t* length) {
    return Guarded([&] { return Convert(text, size, TextDirection::Utf8ToGbk, buffer, capacity, length); });
}

}  // extern "C"
