// The packing job on real folder trees: packets, queued texts, counters, failures.
#include <gtest/gtest.h>

#include <algorithm>

#include "reader/PacketIndex.h"
#include "tests/packer/PackTestUtil.h"

namespace {

// Index lines as the queue holds them, each with its CR LF.
std::vector<std::string> IndexLines(const Packet& packet) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < packet.index.size()) {
        std::size_t end = packet.index.find("\r\n", pos) + 2;
        lines.push_back(packet.index.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

TEST(PackEmpty, EmptyFolderGivesA64BytePacketAndTrue) {
    PackFixture f;
    ASSERT_TRUE(f.Pack());
    std::string expected = "Velkaron.Packet 64 0\r\n" + std::string(42, ' ');
    EXPECT_EQ(ReadFileBytes(f.PacketPath()), expected);
    EXPECT_EQ(f.Messages(), std::vector<std::string>{kMsgDone});
    EXPECT_EQ(f.Builder().m_nFiles, 0);
    EXPECT_EQ(f.Builder().m_nFolders, 0);
}

TEST(PackEmpty, MissingSourceQueuesItsMessageAndStillWritesAnEmptyPacket) {
    PackFixture f;
    ASSERT_TRUE(f.Builder().BuildPacket(f.Dir() / "nowhere/", f.PacketPath()));
    EXPECT_EQ(ReadFileBytes(f.PacketPath()).size(), 64u);
    EXPECT_EQ(f.Messages(), (std::vector<std::string>{kMsgCannotList, kMsgDone}));
}

TEST(PackEmpty, TreeOfFoldersOnlyHasEveryFolderAt64) {
    PackFixture f;
    f.Folder("a/b/c");
    f.Folder("d");
    ASSERT_TRUE(f.Pack());
    Packet p = ReadValidPacket(f.PacketPath());
    EXPECT_EQ(p.indexOffset, 64);
    EXPECT_EQ(Sorted(DescribeIndex(p)),
              (std::vector<std::string>{"D 64 0 a", "D 64 0 a\\b", "D 64 0 a\\b\\c", "D 64 0 d"}));
    EXPECT_EQ(f.Builder().m_nFolders, 4);
}

TEST(PackTree, NestedTreeGivesEveryLineContentAndMessageInIndexOrder) {
    PackFixture f;
    f.Write("a.txt", "alpha");
    f.Write("sub1/b.txt", "bb");
    f.Write("sub1/deep/c.txt", "");
    f.Write("sub2/d.txt", "dddd");
    f.Write("z.txt", "zz");
    ASSERT_TRUE(f.Pack());

    Packet p = ReadValidPacket(f.PacketPath());
    ASSERT_EQ(p.entries.size(), 8u);
    std::vector<std::string> paths;
    for (const PacketEntry& e : p.entries) {
        paths.push_back(e.path);
        if (e.path == "a.txt") { EXPECT_EQ(e.content, "alpha"); }
        if (e.path == "sub1\\b.txt") { EXPECT_EQ(e.content, "bb"); }
        if (e.path == "sub1\\deep\\c.txt") { EXPECT_EQ(e.length, 0); }
        if (e.path == "sub2\\d.txt") { EXPECT_EQ(e.content, "dddd"); }
        if (e.path == "z.txt") { EXPECT_EQ(e.content, "zz"); }
    }
    EXPECT_EQ(Sorted(paths), (std::vector<std::string>{"a.txt", "sub1", "sub1\\b.txt", "sub1\\deep",
                                                       "sub1\\deep\\c.txt", "sub2", "sub2\\d.txt", "z.txt"}));
    EXPECT_EQ(p.indexOffset, 64 + 13);

    std::vector<std::string> expected = IndexLines(p);
    expected.push_back(kMsgDone);
    EXPECT_EQ(f.Messages(), expected);
    EXPECT_EQ(f.Builder().m_nFiles, 5);
    EXPECT_EQ(f.Builder().m_nFolders, 3);

    // The work files keep the data area and the index of the last scan.
    EXPECT_EQ(ReadFileBytes(f.WorkFile("_index_temp.txt")), p.index);
    EXPECT_EQ(ReadFileBytes(f.WorkFile("_data_temp.dat")).size(), 13u);
}

TEST(PackTree, AnyNumberOfTrailingSeparatorsGivesTheSamePacket) {
    PackFixture f;
    f.Write("x/y.txt", "why");
    f.Write("top.bin", std::string("\0\1\2", 3));
    std::string bare = f.Source().substr(0, f.Source().size() - 1);
    std::string first;
    for (const std::string& source : {bare, bare + kPathSep, bare + kPathSep + kPathSep + kPathSep}) {
        ASSERT_TRUE(f.Builder().BuildPacket(source, f.PacketPath())) << source;
        std::string bytes = ReadFileBytes(f.PacketPath());
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first) << source;
    }
    ReadValidPacket(f.PacketPath());
}

TEST(PackTree, OddNamesAreWrittenUnchangedAsTheLastField) {
    PackFixture f;
    const std::vector<std::string> names = {"a,b,c.txt", "with space .txt", " lead", "中文 名称.txt", "#F,1,2,x"};
    for (const std::string& name : names) f.Write("odd dir, 目录/" + name, name);
    ASSERT_TRUE(f.Pack());
    Packet p = ReadValidPacket(f.PacketPath());
    ASSERT_EQ(p.entries.size(), names.size() + 1);
    for (const PacketEntry& e : p.entries) {
        if (e.folder) {
            EXPECT_EQ(e.path, "odd dir, 目录");
        } else {
            std::string name = e.path.substr(e.path.find('\\') + 1);
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << e.path;
            EXPECT_EQ(e.content, name);
        }
    }
}

TEST(PackTree, ZeroLengthFilesAreCountedAndShareTheNextOffset) {
    PackFixture f;
    f.Write("empty1", "");
    f.Write("empty2", "");
    ASSERT_TRUE(f.Pack());
    Packet p = ReadValidPacket(f.PacketPath());
    EXPECT_EQ(Sorted(DescribeIndex(p)), (std::vector<std::string>{"F 64 0 empty1", "F 64 0 empty2"}));
    EXPECT_EQ(f.Builder().m_nFiles, 2);
}

TEST(PackTree, LargeFileIsCopiedWholeThroughTheBuffer) {
    PackFixture f;
    std::string big;
    for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char>(i * 7 + i / 256));
    f.Write("big.bin", big);
    ASSERT_TRUE(f.Pack());
    Packet p = ReadValidPacket(f.PacketPath());
    ASSERT_EQ(p.entries.size(), 1u);
    EXPECT_TRUE(p.entries[0].content == big);
}

