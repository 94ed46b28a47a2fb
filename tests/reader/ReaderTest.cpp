// The reader library as a program uses it: packets of real trees read by number, by
// path, whole, in ranges, as streams and mapped, from several threads at once; the
// hand-made hostile packets refused with a status and a message; GBK names converted.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <thread>
#include <velkaron/reader.hpp>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "packer/PacketBuilder.h"
#include "platform/File.h"
#include "reader/PacketIndex.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A packet of a random tree in `dir`, with the test reader's view of it.
Packet PackRandomTree(const TempDir& dir, unsigned seed) {
    MakeDirs(dir / "src");
    MakeRandomTree(dir / "src", seed);
    CPacketBuilder builder;
    PackOptions options;
    options.workDir = dir / "work";
    builder.SetOptions(options);
    EXPECT_TRUE(builder.BuildPacket(dir / "src/", dir / "p.dat"));
    return ReadValidPacket(dir / "p.dat");
}

// The file's content read as a stream in pieces of `piece` bytes; "" on a failure.
std::string StreamWhole(const velkaron::Packet& packet, const velkaron::Entry& entry, std::size_t piece = 1000) {
    velkaron::Stream stream;
    if (packet.OpenStream(entry, stream) != VKR_OK) return std::string();
    std::string content;
    std::vector<char> buffer(piece);
    for (std::size_t got = 1; got > 0;) {
        if (stream.Read(buffer.data(), buffer.size(), got) != VKR_OK) return std::string();
        content.append(buffer.data(), got);
    }
    return content;
}

TEST(Reader, EveryEntryComesByNumberAndByPathWithItsContentInEveryWayOfReading) {
    TempDir dir;
    const Packet expected = PackRandomTree(dir, 3);
    for (unsigned flags : {0u, unsigned{VKR_OPEN_MAP}}) {
        velkaron::Packet packet;
        ASSERT_EQ(packet.Open(dir / "p.dat", flags), VKR_OK) << velkaron::LastMessage();
        ASSERT_EQ(packet.Count(), expected.entries.size());
        for (std::size_t i = 0; i < expected.entries.size(); ++i) {
            const PacketEntry& e = expected.entries[i];
            velkaron::Entry entry, found;
            std::string path, content;
            ASSERT_EQ(packet.EntryAt(i, entry), VKR_OK);
            ASSERT_EQ(packet.PathAt(i, path), VKR_OK);
            EXPECT_EQ(path, e.path);
            ASSERT_EQ(packet.Find(e.path, found), VKR_OK) << e.path;
            EXPECT_EQ(found.index, i);
            EXPECT_EQ(entry.kind, e.folder ? VKR_KIND_FOLDER : VKR_KIND_FILE);
            EXPECT_EQ(entry.offset, e.offset);
            EXPECT_EQ(entry.length, e.length);
            EXPECT_EQ(entry.path_length, e.path.size());
            if (e.folder) {
                EXPECT_EQ(packet.Read(entry, content), VKR_E_ARGUMENT);
                continue;
            }
            ASSERT_EQ(packet.Read(entry, content), VKR_OK);
            EXPECT_EQ(content, e.content);
            EXPECT_EQ(StreamWhole(packet, entry), e.content);
            // A range past the end comes short; from the end on, empty.
            char tail[8];
            std::size_t got = 99;
            const std::int64_t from = e.length > 3 ? e.length - 3 : 0;
            ASSERT_EQ(packet.Read(entry, from, tail, sizeof tail, got), VKR_OK);
            EXPECT_EQ(std::string(tail, got), e.content.substr(static_cast<std::size_t>(from)));
            ASSERT_EQ(packet.Read(entry, e.length + 5, tail, sizeof tail, got), VKR_OK);
            EXPECT_EQ(got, 0u);
            const void* view = nullptr;
            std::size_t length = 0;
            if (flags & VKR_OPEN_MAP) {
                ASSERT_EQ(packet.View(entry, view, length), VKR_OK);
                EXPECT_EQ(std::string(static_cast<const char*>(view), length), e.content);
            } else {
                EXPECT_EQ(packet.View(entry, view, length), VKR_E_NOT_MAPPED);
            }
        }
        velkaron::Entry none;
        EXPECT_EQ(packet.Find("no such entry", none), VKR_NOT_FOUND);
        EXPECT_TRUE(Has(velkaron::LastMessage(), "no such entry"));
        EXPECT_EQ(packet.EntryAt(expected.entries.size(), none), VKR_E_ARGUMENT);
    }
}

