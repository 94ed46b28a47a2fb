// Velkaron packet reader: the C++ interface. Inline over the C interface of
// <velkaron/reader.h>, so nothing but C types crosses the library's border and the
// same code works with the static and the shared library. No function throws but for
// std::bad_alloc from the strings it fills; failures are a Status, explained by
// LastMessage() on the same thread. See reader.h for the rules every call follows.
#ifndef VELKARON_READER_HPP
#define VELKARON_READER_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "velkaron/reader.h"

namespace velkaron {

namespace detail {
// std::exchange, which C++11 lacks.
template <typename T>
T* Take(T*& handle, T* replacement = nullptr) {
    T* old = handle;
    handle = replacement;
    return old;
}
}  // namespace detail

using Status = vkr_status;
using Entry = vkr_entry;

// The calling thread's explanation of its last failed call.
inline std::string LastMessage() { return vkr_last_message(); }

// Converts GBK text (a stored name) to UTF-8, and back; VKR_E_ENCODING for ill-formed input.
inline Status GbkToUtf8(const std::string& gbk, std::string& utf8);
inline Status Utf8ToGbk(const std::string& utf8, std::string& gbk);

// One file's content read front to back; movable, closed when it goes.
class Stream {
public:
    Stream() = default;
    ~Stream() { vkr_stream_close(m_stream); }
    Stream(Stream&& other) noexcept : m_stream(detail::Take(other.m_stream)) {}
    Stream& operator=(Stream&& other) noexcept {
        std::swap(m_stream, other.m_stream);
        return *this;
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // The next up to `size` bytes; `got` is 0 at the end. VKR_E_IO when the packet cannot be read.
    Status Read(void* buffer, std::size_t size, std::size_t& got) {
        return vkr_stream_read(m_stream, buffer, size, &got);
    }
    // Moves to byte `offset` of the file (past its end too); VKR_E_ARGUMENT when negative or not open.
    Status Seek(std::int64_t offset) { return vkr_stream_seek(m_stream, offset); }
    // The place from the file's start; VKR_E_ARGUMENT when not open.
    Status Tell(std::int64_t& offset) const { return vkr_stream_tell(m_stream, &offset); }

private:
    friend class Packet;
    vkr_stream* m_stream = nullptr;
};

// An open, checked packet; movable, closed when it goes. Every const call may be made
// from several threads at once.
class Packet {
public:
    Packet() = default;
    ~Packet() { vkr_close(m_packet); }
    Packet(Packet&& other) noexcept : m_packet(detail::Take(other.m_packet)) {}
    Packet& operator=(Packet&& other) noexcept {
        std::swap(m_packet, other.m_packet);
        return *this;
    }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    // Opens and checks the packet at `path` (flags VKR_OPEN_*), closing any packet held
    // before. VKR_E_OPEN, VKR_E_INVALID, VKR_E_IO, VKR_E_MAP, VKR_E_ARGUMENT on failure.
    Status Open(const std::string& path, unsigned flags = 0) {
        vkr_close(detail::Take(m_packet));
        return vkr_open(path.c_str(), flags, &m_packet);
    }
    // The same for the packet in `size` bytes at `data`, which must outlive it unchanged.
    Status OpenMemory(const void* data, std::size_t size, unsigned flags = 0) {
        vkr_close(detail::Take(m_packet));
        return vkr_open_memory(data, size, flags, &m_packet);
    }
    // The same for the packet `io` reads; io.close is called once, when it goes or fails to open.
    Status OpenIo(const vkr_io& io, unsigned flags = 0) {
        vkr_close(detail::Take(m_packet));
        return vkr_open_io(&io, flags, &m_packet);
    }
    bool IsOpen() const { return m_packet != nullptr; }