TEST(PackPlacement, OldPacketInsideTheSourceIsPackedWithItsOldContent) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    std::string inside = f.Src("out.dat");
    ASSERT_TRUE(f.Builder().BuildPacket(f.Source(), inside));
    std::string first = ReadFileBytes(inside);
    EXPECT_EQ(ReadValidPacket(inside).entries.size(), 1u);  // not part of its own scan

    ASSERT_TRUE(f.Builder().BuildPacket(f.Source(), inside));
    Packet second = ReadValidPacket(inside);
    ASSERT_EQ(second.entries.size(), 2u);
    for (const PacketEntry& e : second.entries) {
        if (e.path == "out.dat") { EXPECT_EQ(e.content, first); }
    }
}

TEST(PackPlacement, WorkFolderInsideTheSourceIsListedButItsOpenFilesAreSkipped) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    PackOptions options = f.Options();
    options.workDir = f.Src("data");
    f.SetOptions(options);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(f.Pack());
        Packet p = ReadValidPacket(f.PacketPath());
        ASSERT_EQ(p.entries.size(), 2u);
        std::vector<std::string> paths = {p.entries[0].path, p.entries[1].path};
        EXPECT_EQ(Sorted(paths), (std::vector<std::string>{"a.txt", "data"}));
        EXPECT_EQ(ReadFileBytes(f.Src("data/_data_temp.dat")), "aaa");
    }
}