// The parent of every entry and the entries of every folder, from the stored paths alone.
TEST(ReaderFolders, ChildrenComeInIndexOrderAndEachEntryNamesItsParent) {
    TempDir dir;
    const Packet expected = PackRandomTree(dir, 11);
    std::map<std::string, std::size_t> indexOf = {{"", VKR_ROOT}};
    std::map<std::size_t, std::vector<std::size_t>> childrenOf = {{VKR_ROOT, {}}};
    for (std::size_t i = 0; i < expected.entries.size(); ++i) {
        const std::string& path = expected.entries[i].path;
        const std::size_t parent = indexOf.at(CPacketIndex::ParentOf(path, NameCoding::Local));
        childrenOf[parent].push_back(i);
        if (expected.entries[i].folder) childrenOf[i];
        indexOf[path] = i;
    }
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(dir / "p.dat"), VKR_OK) << velkaron::LastMessage();
    for (const auto& folder : childrenOf) {
        std::vector<std::size_t> children;
        ASSERT_EQ(packet.Children(folder.first, children), VKR_OK) << folder.first;
        EXPECT_EQ(children, folder.second) << folder.first;
        for (std::size_t child : children) {
            std::size_t parent = 0;
            ASSERT_EQ(packet.Parent(child, parent), VKR_OK);
            EXPECT_EQ(parent, folder.first);
        }
    }
    // A short buffer tells the number needed; a file holds no entries.
    std::size_t few[1], count = 0;
    const std::size_t top = childrenOf.at(VKR_ROOT).size();
    ASSERT_GT(top, 1u);
    EXPECT_EQ(vkr_children(packet.Handle(), VKR_ROOT, few, 1, &count), VKR_E_BUFFER);
    EXPECT_EQ(count, top);
    std::size_t file = 0;
    while (expected.entries[file].folder) ++file;
    EXPECT_EQ(vkr_children(packet.Handle(), file, few, 1, &count), VKR_E_ARGUMENT);
    EXPECT_EQ(vkr_children(packet.Handle(), expected.entries.size(), few, 1, &count), VKR_E_ARGUMENT);
    EXPECT_EQ(vkr_parent(packet.Handle(), expected.entries.size(), &count), VKR_E_ARGUMENT);
}

