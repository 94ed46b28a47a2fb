// The library's C border, its content side: files read in ranges, viewed in place and
// streamed with seeking, and GBK names converted.
#include "reader/CInterface.h"
#include "reader/GbkText.h"

namespace velkaron_reader {

namespace {

vkr_status FileOf(const vkr_packet* packet, std::size_t index, PacketLine& line) {
    vkr_status status = LineOf(packet, index, line);
    if (status == VKR_OK && line.folder) {
        return Failed(VKR_E_ARGUMENT, "entry " + std::to_string(index) + " is a folder, which has no content");
    }
    return status;
}

// Reads bytes [position, position + size) of the content at `offset` of `length` bytes,
// clipped to its end.
vkr_status ReadContent(const COpenPacket* packet, long long offset, long long length, long long position,
                       void* buffer, std::size_t size, std::size_t* got) {
    *got = 0;
    if (position >= length) return VKR_OK;
    // Compared unsigned, so that no size (SIZE_MAX, 2^63) is taken for a negative one.
    const unsigned long long rest = static_cast<unsigned long long>(length - position);
    const std::size_t want = size < rest ? size : static_cast<std::size_t>(rest);
    if (want == 0) return VKR_OK;
    if (buffer == nullptr) return NullArgument();
    const long long read = packet->index.ReadAt(offset + position, buffer, want);
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
    return Give(out.data(), out.size(), buffer, capacity, length);
}

}  // namespace

}  // namespace velkaron_reader

using namespace velkaron_reader;

extern "C" {

vkr_status vkr_read(const vkr_packet* packet, std::size_t index, int64_t offset, void* buffer, std::size_t size,
                    std::size_t* got) {
    if (got == nullptr) return NullArgument();
    *got = 0;
    return Guarded([&] {
        PacketLine line;
        vkr_status status = FileOf(packet, index, line);
        if (status != VKR_OK) return status;
        if (offset < 0) return Failed(VKR_E_ARGUMENT, "a negative offset into a file");
        return ReadContent(Of(packet), line.offset, line.length, offset, buffer, size, got);
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
        const char* mapped = Of(packet)->index.MappedData();
        if (mapped == nullptr) {
            return Failed(VKR_E_NOT_MAPPED, "the packet is not in memory: opened without VKR_OPEN_MAP, or through vkr_io");
        }
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
        if (status == VKR_OK) {
            *stream = reinterpret_cast<vkr_stream*>(new COpenStream{Of(packet), line.offset, line.length, 0});
        }
        return status;
    });
}

vkr_status vkr_stream_read(vkr_stream* stream, void* buffer, std::size_t size, std::size_t* got) {
    if (stream == nullptr || got == nullptr) return NullArgument();
    *got = 0;
    return Guarded([&] {
        COpenStream& s = *Of(stream);
        const vkr_status status = ReadContent(s.packet, s.offset, s.length, s.position, buffer, size, got);
        s.position += static_cast<long long>(*got);
        return status;
    });
}

vkr_status vkr_stream_seek(vkr_stream* stream, int64_t offset) {
    if (stream == nullptr) return NullArgument();
    if (offset < 0) return Failed(VKR_E_ARGUMENT, "a negative offset into a file");
    Of(stream)->position = offset;
    return VKR_OK;
}

vkr_status vkr_stream_tell(const vkr_stream* stream, int64_t* offset) {
    if (stream == nullptr || offset == nullptr) return NullArgument();
    *offset = Of(stream)->position;
    return VKR_OK;
}

void vkr_stream_close(vkr_stream* stream) { delete Of(stream); }

vkr_status vkr_gbk_to_utf8(const char* text, std::size_t size, char* buffer, std::size_t capacity,
                           std::size_t* length) {
    return Guarded([&] { return Convert(text, size, TextDirection::GbkToUtf8, buffer, capacity, length); });
}

vkr_status vkr_utf8_to_gbk(const char* text, std::size_t size, char* buffer, std::size_t capacity,
                           std::size_t* length) {
    return Guarded([&] { return Convert(text, size, TextDirection::Utf8ToGbk, buffer, capacity, length); });
}

}  // extern "C"
