// The reader library as a program uses it: packets of real trees read by number, by
// path, whole, in ranges, as streams and mapped, from several threads at once; the
// hand-made hostile packets refused with a status and a message; GBK names converted.
#include <gtest/gtest.h>

#include <thread>
#include <velkaron/reader.hpp>

#include "packer/PacketBuilder.h"
#include "platform/File.h"
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

TEST(Reader, FileCutShortAfterOpeningGivesAReadErrorNotOtherBytes) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"a.txt", false, std::string(5000, 'a')}}));
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(dir / "p.dat"), VKR_OK);
    velkaron::Entry entry;
    ASSERT_EQ(packet.Find("a.txt", entry), VKR_OK);
    CFile writer;
#ifdef _WIN32
    // Windows keeps the packet from being written while it is open.
    EXPECT_FALSE(writer.Open(dir / "p.dat", CFile::modeWrite));
#else
    ASSERT_TRUE(writer.Open(dir / "p.dat", CFile::modeCreate | CFile::modeWrite));
    std::string content;
    EXPECT_EQ(packet.Read(entry, content), VKR_E_IO);
    EXPECT_TRUE(Has(velkaron::LastMessage(), "shorter")) << velkaron::LastMessage();
#endif
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
}

}  // namespace