TEST(Reader, ThreadsReadingDifferentFilesOfOnePacketAtOnceEachGetTheirOwnBytes) {
    TempDir dir;
    const Packet expected = PackRandomTree(dir, 5);
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(dir / "p.dat"), VKR_OK) << velkaron::LastMessage();
    std::vector<const PacketEntry*> files;
    for (const PacketEntry& e : expected.entries) {
        if (!e.folder) files.push_back(&e);
    }
    const std::size_t threads = 4;
    std::vector<int> wrong(threads, 0);
    std::vector<std::thread> readers;
    for (std::size_t t = 0; t < threads; ++t) {
        readers.emplace_back([&, t] {
            // Small pieces, so that the threads' reads interleave many times within each file.
            for (std::size_t i = t; i < files.size(); i += threads) {
                velkaron::Entry entry;
                if (packet.Find(files[i]->path, entry) != VKR_OK || StreamWhole(packet, entry, 61) != files[i]->content) {
                    ++wrong[t];
                }
            }
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(wrong, std::vector<int>(threads, 0));
}

TEST(Reader, HostilePacketsAreRefusedWithTheRuleAndLineInTheMessage) {
    struct Case {
        const char* file;
        const char* says;
    };
    for (const Case& c : {Case{"dotdot-path.dat", "line 2 (#F,64,3,sub\\..\\..\\evil.txt): the path holds a \".\""},
                          Case{"duplicate-path.dat", "index line 2"},
                          Case{"claims-2gib-in-100-bytes.dat", "the header claims 2147483647"},
                          Case{"wrong-magic-word.dat", "does not begin with \"Velkaron.Packet \""}}) {
        vkr_packet* packet = reinterpret_cast<vkr_packet*>(1);
        EXPECT_EQ(vkr_open(FixturePacket(c.file).c_str(), 0, &packet), VKR_E_INVALID) << c.file;
        EXPECT_EQ(packet, nullptr);
        EXPECT_TRUE(Has(vkr_last_message(), c.says)) << vkr_last_message();
    }
    vkr_packet* packet = nullptr;
    TempDir dir;
    EXPECT_EQ(vkr_open((dir / "none.dat").c_str(), 0, &packet), VKR_E_OPEN);
    EXPECT_EQ(vkr_open(dir.Path().c_str(), 0, &packet), VKR_E_OPEN);
    EXPECT_EQ(vkr_open(nullptr, 0, &packet), VKR_E_ARGUMENT);
    // A GBK trail byte 5C is a separator only where names are not read as GBK.
    EXPECT_EQ(vkr_open(FixturePacket("lead-byte-before-nul.dat").c_str(), VKR_OPEN_GBK, &packet), VKR_E_INVALID);
    ASSERT_EQ(vkr_open(FixturePacket("gbk-name-with-5c-trail-byte.dat").c_str(), VKR_OPEN_GBK, &packet), VKR_OK);
    vkr_entry entry;
    EXPECT_EQ(vkr_find(packet, "\xD5\x5C\\a.txt", &entry), VKR_OK);
    vkr_close(packet);
}

// Opens `path` (one file "a.txt") with `flags`, cuts the file to `cut` bytes through a
// handle of its own, then reads a.txt whole (size SIZE_MAX) and as a stream: the two
// statuses as 16 * read + stream, or kCutRefused when the system keeps the file whole,
// kLookupFailed when the index (kept in memory) no longer gives a.txt.
constexpr int kCutRefused = 255;
constexpr int kLookupFailed = 253;
int ReadAfterCut(const std::string& path, unsigned flags, long long cut) {
    vkr_packet* packet = nullptr;
    size_t index = 0, got = 0;
    vkr_stream* stream = nullptr;
    vkr_entry entry;
    if (vkr_open(path.c_str(), flags, &packet) != VKR_OK || vkr_find(packet, "a.txt", &entry) != VKR_OK ||
        vkr_stream_open(packet, entry.index, &stream) != VKR_OK) {
        return 254;
    }
    index = entry.index;
#ifdef _WIN32
    const int fd = ::_open(path.c_str(), _O_RDWR | _O_BINARY);
    const bool cutDone = fd >= 0 && ::_chsize_s(fd, cut) == 0;
    if (fd >= 0) ::_close(fd);
#else
    const bool cutDone = ::truncate(path.c_str(), cut) == 0;
#endif
    std::vector<char> buffer(8192);
    const int read = vkr_read(packet, index, 0, buffer.data(), SIZE_MAX, &got);
    const int streamed = vkr_stream_read(stream, buffer.data(), SIZE_MAX, &got);
    vkr_stream_close(stream);
    const bool found = vkr_find(packet, "a.txt", &entry) == VKR_OK &&
                       vkr_entry_path(packet, entry.index, buffer.data(), buffer.size(), &got) == VKR_OK;
    vkr_close(packet);
    return !cutDone ? kCutRefused : !found ? kLookupFailed : 16 * read + streamed;
}

// ReadAfterCut in a child of its own, so that a fault kills the child alone; -1 when it died.
int ReadAfterCutApart(const std::string& path, unsigned flags, long long cut) {
#ifdef _WIN32
    return ReadAfterCut(path, flags, cut);
#else
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(ReadAfterCut(path, flags, cut));
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
#endif
}

TEST(Reader, PacketCutShortAfterOpeningGivesAReadErrorMappedOrNotNeverAFaultOrZeros) {
    TempDir dir;
    const std::string content(5000, 'a');  // offsets 64 to 5064: its last page begins at 4096
    for (unsigned flags : {0u, unsigned{VKR_OPEN_MAP}}) {
        for (long long cut : {0LL, 164LL, 4100LL, 5063LL}) {
            WriteFileBytes(dir / "p.dat", MakePacket({{"a.txt", false, content}}));
            const int result = ReadAfterCutApart(dir / "p.dat", flags, cut);
#ifdef _WIN32
            // Windows refuses to cut a file it has mapped.
            if (flags == VKR_OPEN_MAP && result == kCutRefused) continue;
#endif
            EXPECT_EQ(result, 16 * VKR_E_IO + VKR_E_IO) << "flags " << flags << ", cut at " << cut;
        }
    }
}

TEST(Reader, AnySizeAskedReadsTheRestOfTheFile) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"six.txt", false, "abcdef"}}));
    for (unsigned flags : {0u, unsigned{VKR_OPEN_MAP}}) {
        velkaron::Packet packet;
        velkaron::Entry entry;
        ASSERT_EQ(packet.Open(dir / "p.dat", flags), VKR_OK) << velkaron::LastMessage();
        ASSERT_EQ(packet.Find("six.txt", entry), VKR_OK);
        for (std::size_t size : {SIZE_MAX, SIZE_MAX - 1, SIZE_MAX / 2 + 1, std::size_t{7}}) {
            char buffer[16] = {};
            std::size_t got = 0;
            ASSERT_EQ(packet.Read(entry, 2, buffer, size, got), VKR_OK) << size;
            EXPECT_EQ(std::string(buffer, got), "cdef") << size;
            velkaron::Stream stream;
            ASSERT_EQ(packet.OpenStream(entry, stream), VKR_OK);
            ASSERT_EQ(stream.Read(buffer, size, got), VKR_OK) << size;
            EXPECT_EQ(std::string(buffer, got), "abcdef") << size;
            ASSERT_EQ(stream.Read(buffer, size, got), VKR_OK);
            EXPECT_EQ(got, 0u);
        }
    }
}

