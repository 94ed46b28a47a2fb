// The streaming packet check on the hand-made hostile packets and on real ones:
// which rule breaks on which line, lookups by path, and indexes far longer than
// the reader's buffer.
#include <gtest/gtest.h>

#include <cctype>

#include "packer/PacketBuilder.h"
#include "reader/PacketIndex.h"
#include "platform/MbText.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

struct Hostile {
    const char* file;
    PacketRule rule;
    long long line;
};

std::ostream& operator<<(std::ostream& os, const Hostile& h) { return os << h.file; }

class HostilePacket : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostilePacket, IsRefusedAtItsFirstBrokenRuleAndLine) {
    const Hostile& h = GetParam();
    CPacketIndex index;
    bool valid = index.Open(FixturePacket(h.file)) && index.Check();
    EXPECT_FALSE(valid);
    EXPECT_EQ(index.Problem().rule, h.rule);
    EXPECT_EQ(index.Problem().line, h.line);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, HostilePacket,
    ::testing::Values(Hostile{"header-shorter-than-64-bytes.dat", PacketRule::HeaderShort, 0},
                      Hostile{"wrong-magic-word.dat", PacketRule::HeaderMagic, 0},
                      Hostile{"header-without-crlf.dat", PacketRule::HeaderLineEnd, 0},
                      Hostile{"header-number-with-leading-zero.dat", PacketRule::HeaderNumbers, 0},
                      Hostile{"header-padding-not-spaces.dat", PacketRule::HeaderPadding, 0},
                      Hostile{"index-offset-inside-header.dat", PacketRule::IndexOffset, 0},
                      Hostile{"header-lies-about-index-length.dat", PacketRule::PacketSize, 0},
                      Hostile{"claims-2gib-in-100-bytes.dat", PacketRule::PacketSize, 0},
                      Hostile{"line-without-crlf.dat", PacketRule::LineBreak, 1},
                      Hostile{"index-without-final-crlf.dat", PacketRule::IndexEnd, 1},
                      Hostile{"line-not-a-folder-or-file.dat", PacketRule::LineKind, 1},
                      Hostile{"line-with-too-few-fields.dat", PacketRule::LineFields, 1},
                      Hostile{"negative-length.dat", PacketRule::LineNumbers, 1},
                      Hostile{"folder-line-with-length.dat", PacketRule::FolderLength, 1},
                      Hostile{"dotdot-path.dat", PacketRule::PathDot, 2},
                      Hostile{"absolute-path.dat", PacketRule::PathAbsolute, 1},
                      Hostile{"drive-letter-path.dat", PacketRule::PathAbsolute, 1},
                      Hostile{"slash-separated-path.dat", PacketRule::PathBadChar, 1},
                      Hostile{"empty-path-component.dat", PacketRule::PathEmpty, 2},
                      Hostile{"duplicate-path.dat", PacketRule::Duplicate, 2},
                      Hostile{"file-offset-past-end.dat", PacketRule::FilePastData, 1},
                      Hostile{"file-length-past-data-area.dat", PacketRule::FilePastData, 1},
                      Hostile{"gap-between-files.dat", PacketRule::FileGap, 2},
                      Hostile{"overlapping-files.dat", PacketRule::FileOverlap, 2},
                      Hostile{"folder-offset-not-next-file.dat", PacketRule::FolderOffset, 1},
                      Hostile{"data-area-longer-than-its-files.dat", PacketRule::DataLength, 0},
                      Hostile{"entry-before-its-folder.dat", PacketRule::Order, 1},
                      Hostile{"folder-entries-split-up.dat", PacketRule::Order, 5}));

TEST(PacketIndexHeader, SizeCheckNamesWhatTheHeaderClaimsAndWhatTheFileHolds) {
    CPacketIndex index;
    ASSERT_FALSE(index.Open(FixturePacket("claims-2gib-in-100-bytes.dat")));
    EXPECT_EQ(index.Problem().expected, 2147483647);
    EXPECT_EQ(index.Problem().found, 100);
    EXPECT_FALSE(index.Check());
    EXPECT_EQ(index.Problem().rule, PacketRule::PacketSize);
}