TEST(PackFailure, PacketPathThatCannotBeCreatedQueuesItsMessageAfterTheFullScan) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    f.Folder("d");
    std::string packet = f.Dir() / "no/such/folder/out.dat";
    EXPECT_FALSE(f.Builder().BuildPacket(f.Source(), packet));
    std::vector<std::string> messages = f.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back(), kMsgNoTarget);
    EXPECT_EQ(f.Builder().m_nFiles, 1);
    EXPECT_EQ(f.Builder().m_nFolders, 1);
    EXPECT_FALSE(PathExists(packet));
}

TEST(PackFailure, WorkFolderThatCannotBeMadeShowsAMessageBoxAndWritesNothing) {
    PackFixture f;
    BoxRecorder boxes;
    WriteFileBytes(f.Dir() / "blocker", "x");
    PackOptions options = f.Options();
    options.workDir = f.Dir() / "blocker/data";
    f.SetOptions(options);
    EXPECT_FALSE(f.Pack());
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kMsgNoDataTemp});
    EXPECT_TRUE(f.Messages().empty());
    EXPECT_FALSE(PathExists(f.PacketPath()));
}

TEST(PackFailure, IndexWorkFileThatCannotBeCreatedShowsItsMessageBox) {
    PackFixture f;
    BoxRecorder boxes;
    MakeDirs(f.WorkFile("_index_temp.txt"));  // a folder where the file should go
    EXPECT_FALSE(f.Pack());
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kMsgNoIndexTemp});
    EXPECT_FALSE(PathExists(f.PacketPath()));
}

TEST(PackFailure, NextJobAfterAFailureStartsFromCleanCounters) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    EXPECT_FALSE(f.Builder().BuildPacket(f.Source(), f.Dir() / "missing/out.dat"));
    f.Messages();
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(f.Builder().m_nFiles, 1);
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 3 a.txt"});
}

TEST(PackLimit, DataPastTheLimitStopsTheJobWithoutTouchingAnOldPacket) {
    PackFixture f;
    f.Write("a.bin", std::string(100, 'a'));
    f.Write("b.bin", std::string(100, 'b'));
    WriteFileBytes(f.PacketPath(), "old packet");
    PackOptions options = f.Options();
    options.sizeLimit = 64 + 150;
    f.SetOptions(options);
    EXPECT_FALSE(f.Pack());
    std::vector<std::string> messages = f.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), kMsgTooLarge);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), std::string(kMsgDone)), 0);
    EXPECT_EQ(ReadFileBytes(f.PacketPath()), "old packet");
    // Nothing is left open: the work files can be removed and made again.
    EXPECT_TRUE(RemoveFile(f.WorkFile("_data_temp.dat")));
    EXPECT_TRUE(RemoveFile(f.WorkFile("_index_temp.txt")));
}

TEST(PackLimit, DataExactlyAtTheLimitIsStillPacked) {
    PackFixture f;
    f.Write("a.bin", std::string(100, 'a'));
    PackOptions options = f.Options();
    options.sizeLimit = 64 + 100;
    f.SetOptions(options);
    EXPECT_TRUE(f.Pack());
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 100 a.bin"});
}

TEST(PackLimit, IndexPastTheLimitStopsTheJob) {
    PackFixture f;
    for (int i = 0; i < 20; ++i) f.Write("file" + std::to_string(i), "");
    PackOptions options = f.Options();
    options.sizeLimit = 200;  // the data fits, twenty index lines do not
    f.SetOptions(options);
    EXPECT_FALSE(f.Pack());
    EXPECT_EQ(f.Messages().back(), kMsgTooLarge);
    EXPECT_FALSE(PathExists(f.PacketPath()));
}

