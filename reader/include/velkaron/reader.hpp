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

    // Opens and checks the packet at `path` (flags VKR_OPEN_MAP, VKR_OPEN_GBK), closing
    // any packet held before. VKR_E_OPEN, VKR_E_INVALID, VKR_E_IO, VKR_E_MAP on failure.
    Status Open(const std::string& path, unsigned flags = 0) {
        vkr_close(detail::Take(m_packet));
        return vkr_open(path.c_str(), flags, &m_packet);
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
    // The line whose stored path is exactly `path`, in constant time on average; VKR_NOT_FOUND when none.
    Status Find(const std::string& path, Entry& entry) const { return vkr_find(m_packet, path.c_str(), &entry); }

    // Up to `size` bytes of file `entry`'s content from byte `offset` of it; `got` is short only at its end.
    Status Read(const Entry& entry, std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) const {
        return vkr_read(m_packet, entry.index, offset, buffer, size, &got);
    }
    // The whole content of file `entry`.
    Status Read(const Entry& entry, std::string& content) const {
        std::string bytes(static_cast<std::size_t>(entry.length), '\0');
        std::size_t got = 0;
        Status status = Read(entry, 0, bytes.empty() ? nullptr : &bytes[0], bytes.size(), got);
        if (status == VKR_OK) content.assign(bytes, 0, got);
        return status;
    }
    // File `entry`'s content in place (opened with VKR_OPEN_MAP only), valid while the packet is open.
    Status View(const Entry& entry, const void*& data, std::size_t& length) const {
        return vkr_view(m_packet, entry.index, &data, &length);
    }
    // Starts reading file `entry`'s content as a stream, which must go before the packet does.
    Status OpenStream(const Entry& entry, Stream& stream) const {
        vkr_stream_close(detail::Take(stream.m_stream));
        return vkr_stream_open(m_packet, entry.index, &stream.m_stream);
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