TEST(PacketIndexHeader, MissingFileCannotBeOpened) {
    TempDir dir;
    CPacketIndex index;
    EXPECT_FALSE(index.Open(dir / "none.dat"));
    EXPECT_EQ(index.Problem().rule, PacketRule::CannotOpen);
    EXPECT_FALSE(index.Open(dir.Path()));
    EXPECT_EQ(index.Problem().rule, PacketRule::CannotOpen);
}

// A packet with an empty data area made of the given index lines.
std::string FoldersOnly(const std::vector<std::string>& lines) {
    std::string index;
    for (const std::string& line : lines) index += line + "\r\n";
    std::string header = "Velkaron.Packet 64 " + std::to_string(index.size()) + "\r\n";
    header.resize(64, ' ');
    return header + index;
}

bool CheckBytes(const TempDir& dir, const std::string& bytes, PacketProblem& problem,
                NameCoding coding = NameCoding::Local) {
    WriteFileBytes(dir / "p.dat", bytes);
    CPacketIndex index(coding);
    bool ok = index.Open(dir / "p.dat") && index.Check();
    problem = index.Problem();
    return ok;
}

TEST(PacketIndexOrder, SubfoldersAreWalkedInTheOrderOfTheirLinesSkippingEmptyOnes) {
    TempDir dir;
    PacketProblem problem;
    EXPECT_TRUE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", "#D,64,0,b", "#D,64,0,c", "#D,64,0,c\\x"}), problem));
    EXPECT_TRUE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", "#D,64,0,b", "#D,64,0,a\\c", "#D,64,0,a\\c\\x",
                                             "#D,64,0,b\\y"}),
                           problem));
    // a\c's entries belong before b's, since a\c comes within a, before b.
    EXPECT_FALSE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", "#D,64,0,b", "#D,64,0,a\\c", "#D,64,0,b\\y",
                                              "#D,64,0,a\\c\\x"}),
                            problem));
    EXPECT_EQ(problem.rule, PacketRule::Order);
    EXPECT_EQ(problem.line, 5);
    EXPECT_FALSE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", "#D,64,0,b", "#D,64,0,b\\x", "#D,64,0,a\\y"}), problem));
    EXPECT_EQ(problem.line, 4);
    // A file is no folder to hold entries.
    std::string fileAsFolder = "Velkaron.Packet 65 24\r\n";
    fileAsFolder.resize(64, ' ');
    fileAsFolder += "x#F,64,1,a\r\n#D,65,0,a\\b\r\n";
    EXPECT_FALSE(CheckBytes(dir, fileAsFolder, problem));
    EXPECT_EQ(problem.rule, PacketRule::Order);
    EXPECT_EQ(problem.line, 2);
}

TEST(PacketIndexLines, LineOfTheLongestLengthPassesAndOneByteMoreIsRefused) {
    TempDir dir;
    PacketProblem problem;
    const std::string prefix = "#D,64,0,";
    EXPECT_TRUE(CheckBytes(dir, FoldersOnly({prefix + std::string(kMaxIndexLine - prefix.size(), 'n')}), problem))
        << static_cast<int>(problem.rule);
    EXPECT_FALSE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", prefix + std::string(kMaxIndexLine - prefix.size() + 1, 'n')}),
                            problem));
    EXPECT_EQ(problem.rule, PacketRule::LineTooLong);
    EXPECT_EQ(problem.line, 2);
    // Without any line end at all the reader stops at its bound too.
    std::string endless = "Velkaron.Packet 64 200000\r\n";
    endless.resize(64, ' ');
    endless += "#D,64,0," + std::string(200000 - 8, 'n');
    EXPECT_FALSE(CheckBytes(dir, endless, problem));
    EXPECT_EQ(problem.rule, PacketRule::LineTooLong);
}

