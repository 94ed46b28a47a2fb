// Paths as programs write them, letters' case ignored as Windows ignores it, and
// folders listed entry by entry: what a game's asset loader asks of the reader.
#include <gtest/gtest.h>

#include <map>
#include <velkaron/reader.hpp>

#include "reader/PacketNames.h"
#include "reader/platform/PacketFile.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The index of the entry at `path`, or -1 with the status's text in a failed expectation.
long long IndexAt(const velkaron::Packet& packet, const std::string& path) {
    std::size_t index = 0;
    const vkr_status status = vkr_find_index(packet.Handle(), path.c_str(), &index);
    return status == VKR_OK ? static_cast<long long>(index) : -1;
}

TEST(ReaderPaths, SlashesBackslashesLeadingDotSlashAndTrailingSeparatorsFindFilesAndFolders) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"Data", true, ""}, {"Data\\Title.txt", false, "title"}}));
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(dir / "p.dat"), VKR_OK) << velkaron::LastMessage();
    for (const char* path : {"Data\\Title.txt", "Data/Title.txt", "./Data\\Title.txt", "/Data/Title.txt",
                             "Data//Title.txt", "Data/./Title.txt", ".\\Data\\Title.txt\\"}) {
        EXPECT_EQ(IndexAt(packet, path), 1) << path;
    }
    for (const char* path : {"Data", "Data/", "Data\\", "./Data/"}) EXPECT_EQ(IndexAt(packet, path), 0) << path;
    for (const char* path : {"data/title.txt", "Data/../Data/Title.txt", "", "/", "./", "Title.txt"}) {
        EXPECT_EQ(IndexAt(packet, path), -1) << path;
    }
    velkaron::Entry entry;
    ASSERT_EQ(packet.Find("./Data/Title.txt", entry), VKR_OK);
    EXPECT_EQ(entry.index, 1u);
    std::string content;
    ASSERT_EQ(packet.Read(entry, content), VKR_OK);
    EXPECT_EQ(content, "title");
}

TEST(ReaderPaths, TrailByte5CIsNoSeparatorInAGbkPacketAndTheSplitterSaysSo) {
    velkaron::Packet packet;
    ASSERT_EQ(packet.Open(FixturePacket("gbk-name-with-5c-trail-byte.dat"), VKR_OPEN_GBK), VKR_OK);
    EXPECT_EQ(IndexAt(packet, "\xD5\x5C/a.txt"), 1);
    EXPECT_EQ(IndexAt(packet, "./\xD5\x5C\\"), 0);  // the folder, its last byte a trail byte
    std::vector<std::string> names;
    ASSERT_EQ(packet.Names("./\xD5\x5C\\a.txt//", names), VKR_OK);
    EXPECT_EQ(names, (std::vector<std::string>{".", "\xD5\x5C", "a.txt"}));
    std::size_t start = 99, length = 99;
    EXPECT_EQ(vkr_path_next(packet.Handle(), "//", &start, &length), VKR_NOT_FOUND);
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(length, 0u);
}

TEST(ReaderPaths, NoCaseFindsAPathWhateverTheCaseOfItsLettersBeyondAsciiInGbk) {
    TempDir dir;
    // In GBK: a folder "Ｄａta" (fullwidth letters), in it "Ω.Ж" (Greek, Cyrillic) and
    // the character 81 41, whose trail byte is an "A" when read byte by byte.
    WriteFileBytes(dir / "p.dat", MakePacket({{"\xA3\xC4\xA3\xE1ta", true, ""},
                                              {"\xA3\xC4\xA3\xE1ta\\Readme.TXT", false, "1"},
                                              {"\xA3\xC4\xA3\xE1ta\\\xA6\xB8.\xA7\xA8", false, "2"},
                                              {"\xA3\xC4\xA3\xE1ta\\\x81\x41", false, "3"}}));
    velkaron::Packet exact, folded;
    ASSERT_EQ(exact.Open(dir / "p.dat", VKR_OPEN_GBK), VKR_OK) << velkaron::LastMessage();
    ASSERT_EQ(folded.Open(dir / "p.dat", VKR_OPEN_GBK | VKR_OPEN_NOCASE), VKR_OK) << velkaron::LastMessage();
    const std::map<std::string, long long> paths = {{"\xA3\xE4\xA3\xC1TA/readme.txt", 1},
                                                    {"\xA3\xE4\xA3\xE1TA\\\xA6\xD8.\xA7\xD8", 2},
                                                    {"\xA3\xC4\xA3\xC1tA/", 0}};
    for (const auto& path : paths) {
        EXPECT_EQ(IndexAt(folded, path.first), path.second) << path.first;
        EXPECT_EQ(IndexAt(exact, path.first), -1) << path.first;
    }
    // A trail byte is never a letter of its own.
    EXPECT_EQ(IndexAt(folded, "\xA3\xC4\xA3\xE1ta\\\x81\x41"), 3);
    EXPECT_EQ(IndexAt(folded, "\xA3\xC4\xA3\xE1ta\\\x81\x61"), -1);
}

