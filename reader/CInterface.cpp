// The library's C border, its opening side: the thread's message, the status texts,
// and packets opened from a file, from memory or through the program's own functions,
// each checked whole; every exception (bad_alloc included) caught, so that none
// reaches a caller in C or another language.
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "reader/CInterface.h"
#include "reader/GbkText.h"
#include "reader/ProblemText.h"

namespace velkaron_reader {

namespace {

// Trivially destructible, so that a thread's end never runs code of ours (a library may be gone by then).
thread_local char t_message[1024];

constexpr unsigned kFileFlags = VKR_OPEN_MAP | VKR_OPEN_GBK | VKR_OPEN_NOCASE | VKR_OPEN_UTF8_PATH;
constexpr unsigned kMemoryFlags = VKR_OPEN_MAP | VKR_OPEN_GBK | VKR_OPEN_NOCASE;
constexpr unsigned kIoFlags = VKR_OPEN_GBK | VKR_OPEN_NOCASE;

vkr_status FailedWith(vkr_status status, const char* message, std::size_t size) {
    const std::size_t n = size < sizeof t_message - 1 ? size : sizeof t_message - 1;
    std::memcpy(t_message, message, n);
    t_message[n] = '\0';
    return status;
}

vkr_status StatusOf(PacketRule rule) {
    switch (rule) {
        case PacketRule::CannotOpen: return VKR_E_OPEN;
        case PacketRule::CannotMap: return VKR_E_MAP;
        case PacketRule::ReadError: return VKR_E_IO;
        default: return VKR_E_INVALID;
    }
}

vkr_status UnknownFlags(unsigned flags, unsigned known) {
    return Failed(VKR_E_ARGUMENT, "flags 0x" + [](unsigned value) {
        static const char kHex[] = "0123456789abcdef";
        std::string text;
        do text.insert(text.begin(), kHex[value & 0xF]); while ((value >>= 4) != 0);
        return text;
    }(flags & ~known) + " are not known to this call");
}

// True for well-formed UTF-8 without NUL, surrogates or overlong forms.
bool IsUtf8(const char* text) {
    const std::size_t size = std::strlen(text);
    std::uint32_t code = 0;
    for (std::size_t pos = 0; pos < size;) {
        if (!NextUtf8(text, size, pos, code)) return false;
    }
    return true;
}

std::unique_ptr<COpenPacket> NewPacket(unsigned flags) {
    const NameCoding coding = (flags & VKR_OPEN_GBK) ? NameCoding::Gbk : NameCoding::Local;
    std::unique_ptr<COpenPacket> opened(new COpenPacket(coding, PathStore::Memory));
    if (flags & VKR_OPEN_NOCASE) {
        opened->index.SetNameFold(
            [coding](const std::string& path, std::string& key) { return FoldedKey(path, coding, key); });
    }
    return opened;
}

// Checks the packet `opened` has begun to open (`ok` false when that failed), naming it
// `what` in the message; on success hands it to the caller.
vkr_status Finish(std::unique_ptr<COpenPacket> opened, bool ok, const std::string& what, vkr_packet** packet) {
    CPacketIndex& index = opened->index;
    if (!ok || !index.Check()) {
        return Failed(StatusOf(index.Problem().rule), what + ": " + DescribeProblemInEnglish(index.Problem()));
    }
    *packet = reinterpret_cast<vkr_packet*>(opened.release());
    return VKR_OK;
}

// The program's functions as the packet's source; the library never calls them at once.
class CIoSource : public CPacketSource {
public:
    explicit CIoSource(const vkr_io& io) : m_io(io) { m_nSize = io.size; }
    ~CIoSource() override {
        if (m_io.close != nullptr) m_io.close(m_io.context);
    }
    CIoSource(const CIoSource&) = delete;
    CIoSource& operator=(const CIoSource&) = delete;