TEST(PacketIndexLines, IndexManyTimesTheBufferIsWalkedWholeAndALateRepeatIsFound) {
    TempDir dir;
    std::vector<std::string> lines;
    for (int i = 0; i < 30000; ++i) lines.push_back("#D,64,0,folder number " + std::to_string(i));
    PacketProblem problem;
    EXPECT_TRUE(CheckBytes(dir, FoldersOnly(lines), problem)) << static_cast<int>(problem.rule);
    lines.push_back("#D,64,0,folder number 17");
    EXPECT_FALSE(CheckBytes(dir, FoldersOnly(lines), problem));
    EXPECT_EQ(problem.rule, PacketRule::Duplicate);
    EXPECT_EQ(problem.line, 30001);
    EXPECT_EQ(problem.found, 18);
    EXPECT_EQ(problem.text, "#D,64,0,folder number 17");
}

TEST(PacketIndexLines, EarlierRepeatIsReportedBeforeALaterBrokenLine) {
    TempDir dir;
    PacketProblem problem;
    EXPECT_FALSE(CheckBytes(dir, FoldersOnly({"#D,64,0,a", "#D,64,0,b", "#D,64,0,a", "#D,64,0,c\\\\"}), problem));
    EXPECT_EQ(problem.rule, PacketRule::Duplicate);
    EXPECT_EQ(problem.line, 3);
}

TEST(PacketIndexNames, GbkTrailByte5CIsNoSeparatorWhenNamesAreGbk) {
    CPacketIndex index(NameCoding::Gbk);
    ASSERT_TRUE(index.Open(FixturePacket("gbk-name-with-5c-trail-byte.dat")));
    ASSERT_TRUE(index.Check()) << static_cast<int>(index.Problem().rule);
    EXPECT_EQ(CPacketIndex::ParentOf("\xD5\x5C\\a.txt", NameCoding::Gbk), "\xD5\x5C");
    EXPECT_EQ(CPacketIndex::Components("\xD5\x5C\\a.txt", NameCoding::Gbk),
              (std::vector<std::string>{"\xD5\x5C", "a.txt"}));
    PacketLine line;
    EXPECT_TRUE(index.Find("\xD5\x5C\\a.txt", line));
    EXPECT_EQ(line.number, 2);
}

TEST(PacketIndexNames, LeadByteWithoutItsTrailByteIsAnIllFormedPath) {
    TempDir dir;
    PacketProblem problem;
    std::vector<NameCoding> codings = {NameCoding::Gbk};
    if (IsLeadByte(0x81)) codings.push_back(NameCoding::Local);  // the system's code page is GBK
    for (NameCoding coding : codings) {
        for (const std::string& bad : {std::string("a\x81\0b", 4), std::string("a\x81/b"), std::string("a\x81:"),
                                       std::string("a\x81*"), std::string("a\x81\x1f"), std::string("a\x81."),
                                       std::string("a\x81 "), std::string("a\x81\x7f"), std::string("a\x81\xff"),
                                       std::string("a\xfe"), std::string("a\xfe\x3f\\b")}) {
            EXPECT_FALSE(CheckBytes(dir, FoldersOnly({"#D,64,0," + bad}), problem, coding)) << bad;
            EXPECT_EQ(problem.rule, PacketRule::PathIllFormed) << bad;
        }
        // The lowest and highest trail bytes; 5C makes a character, not a separator.
        EXPECT_TRUE(CheckBytes(dir, FoldersOnly({"#D,64,0,\x81\x40\x81\x7e\x81\x80\xfe\xfe", "#D,64,0,a\x81\\"}),
                               problem, coding));
    }
}

TEST(KeyedHash, GivesTheReferenceValuesOfSipHash24) {
    const CKeyedHash hash(0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL, 2, 4);
    std::string message;
    for (int i = 0; i < 64; ++i) message += static_cast<char>(i);
    EXPECT_EQ(hash(message.data(), 0), 0x726fdb47dd0e0e31ULL);
    EXPECT_EQ(hash(message.data(), 1), 0x74f839c593dc67fdULL);
    EXPECT_EQ(hash(message.data(), 15), 0xa129ca6149be45e5ULL);
    EXPECT_EQ(hash(message.data(), 63), 0x958a324ceb064572ULL);
}