TEST(ReaderPaths, NoCaseRefusesAPacketWhosePathsClashWhenCaseIsIgnoredNamingBoth) {
    struct Case {
        const char* file;
        const char* says;
    };
    for (const Case& c : {Case{"names-differing-only-in-case.dat", "line 2 (#F,65,1,README.TXT)"},
                          Case{"fullwidth-file-names-differing-in-case.dat", "line 2 (#F,65,1,\\xa3\\xe1.txt)"},
                          Case{"greek-folder-names-differing-in-case.dat", "as line 1 (\\xa6\\xa1)"},
                          Case{"cyrillic-names-differing-in-case-in-a-folder.dat", "as line 2 (dir\\\\xa7\\xa1)"}}) {
        vkr_packet* packet = nullptr;
        EXPECT_EQ(vkr_open(FixturePacket(c.file).c_str(), VKR_OPEN_GBK, &packet), VKR_OK) << c.file;
        vkr_close(packet);
        EXPECT_EQ(vkr_open(FixturePacket(c.file).c_str(), VKR_OPEN_GBK | VKR_OPEN_NOCASE, &packet), VKR_E_INVALID)
            << c.file;
        EXPECT_TRUE(Has(vkr_last_message(), c.says)) << vkr_last_message();
        EXPECT_TRUE(Has(vkr_last_message(), "case of letters is ignored")) << vkr_last_message();
    }
}

// The first and last small letter of each folded row and of ASCII take their capitals,
// and the characters just beyond them stay themselves.
TEST(ReaderPaths, GbkFoldingTakesTheLettersAtTheEdgesOfTheirRowsAndNothingBeyond) {
    const auto key = [](const char* text) {
        std::string folded;
        EXPECT_TRUE(velkaron_reader::FoldedKey(text, velkaron_reader::NameCoding::Gbk, folded));
        return folded;
    };
    const std::pair<const char*, const char*> edges[] = {
        {"a", "A"},          {"z", "Z"},                                          // ASCII
        {"\xA3\xE1", "\xA3\xC1"}, {"\xA3\xFA", "\xA3\xDA"},                       // fullwidth ａ ｚ
        {"\xA6\xC1", "\xA6\xA1"}, {"\xA6\xD8", "\xA6\xB8"},                       // Greek α ω
        {"\xA7\xD1", "\xA7\xA1"}, {"\xA7\xF1", "\xA7\xC1"},                       // Cyrillic а я
        {"\xA2\xA1", "\xA2\xF1"}, {"\xA2\xAA", "\xA2\xFA"},                       // Roman ⅰ ⅹ
    };
    for (const auto& edge : edges) EXPECT_EQ(key(edge.first), key(edge.second)) << edge.first;
    for (const char* beyond : {"`", "{", "\xA3\xE0", "\xA3\xFB", "\xA6\xC0", "\xA6\xD9", "\xA7\xD0", "\xA7\xF2",
                               "\xA2\xA0", "\xA2\xAB"}) {
        EXPECT_EQ(key(beyond), beyond) << beyond;
    }
}

#ifdef _WIN32
// Under code page 936 the portable folding of GBK names and the system's own folding of
// names take exactly the same characters for one.
TEST(ReaderPaths, GbkFoldingTakesTheSameCharactersForOneAsWindows) {
    std::map<std::string, std::string> windowsClassOf;  // the system's key -> the GBK key first seen with it
    int compared = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string character{static_cast<char>(lead), static_cast<char>(trail)};
            std::string windowsKey, gbkKey;
            if (!velkaron_reader::FoldLocalName(character, windowsKey)) continue;  // not in the code page
            ASSERT_TRUE(velkaron_reader::FoldedKey(character, velkaron_reader::NameCoding::Gbk, gbkKey));
            const auto known = windowsClassOf.emplace(windowsKey, gbkKey);
            EXPECT_EQ(known.first->second, gbkKey) << std::hex << lead << " " << trail;
            ++compared;
        }
    }
    // Different system keys never share a GBK key.
    std::map<std::string, std::string> gbkClassOf;
    for (const auto& entry : windowsClassOf) EXPECT_TRUE(gbkClassOf.emplace(entry.second, entry.first).second);
    EXPECT_GT(compared, 20000);
}
#endif

}  // namespace