    long long ReadAt(long long offset, void* buffer, std::size_t size) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t total = 0;
        while (total < size) {
            std::size_t got = 0;
            const vkr_status status = m_io.read_at(m_io.context, offset + static_cast<long long>(total),
                                                   static_cast<char*>(buffer) + total, size - total, &got);
            if (status != VKR_OK || got > size - total) return -1;
            if (got == 0) break;
            total += got;
        }
        return static_cast<long long>(total);
    }

private:
    vkr_io m_io;
    mutable std::mutex m_mutex;
};

// Calls the program's close when it goes, unless the source has taken that over.
class CCloseOnce {
public:
    explicit CCloseOnce(const vkr_io& io) : m_io(io) {}
    ~CCloseOnce() {
        if (m_bArmed && m_io.close != nullptr) m_io.close(m_io.context);
    }
    CCloseOnce(const CCloseOnce&) = delete;
    CCloseOnce& operator=(const CCloseOnce&) = delete;
    void Disarm() { m_bArmed = false; }

private:
    const vkr_io& m_io;
    bool m_bArmed = true;
};

}  // namespace

vkr_status Failed(vkr_status status, const char* message) { return FailedWith(status, message, std::strlen(message)); }

vkr_status Failed(vkr_status status, const std::string& message) {
    return FailedWith(status, message.data(), message.size());
}

vkr_status NullArgument() { return Failed(VKR_E_ARGUMENT, "a required pointer argument is NULL"); }

}  // namespace velkaron_reader

using namespace velkaron_reader;

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

const char* vkr_version(void) { return VKR_VERSION_STRING; }

vkr_status vkr_open(const char* path, unsigned flags, vkr_packet** packet) {
    if (packet != nullptr) *packet = nullptr;
    if (path == nullptr || packet == nullptr) return NullArgument();
    if (flags & ~kFileFlags) return UnknownFlags(flags, kFileFlags);
    if ((flags & VKR_OPEN_UTF8_PATH) && !IsUtf8(path)) {
        return Failed(VKR_E_ENCODING, EscapedBytes(path) + ": the path is not well-formed UTF-8");
    }
    return Guarded([&] {
        std::unique_ptr<COpenPacket> opened = NewPacket(flags);
        // Shared with anyone, as on POSIX: an updater may rename or replace it meanwhile.
        const bool ok = opened->index.Open(path, (flags & VKR_OPEN_MAP) != 0, CPacketFile::Sharing::Anyone,
                                           (flags & VKR_OPEN_UTF8_PATH) != 0);
        return Finish(std::move(opened), ok, EscapedBytes(path), packet);
    });
}

vkr_status vkr_open_memory(const void* data, std::size_t size, unsigned flags, vkr_packet** packet) {
    if (packet != nullptr) *packet = nullptr;
    if ((data == nullptr && size > 0) || packet == nullptr) return NullArgument();
    if (flags & ~kMemoryFlags) return UnknownFlags(flags, kMemoryFlags);
    return Guarded([&] {
        std::unique_ptr<COpenPacket> opened = NewPacket(flags);
        const bool ok = opened->index.Open(std::unique_ptr<CPacketSource>(new CMemorySource(data, size)));
        return Finish(std::move(opened), ok, "the packet in memory", packet);
    });
}

vkr_status vkr_open_io(const vkr_io* io, unsigned flags, vkr_packet** packet) {
    if (packet != nullptr) *packet = nullptr;
    if (io == nullptr) return NullArgument();
    const vkr_io copy = *io;
    CCloseOnce closer(copy);
    if (copy.read_at == nullptr || packet == nullptr) return NullArgument();
    if (flags & ~kIoFlags) return UnknownFlags(flags, kIoFlags);
    if (copy.size < 0) return Failed(VKR_E_ARGUMENT, "the size of the packet read through vkr_io is negative");
    return Guarded([&] {
        std::unique_ptr<CPacketSource> source(new CIoSource(copy));
        closer.Disarm();  // the source closes it now, when the packet or its opening goes
        std::unique_ptr<COpenPacket> opened = NewPacket(flags);
        const bool ok = opened->index.Open(std::move(source));
        return Finish(std::move(opened), ok, "the packet read through vkr_io", packet);
    });
}

void vkr_close(vkr_packet* packet) { delete Of(packet); }

}  // extern "C"
