// Packets from wherever a program has them: memory, its own reading functions, a file
// named in UTF-8 that an updater renames while it is open; streams that seek for a
// decoder; flags and versions a program can rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <velkaron/reader.hpp>
#ifdef _WIN32
#include <cwchar>
#endif

#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kPacket = MakePacket({{"a", true, ""}, {"two.bin", false, "0123456789"}, {"a\\one.txt", false, "first"}});

// A packet the test's own functions read, counting the closes.
struct Source {
    std::string bytes;
    int closes = 0;
    int reads = 0;
    bool failReads = false;

    vkr_io Io() {
        vkr_io io;
        io.context = this;
        io.size = static_cast<int64_t>(bytes.size());
        io.read_at = [](void* context, int64_t offset, void* buffer, size_t size, size_t* got) {
            Source* self = static_cast<Source*>(context);
            ++self->reads;
            if (self->failReads) return VKR_E_IO;
            // Three bytes at most a call, as a slow source gives them.
            const std::size_t rest = offset < static_cast<int64_t>(self->bytes.size())
                                         ? self->bytes.size() - static_cast<std::size_t>(offset) : 0;
            *got = std::min(std::min(size, rest), std::size_t{3});
            std::memcpy(buffer, self->bytes.data() + offset, *got);
            return VKR_OK;
        };
        io.close = [](void* context) { ++static_cast<Source*>(context)->closes; };
        return io;
    }
};

TEST(ReaderSources, PacketInMemoryIsReadAndViewedInPlace) {
    velkaron::Packet packet;
    ASSERT_EQ(packet.OpenMemory(kPacket.data(), kPacket.size()), VKR_OK) << velkaron::LastMessage();
    velkaron::Entry entry;
    ASSERT_EQ(packet.Find("two.bin", entry), VKR_OK);
    const void* data = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(packet.View(entry, data, length), VKR_OK);
    EXPECT_EQ(data, kPacket.data() + entry.offset);
    EXPECT_EQ(std::string(static_cast<const char*>(data), length), "0123456789");
    const std::string broken = kPacket.substr(0, kPacket.size() - 1);
    EXPECT_EQ(packet.OpenMemory(broken.data(), broken.size()), VKR_E_INVALID);
    EXPECT_EQ(packet.OpenMemory(nullptr, 10), VKR_E_ARGUMENT);
    EXPECT_EQ(packet.OpenMemory(kPacket.data(), kPacket.size(), VKR_OPEN_UTF8_PATH), VKR_E_ARGUMENT);
}

TEST(ReaderSources, PacketReadThroughTheProgramsFunctionsIsClosedExactlyOnceWhateverHappens) {
    Source source{kPacket};
    {
        velkaron::Packet packet;
        ASSERT_EQ(packet.OpenIo(source.Io()), VKR_OK) << velkaron::LastMessage();
        // Lookups and listings read nothing: the index is in memory.
        const int readsToOpen = source.reads;
        std::string content;
        velkaron::Entry entry;
        std::vector<std::size_t> children;
        for (std::size_t i = 0; i < packet.Count(); ++i) EXPECT_EQ(packet.PathAt(i, content), VKR_OK);
        ASSERT_EQ(packet.Children(VKR_ROOT, children), VKR_OK);
        EXPECT_EQ(packet.Find("no/such", entry), VKR_NOT_FOUND);
        ASSERT_EQ(packet.Find("a/one.txt", entry), VKR_OK);
        EXPECT_EQ(source.reads, readsToOpen);
        ASSERT_EQ(packet.Read(entry, content), VKR_OK);
        EXPECT_EQ(content, "first");
        const void* data = nullptr;
        std::size_t length = 0;
        EXPECT_EQ(packet.View(entry, data, length), VKR_E_NOT_MAPPED);
        source.failReads = true;
        EXPECT_EQ(packet.Read(entry, content), VKR_E_IO);
        EXPECT_EQ(source.closes, 0);
    }
    EXPECT_EQ(source.closes, 1);
    // A packet that fails its check, a flag this call does not take, a missing function.
    Source broken{kPacket.substr(0, 70)}, flagged{kPacket}, incomplete{kPacket};
    vkr_packet* packet = nullptr;
    vkr_io io = broken.Io();
    EXPECT_EQ(vkr_open_io(&io, 0, &packet), VKR_E_INVALID);
    io = flagged.Io();
    EXPECT_EQ(vkr_open_io(&io, VKR_OPEN_MAP, &packet), VKR_E_ARGUMENT);
    io = incomplete.Io();
    io.read_at = nullptr;
    EXPECT_EQ(vkr_open_io(&io, 0, &packet), VKR_E_ARGUMENT);
    EXPECT_EQ(packet, nullptr);
    EXPECT_EQ(broken.closes + flagged.closes + incomplete.closes, 3);
}