    // The number of index lines; 0 when no packet is open.
    std::size_t Count() const {
        std::size_t count = 0;
        return vkr_count(m_packet, &count) == VKR_OK ? count : 0;
    }
    // Line `index` (from 0, in index order); VKR_E_ARGUMENT past Count().
    Status EntryAt(std::size_t index, Entry& entry) const { return vkr_entry_at(m_packet, index, &entry); }
    // The stored path of line `index`; VKR_E_ARGUMENT past Count(), VKR_E_IO when unreadable.
    Status PathAt(std::size_t index, std::string& path) const {
        std::size_t length = 0;
        Status status = vkr_entry_path(m_packet, index, nullptr, 0, &length);
        if (status != VKR_OK) return status;
        std::string bytes(length + 1, '\0');
        status = vkr_entry_path(m_packet, index, &bytes[0], bytes.size(), &length);
        if (status == VKR_OK) path.assign(bytes, 0, length);
        return status;
    }
    // The entry at `path` as programs write it ("/" or "\\", no leading "./", folders too;
    // see vkr_find), in constant time on average; VKR_NOT_FOUND when none.
    Status Find(const std::string& path, Entry& entry) const { return vkr_find(m_packet, path.c_str(), &entry); }
    Status FindIndex(const std::string& path, std::size_t& index) const {
        return vkr_find_index(m_packet, path.c_str(), &index);
    }
    // Entry `index`'s kind (VKR_KIND_*) and content length; VKR_E_ARGUMENT past Count().
    Status Kind(std::size_t index, int& kind) const { return vkr_entry_kind(m_packet, index, &kind); }
    Status Length(std::size_t index, std::int64_t& length) const {
        return vkr_entry_length(m_packet, index, &length);
    }
    // The direct entries of `folder` (VKR_ROOT: the top level) in index order; VKR_E_ARGUMENT for a file.
    Status Children(std::size_t folder, std::vector<std::size_t>& indices) const {
        std::size_t count = 0;
        Status status = vkr_children(m_packet, folder, nullptr, 0, &count);
        if (status != VKR_OK) return status;
        indices.resize(count);
        return vkr_children(m_packet, folder, indices.empty() ? nullptr : &indices[0], indices.size(), &count);
    }
    // The folder holding entry `index` (VKR_ROOT at the top level); VKR_E_ARGUMENT past Count().
    Status Parent(std::size_t index, std::size_t& parent) const { return vkr_parent(m_packet, index, &parent); }
    // The names of `path` as Find splits them.
    Status Names(const std::string& path, std::vector<std::string>& names) const {
        names.clear();
        std::size_t start = 0, length = 0;
        Status status;
        while ((status = vkr_path_next(m_packet, path.c_str(), &start, &length)) == VKR_OK) {
            names.push_back(path.substr(start, length));
            start += length;
        }
        return status == VKR_NOT_FOUND ? VKR_OK : status;
    }

    // Up to `size` bytes of file `entry`'s content from byte `offset` of it; `got` is short only at its end.
    Status Read(const Entry& entry, std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) const {
        return vkr_read(m_packet, entry.index, offset, buffer, size, &got);
    }
    // The whole content of file `entry`, or of file `index`.
    Status Read(const Entry& entry, std::string& content) const { return Read(entry.index, content); }
    Status Read(std::size_t index, std::string& content) const {
        std::int64_t length = 0;
        Status status = Length(index, length);
        if (status != VKR_OK) return status;
        std::string bytes(static_cast<std::size_t>(length), '\0');
        std::size_t got = 0;
        status = vkr_read(m_packet, index, 0, bytes.empty() ? nullptr : &bytes[0], bytes.size(), &got);
        if (status == VKR_OK) content.assign(bytes, 0, got);
        return status;
    }
    // File `entry`'s content in place (opened with VKR_OPEN_MAP only), valid while the packet is open.
    Status View(const Entry& entry, const void*& data, std::size_t& length) const {
        return vkr_view(m_packet, entry.index, &data, &length);
    }
    // Starts reading file `entry`'s (or `index`'s) content as a stream, which must go before the packet does.
    Status OpenStream(const Entry& entry, Stream& stream) const { return OpenStream(entry.index, stream); }
    Status OpenStream(std::size_t index, Stream& stream) const {
        vkr_stream_close(detail::Take(stream.m_stream));
        return vkr_stream_open(m_packet, index, &stream.m_stream);
    }

    // The handle for calls of the C interface.
    vkr_packet* Handle() const { return m_packet; }

private:
    vkr_packet* m_packet = nullptr;
};

namespace detail {
// Converts through the C function `convert`, asking for the length first.
template <typename Convert>
Status ConvertWith(Convert convert, const std::string& in, std::string& out) {
    std::size_t length = 0;
    Status status = convert(in.data(), in.size(), nullptr, 0, &length);
    if (status != VKR_OK) return status;
    std::string bytes(length + 1, '\0');
    status = convert(in.data(), in.size(), &bytes[0], bytes.size(), &length);
    if (status == VKR_OK) out.assign(bytes, 0, length);
    return status;
}
}  // namespace detail

inline Status GbkToUtf8(const std::string& gbk, std::string& utf8) {
    return detail::ConvertWith(vkr_gbk_to_utf8, gbk, utf8);
}
inline Status Utf8ToGbk(const std::string& utf8, std::string& gbk) {
    return detail::ConvertWith(vkr_utf8_to_gbk, utf8, gbk);
}

}  // namespace velkaron

#endif  // VELKARON_READER_HPP
