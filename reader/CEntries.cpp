// The library's C border, its index side: entries by number, by path as programs write
// it, and folder by folder, all from what the open packet keeps in memory.
#include <cstring>

#include "reader/CInterface.h"
#include "reader/ProblemText.h"

namespace velkaron_reader {

vkr_status LineOf(const vkr_packet* packet, std::size_t index, PacketLine& line) {
    if (packet == nullptr) return NullArgument();
    if (!Of(packet)->index.LineAt(index, line, false)) {
        return Failed(VKR_E_ARGUMENT, "entry " + std::to_string(index) + " is past the packet's " +
                                          std::to_string(Of(packet)->index.Count()) + " entries");
    }
    return VKR_OK;
}

vkr_status Give(const char* text, std::size_t size, char* buffer, std::size_t capacity, std::size_t* length) {
    if (length != nullptr) *length = size;
    if (buffer == nullptr) return VKR_OK;
    if (capacity <= size) {
        return Failed(VKR_E_BUFFER, "the buffer of " + std::to_string(capacity) + " bytes cannot hold " +
                                        std::to_string(size) + " bytes and a NUL");
    }
    std::memcpy(buffer, text, size);
    buffer[size] = '\0';
    return VKR_OK;
}

namespace {

void Fill(std::size_t index, const PacketLine& line, std::size_t pathLength, vkr_entry* entry) {
    entry->index = index;
    entry->kind = line.folder ? VKR_KIND_FOLDER : VKR_KIND_FILE;
    entry->offset = line.offset;
    entry->length = line.length;
    entry->path_length = pathLength;
}

// The line at `path` as programs write it, its stored form made on the stack when it
// is not the path itself.
vkr_status FindLine(const vkr_packet* packet, const char* path, std::size_t& index) {
    const CPacketIndex& packetIndex = Of(packet)->index;
    const std::size_t size = std::strlen(path);
    char small[512];
    std::string large;
    char* stored = small;
    if (size >= sizeof small) {
        large.resize(size + 1);
        stored = &large[0];
    }
    std::size_t storedSize = 0;
    const char* key = LookupForm(path, size, packetIndex.Coding(), stored, storedSize);
    const std::uint32_t found = storedSize == 0 ? CPacketIndex::kTop : packetIndex.FindIndex(key, storedSize);
    if (found == CPacketIndex::kTop) {
        return Failed(VKR_NOT_FOUND, "the packet has no entry " + EscapedBytes(std::string(path, size)));
    }
    index = found;
    return VKR_OK;
}

}  // namespace

}  // namespace velkaron_reader

using namespace velkaron_reader;

extern "C" {

vkr_status vkr_count(const vkr_packet* packet, std::size_t* count) {
    if (packet == nullptr || count == nullptr) return NullArgument();
    *count = Of(packet)->index.Count();
    return VKR_OK;
}

vkr_status vkr_entry_at(const vkr_packet* packet, std::size_t index, vkr_entry* entry) {
    if (entry == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status == VKR_OK) Fill(index, line, Of(packet)->index.PathLengthAt(index), entry);
        return status;
    });
}

vkr_status vkr_entry_kind(const vkr_packet* packet, std::size_t index, int* kind) {
    if (kind == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status == VKR_OK) *kind = line.folder ? VKR_KIND_FOLDER : VKR_KIND_FILE;
        return status;
    });
}

vkr_status vkr_entry_length(const vkr_packet* packet, std::size_t index, int64_t* length) {
    if (length == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status == VKR_OK) *length = line.length;
        return status;
    });
}

vkr_status vkr_entry_offset(const vkr_packet* packet, std::size_t index, int64_t* offset) {
    if (offset == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status == VKR_OK) *offset = line.offset;
        return status;
    });
}

vkr_status vkr_entry_path(const vkr_packet* packet, std::size_t index, char* buffer, std::size_t capacity,
                          std::size_t* length) {
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        std::string path;
        if (status == VKR_OK && !Of(packet)->index.PathAt(index, path)) {
            return Failed(VKR_E_IO, "reading the packet's index failed");
        }
        return status == VKR_OK ? Give(path.data(), path.size(), buffer, capacity, length) : status;
    });
}

vkr_status vkr_find_index(const vkr_packet* packet, const char* path, std::size_t* index) {
    if (packet == nullptr || path == nullptr || index == nullptr) return NullArgument();
    return Guarded([&] { return FindLine(packet, path, *index); });
}

vkr_status vkr_find(const vkr_packet* packet, const char* path, vkr_entry* entry) {
    if (packet == nullptr || path == nullptr || entry == nullptr) return NullArgument();
    return Guarded([&] {
        std::size_t index = 0;
        PacketLine line;
        vkr_status status = FindLine(packet, path, index);
        if (status == VKR_OK) status = LineOf(packet, index, line);
        if (status == VKR_OK) Fill(index, line, Of(packet)->index.PathLengthAt(index), entry);
        return status;
    });
}

vkr_status vkr_path_next(const vkr_packet* packet, const char* path, std::size_t* start, std::size_t* length) {
    if (packet == nullptr || path == nullptr || start == nullptr || length == nullptr) return NullArgument();
    const std::size_t size = std::strlen(path);
    if (*start > size) *start = size;
    return NextComponent(path, size, Of(packet)->index.Coding(), *start, *length)
               ? VKR_OK
               : Failed(VKR_NOT_FOUND, "no name is left in the path");
}

vkr_status vkr_children(const vkr_packet* packet, std::size_t folder, std::size_t* indices, std::size_t capacity,
                        std::size_t* count) {
    if (packet == nullptr || count == nullptr) return NullArgument();
    *count = 0;
    return Guarded([&] {
        const CPacketIndex& index = Of(packet)->index;
        std::uint32_t first = 0, entries = 0;
        PacketLine line;
        const vkr_status status = folder == VKR_ROOT ? VKR_OK : LineOf(packet, folder, line);
        if (status != VKR_OK) return status;
        if (!index.EntriesOf(folder == VKR_ROOT ? CPacketIndex::kTop : static_cast<std::uint32_t>(folder), first,
                             entries)) {
            return Failed(VKR_E_ARGUMENT, "entry " + std::to_string(folder) + " is a file, which holds no entries");
        }
        *count = entries;
        if (indices == nullptr) return VKR_OK;
        if (capacity < entries) {
            return Failed(VKR_E_BUFFER, "the buffer of " + std::to_string(capacity) + " indices cannot hold the " +
                                            std::to_string(entries) + " entries of the folder");
        }
        for (std::uint32_t i = 0; i < entries; ++i) indices[i] = static_cast<std::size_t>(first) + i;
        return VKR_OK;
    });
}

vkr_status vkr_parent(const vkr_packet* packet, std::size_t index, std::size_t* parent) {
    if (parent == nullptr) return NullArgument();
    return Guarded([&] {
        PacketLine line;
        vkr_status status = LineOf(packet, index, line);
        if (status != VKR_OK) return status;
        const std::uint32_t folder = Of(packet)->index.FolderOf(index);
        *parent = folder == CPacketIndex::kTop ? VKR_ROOT : static_cast<std::size_t>(folder);
        return VKR_OK;
    });
}

}  // extern "C"