TEST(ReaderSources, StreamSeeksAndTellsForADecoder) {
    velkaron::Packet packet;
    ASSERT_EQ(packet.OpenMemory(kPacket.data(), kPacket.size()), VKR_OK);
    velkaron::Entry entry;
    ASSERT_EQ(packet.Find("two.bin", entry), VKR_OK);
    velkaron::Stream stream;
    ASSERT_EQ(packet.OpenStream(entry, stream), VKR_OK);
    char buffer[16];
    std::size_t got = 0;
    std::int64_t at = -1;
    ASSERT_EQ(stream.Seek(7), VKR_OK);
    ASSERT_EQ(stream.Read(buffer, sizeof buffer, got), VKR_OK);
    EXPECT_EQ(std::string(buffer, got), "789");
    ASSERT_EQ(stream.Tell(at), VKR_OK);
    EXPECT_EQ(at, 10);
    ASSERT_EQ(stream.Seek(2), VKR_OK);
    ASSERT_EQ(stream.Read(buffer, 3, got), VKR_OK);
    EXPECT_EQ(std::string(buffer, got), "234");
    ASSERT_EQ(stream.Seek(50), VKR_OK);  // past the end: reads give nothing
    ASSERT_EQ(stream.Read(buffer, sizeof buffer, got), VKR_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(stream.Seek(-1), VKR_E_ARGUMENT);
    ASSERT_EQ(stream.Tell(at), VKR_OK);
    EXPECT_EQ(at, 50);
}

TEST(ReaderSources, UnknownFlagsAreRefusedAndTheVersionIsTheLibrarysOwn) {
    vkr_packet* packet = nullptr;
    EXPECT_EQ(vkr_open(FixturePacket("gbk-name-with-5c-trail-byte.dat").c_str(), 0x100, &packet), VKR_E_ARGUMENT);
    EXPECT_TRUE(Has(vkr_last_message(), "0x100")) << vkr_last_message();
    EXPECT_EQ(packet, nullptr);
    EXPECT_STREQ(vkr_version(), VKR_VERSION_STRING);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%d.%d.%d", VKR_VERSION_MAJOR, VKR_VERSION_MINOR, VKR_VERSION_PATCH);
    EXPECT_EQ(std::string(VKR_VERSION_STRING).rfind(prefix, 0), 0u) << VKR_VERSION_STRING;
}

// Creates `name` (UTF-8) in `dir` with `bytes`, and renames it to `to` (UTF-8); false when either fails.
bool WriteUtf8Named(const std::string& dir, const std::string& name, const std::string& bytes);
bool RenameUtf8(const std::string& dir, const std::string& from, const std::string& to);

TEST(ReaderSources, FileNamedInUtf8OpensAndMayBeRenamedWhileOpen) {
    TempDir dir;
    const std::string name = "\xED\x95\x9C.dat";  // a Korean syllable: no character of code page 936
    ASSERT_TRUE(WriteUtf8Named(dir.Path(), name, kPacket));
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(dir.Path() + name, VKR_OPEN_UTF8_PATH), VKR_OK) << velkaron::LastMessage();
    EXPECT_TRUE(RenameUtf8(dir.Path(), name, "renamed.dat"));  // as an updater does
    velkaron::Entry entry;
    std::string content;
    ASSERT_EQ(packet.Find("two.bin", entry), VKR_OK);
    ASSERT_EQ(packet.Read(entry, content), VKR_OK);
    EXPECT_EQ(content, "0123456789");
    EXPECT_EQ(packet.Open(dir.Path() + "\xFF.dat", VKR_OPEN_UTF8_PATH), VKR_E_ENCODING);
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();) {  // enough UTF-8 for the names above: up to three bytes
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int more = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;
        unsigned code = more == 0 ? c : c & (more == 1 ? 0x1F : 0x0F);
        for (int k = 1; k <= more; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        wide += static_cast<wchar_t>(code);
        i += static_cast<std::size_t>(more) + 1;
    }
    return wide;
}

bool WriteUtf8Named(const std::string& dir, const std::string& name, const std::string& bytes) {
    FILE* file = ::_wfopen(Wide(dir + name).c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool RenameUtf8(const std::string& dir, const std::string& from, const std::string& to) {
    return ::_wrename(Wide(dir + from).c_str(), Wide(dir + to).c_str()) == 0;
}
#else
bool WriteUtf8Named(const std::string& dir, const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir + name, bytes);
    return true;
}

bool RenameUtf8(const std::string& dir, const std::string& from, const std::string& to) {
    return std::rename((dir + from).c_str(), (dir + to).c_str()) == 0;
}
#endif

}  // namespace