TEST(ReaderNames, GbkAndUtf8ConvertBothWaysAndIllFormedTextIsRefusedAtItsByte) {
    std::string utf8, gbk;
    ASSERT_EQ(velkaron::GbkToUtf8("\x81\x5C\\\xD6\xD0.txt", utf8), VKR_OK) << velkaron::LastMessage();
    EXPECT_EQ(utf8, "\xE4\xB9\x97\\\xE4\xB8\xAD.txt");  // 乗\中.txt, whatever the literals' encoding
    ASSERT_EQ(velkaron::Utf8ToGbk(utf8, gbk), VKR_OK);
    EXPECT_EQ(gbk, "\x81\x5C\\\xD6\xD0.txt");
    EXPECT_EQ(velkaron::GbkToUtf8("ab\x81", utf8), VKR_E_ENCODING);
    EXPECT_TRUE(Has(velkaron::LastMessage(), "from byte 2")) << velkaron::LastMessage();
    EXPECT_EQ(velkaron::Utf8ToGbk("a\xF0\x9F\x98\x80", gbk), VKR_E_ENCODING);  // an emoji: no GBK form
    EXPECT_TRUE(Has(velkaron::LastMessage(), "from byte 1")) << velkaron::LastMessage();
    char small[3];
    std::size_t length = 0;
    EXPECT_EQ(vkr_gbk_to_utf8("\xD6\xD0", 2, small, sizeof small, &length), VKR_E_BUFFER);
    EXPECT_EQ(length, 3u);
    // 0x80 is the euro sign in code page 936: one byte becomes three.
    std::string euros;
    for (int i = 0; i < 20; ++i) euros += "\xE2\x82\xAC";
    ASSERT_EQ(velkaron::GbkToUtf8(std::string(20, '\x80'), utf8), VKR_OK) << velkaron::LastMessage();
    EXPECT_EQ(utf8, euros);
    ASSERT_EQ(velkaron::Utf8ToGbk(euros, gbk), VKR_OK);
    EXPECT_EQ(gbk, std::string(20, '\x80'));
}

}  // namespace