TEST(PackReentry, SecondJobWhileOneRunsReturnsFalseAndChangesNothing) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    f.Write("b.txt", "bbb");
    struct Probe {
        PackFixture* f;
        int calls = 0;
        bool nestedResult = true;
        int filesSeen = -1;
    } probe{&f};
    SetPumpHook(
        [](void* ctx) {
            auto* p = static_cast<Probe*>(ctx);
            if (p->calls++ != 3) return;
            int files = p->f->Builder().m_nFiles;
            p->nestedResult = p->f->Builder().BuildPacket(p->f->Source(), p->f->Dir() / "other.dat");
            p->filesSeen = p->f->Builder().m_nFiles == files ? files : -2;
        },
        &probe);
    bool ok = f.Pack();
    SetPumpHook(nullptr, nullptr);
    EXPECT_TRUE(ok);
    EXPECT_GE(probe.calls, 4);  // ".", "..", a.txt, b.txt: one pump per entry
    EXPECT_FALSE(probe.nestedResult);
    EXPECT_GE(probe.filesSeen, 0);
    EXPECT_FALSE(PathExists(f.Dir() / "other.dat"));
    EXPECT_EQ(f.Builder().m_nFiles, 2);
    ReadValidPacket(f.PacketPath());
}

}  // namespace

namespace {

TEST(PackSorted, SameTreeMadeInAnotherOrderGivesTheSamePacket) {
    std::string packets[2];
    for (int round = 0; round < 2; ++round) {
        PackFixture f;
        std::vector<std::string> names = {"b.txt", "a/z.txt", "a/m.txt", "D", "c/x", "_"};
        if (round == 1) std::reverse(names.begin(), names.end());
        for (const std::string& name : names) f.Write(name, name);
        PackOptions options = f.Options();
        options.sorted = true;
        f.SetOptions(options);
        ASSERT_TRUE(f.Pack());
        EXPECT_EQ(PathsOf(ReadValidPacket(f.PacketPath())), (std::vector<std::string>{"D", "_", "a", "b.txt", "c", "a\\m.txt", "a\\z.txt", "c\\x"}));
        packets[round] = ReadFileBytes(f.PacketPath());
    }
    EXPECT_EQ(packets[0], packets[1]);
}

TEST(PackNames, ConvertedNamesAreStoredAndUnconvertibleOnesSkippedAndNamed) {
    PackFixture f;
    f.Write("keep/in.txt", "in");
    f.Write("keep/bad-x.txt", "x");
    f.Write("bad-x/lost.txt", "lost");
    PackOptions options = f.Options();
    options.convertName = [](std::string& name) {
        if (name.find("bad") != std::string::npos) return false;
        name = "N-" + name;
        return true;
    };
    f.SetOptions(options);
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(Sorted(DescribeIndex(ReadValidPacket(f.PacketPath()))),
              (std::vector<std::string>{"D 64 0 N-keep", "F 64 2 N-keep\\N-in.txt"}));
    std::vector<std::string> skipped;
    for (const SkippedEntry& s : f.Builder().Skipped()) {
        EXPECT_EQ(s.reason, SkipReason::Encoding);
        skipped.push_back(s.path);
    }
    EXPECT_EQ(Sorted(skipped), Sorted({f.Src("bad-x"), f.Src("keep/bad-x.txt")}));
}

}  // namespace

namespace {

TEST(PackNames, NamesThatReadAsADriveAreLeftOutSoThatVerifyAcceptsThePacket) {
    PackFixture f;
    f.Write("a.txt", "a");
    ASSERT_TRUE(MakeLinuxEntry(f.Source(), "c:d", false) && MakeLinuxEntry(f.Source(), "Z:", true));
    ASSERT_TRUE(f.Pack());
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, "名称以盘符开头,已跳过: c:d\r\n"));
    EXPECT_TRUE(Contains(messages, "名称以盘符开头,已跳过: Z:\r\n"));
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 1 a.txt"});
    CPacketIndex index;
    EXPECT_TRUE(index.Open(f.PacketPath()) && index.Check()) << static_cast<int>(index.Problem().rule);
}

}  // namespace