TEST(KeyedHash, TableStaysAtMostHalfFullAndFindsEveryIdAfterGrowing) {
    const CKeyedHash hash(1, 2);
    CHashTable table;
    const std::uint32_t count = 5000;  // past three growths from 1024 slots
    for (std::uint32_t id = 0; id < count; ++id) {
        // Every tenth id shares its hash with the one before it.
        const std::uint32_t key = id % 10 == 9 ? id - 1 : id;
        table.Insert(id, hash(&key, sizeof key));
        ASSERT_LE(table.Size() * 2, table.Capacity()) << id;
    }
    for (std::uint32_t id = 0; id < count; ++id) {
        const std::uint32_t key = id % 10 == 9 ? id - 1 : id;
        EXPECT_EQ(table.Find(hash(&key, sizeof key), [&](std::uint32_t found) { return found == id; }), id);
    }
    const std::uint32_t absent = count;
    EXPECT_EQ(table.Find(hash(&absent, sizeof absent), [](std::uint32_t) { return true; }), CHashTable::kNone);
}

TEST(PacketIndexNames, CaseClashIsRefusedOnlyWhenAsked) {
    {
        CPacketIndex exact;  // holds the packet alone until it goes
        ASSERT_TRUE(exact.Open(FixturePacket("names-differing-only-in-case.dat")));
        EXPECT_TRUE(exact.Check());
    }
    CPacketIndex folded;
    folded.SetNameFold([](const std::string& path, std::string& key) {
        key = path;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return true;
    });
    ASSERT_TRUE(folded.Open(FixturePacket("names-differing-only-in-case.dat")));
    EXPECT_FALSE(folded.Check());
    EXPECT_EQ(folded.Problem().rule, PacketRule::CaseClash);
    EXPECT_EQ(folded.Problem().line, 2);
    EXPECT_EQ(folded.Problem().found, 1);
}

TEST(PacketIndexReal, PacketOfARandomTreePassesAndEveryLineIsFoundByItsPath) {
    TempDir dir;
    MakeDirs(dir / "src");
    MakeRandomTree(dir / "src", 7);
    CPacketBuilder builder;
    PackOptions options;
    options.workDir = dir / "work";
    builder.SetOptions(options);
    ASSERT_TRUE(builder.BuildPacket(dir / "src/", dir / "p.dat"));
    Packet expected = ReadValidPacket(dir / "p.dat");

    CPacketIndex index;
    ASSERT_TRUE(index.Open(dir / "p.dat"));
    std::vector<std::string> seen;
    ASSERT_TRUE(index.Check([&](const PacketLine& line) {
        seen.push_back(std::string(line.folder ? "D " : "F ") + std::to_string(line.offset) + " " +
                       std::to_string(line.length) + " " + line.path);
        return true;
    })) << static_cast<int>(index.Problem().rule) << " line " << index.Problem().line;
    EXPECT_EQ(seen, DescribeIndex(expected));
    EXPECT_EQ(index.Files(), builder.m_nFiles);
    EXPECT_EQ(index.Folders(), builder.m_nFolders);

    for (const PacketEntry& e : expected.entries) {
        PacketLine line;
        ASSERT_TRUE(index.Find(e.path, line)) << e.path;
        EXPECT_EQ(line.folder, e.folder);
        EXPECT_EQ(line.offset, e.offset);
        EXPECT_EQ(line.length, e.length);
        if (!e.folder) {
            std::string content(static_cast<std::size_t>(e.length), '\0');
            EXPECT_EQ(index.ReadAt(line.offset, &content[0], content.size()), e.length);
            EXPECT_EQ(content, e.content);
        }
    }
    PacketLine none;
    EXPECT_FALSE(index.Find("no such entry", none));
}

}  // namespace
