// velkaron-pack's commands run as separate processes on real trees: round trips
// through pack, verify, extract and list, the pack options, and what verify and
// extract make of hostile packets and of what already stands in the target (verify
// against a source: CliVerifyTest.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "packer/PacketBuilder.h"
#include "platform/File.h"
#include "platform/Leftovers.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Packs `dir`/src into `dir`/`packet` in one pass; fails the test unless it exits with `status`.
void Pack(const TempDir& dir, const std::string& packet, std::vector<std::string> extra = {}, int status = 0) {
    std::vector<std::string> args = {"pack", dir / "src", dir / packet, "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    CliRun run = RunVelkaronPack(dir, args);
    ASSERT_EQ(run.status, status) << run.out << run.err;
}

// Packs a source of a.txt and sub/b.txt into `dir`/p.dat.
void PackTwoFiles(const TempDir& dir) {
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/a.txt", "new a");
    WriteFileBytes(dir / "src/sub/b.txt", "new b");
    Pack(dir, "p.dat");
}

TEST(CliRoundTrip, RandomTreesComeBackByteForByteThroughPackVerifyAndExtract) {
    for (unsigned seed : {1u, 2u}) {
        TempDir dir;
        MakeDirs(dir / "src");
        MakeRandomTree(dir / "src", seed);
        Pack(dir, "p.dat", {"--buffer-size", seed == 1 ? "1000" : "1M"});
        Packet packet = ReadValidPacket(dir / "p.dat");
        ASSERT_GT(packet.entries.size(), 5u);

        CliRun verify = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
        EXPECT_EQ(verify.status, 0) << verify.err;
        CliRun extract = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out/nested", "--buffer-size", "777"});
        EXPECT_EQ(extract.status, 0) << extract.err;
        EXPECT_EQ(ReadTree(dir / "out/nested"), ReadTree(dir / "src")) << "seed " << seed;
        CliRun raw = RunVelkaronPack(dir, {"list", "--raw", dir / "p.dat"});
        EXPECT_EQ(raw.status, 0);
        EXPECT_EQ(raw.out, packet.index);
    }
}

TEST(CliRoundTrip, ListShowsEveryLineAsARowUnderItsHeading) {
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/sub/b,c #F,1.txt", "hello");
    Pack(dir, "p.dat");
    CliRun list = RunVelkaronPack(dir, {"list", dir / "p.dat"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "类型       偏移       长度  路径\n"
              "目录         64          0  sub\n"
              "文件         64          5  sub\\b,c #F,1.txt\n"
              "\n文件: 1 | 文件夹 1 | 数据 5 字节\n");
}

TEST(CliSorted, SameTreeMadeInAnotherOrderGivesTheSamePacketInByteOrder) {
    std::string packets[2];
    std::vector<std::string> names = {"b.txt", "a/z.txt", "a/m.txt", "C", "_", "a/A"};
    for (int round = 0; round < 2; ++round) {
        TempDir dir;
        for (const std::string& name : names) {
            std::size_t slash = name.rfind('/');
            MakeDirs(dir / ("src/" + (slash == std::string::npos ? std::string() : name.substr(0, slash))));
            WriteFileBytes(dir / ("src/" + name), name);
        }
        std::reverse(names.begin(), names.end());
        Pack(dir, "p.dat", {"--sorted"});
        std::vector<std::string> paths;
        for (const PacketEntry& e : ReadValidPacket(dir / "p.dat").entries) paths.push_back(e.path);
        EXPECT_EQ(paths, (std::vector<std::string>{"C", "_", "a", "b.txt", "a\\A", "a\\m.txt", "a\\z.txt"}));
        packets[round] = ReadFileBytes(dir / "p.dat");
    }
    EXPECT_EQ(packets[0], packets[1]);
}

TEST(CliPackOptions, QuietLeavesOutIndexLinesAndWorkFilesGoToTheWorkFolder) {
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/sub/a.txt", "aaa");
    CliRun run = RunVelkaronPack(dir, {"-q", dir / "src", dir / "p.dat", "--work-dir", dir / "my work"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(kMsgDone) + "\n文件: 1 | 文件夹 1\n");
    EXPECT_EQ(run.err, "");  // standard error is a file here: no progress line
    Packet packet = ReadValidPacket(dir / "p.dat");
    EXPECT_EQ(ReadFileBytes(dir / "my work/_data_temp.dat"), "aaa");
    EXPECT_EQ(ReadFileBytes(dir / "my work/_index_temp.txt"), packet.index);
}

TEST(CliPackOptions, EntriesThatCannotBeReadAreNamedCountedAndExitThree) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/kept.txt", "kept");
#ifdef _WIN32
    WriteFileBytes(dir / "src/held.txt", "held");
    CFile holder;  // opened without sharing, so the packing job cannot open it
    ASSERT_TRUE(holder.Open(dir / "src/held.txt", CFile::modeRead));
    const std::vector<std::string> unreadable = {dir / "src/held.txt", dir / "src/?"};
    ASSERT_TRUE(MakeLinuxEntry(dir / "src", "\xED\x95\x9C", false)) << "needs Wine";  // Korean 한
#else
    ASSERT_EQ(::symlink("nowhere", (dir / "src/gone").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "src/pipe").c_str(), 0600), 0);
    const std::vector<std::string> unreadable = {dir / "src/gone", dir / "src/pipe"};
#endif
    // The old form, without the command's name, reports them the same way.
    CliRun run = RunVelkaronPack(dir, {dir / "src", dir / "p.dat", "--work-dir", dir / "work"});
    EXPECT_EQ(run.status, 3) << run.err;
    for (const std::string& path : unreadable) EXPECT_TRUE(Has(run.err, path)) << run.err;
    EXPECT_TRUE(Has(run.err, "无法读取"));
#ifdef _WIN32
    EXPECT_TRUE(Has(run.err, "(名称无法用当前代码页表示): " + dir / "src/?"));
#endif
    EXPECT_TRUE(Has(run.err, "共有 " + std::to_string(unreadable.size()) + " 项未打包"));
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "p.dat")), std::vector<std::string>{"F 64 4 kept.txt"});
}

TEST(CliPackOptions, GbkNamesAreConvertedWhereTheSystemCanAndRefusedOnWindows) {
    TempDir dir;
    MakeDirs(dir / "src/文件夹");
    WriteFileBytes(dir / "src/中文名.txt", "zh");
    WriteFileBytes(dir / "src/文件夹/a.txt", "a");
#ifdef _WIN32
    CliRun run = RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "--name-encoding", "gbk"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "Windows"));
    EXPECT_FALSE(PathExists(dir / "p.dat"));
#else
    WriteFileBytes(dir / "src/\xFF.txt", "not UTF-8");
    Pack(dir, "p.dat", {"--name-encoding", "gbk", "--sorted"}, 3);
    // The skipped name is named; every other name is stored as GBK, and shown in UTF-8.
    CliRun shown = RunVelkaronPack(dir, {"pack", dir / "src", dir / "shown.dat", "--work-dir", dir / "work",
                                          "--name-encoding", "gbk", "--sorted"});
    EXPECT_TRUE(Has(shown.out, "#F,66,1,文件夹\\a.txt\r\n")) << shown.out;
    Packet packet = ReadValidPacket(dir / "p.dat");
    EXPECT_EQ(packet.index,
              "#F,64,2,\xD6\xD0\xCE\xC4\xC3\xFB.txt\r\n#D,66,0,\xCE\xC4\xBC\xFE\xBC\xD0\r\n"
              "#F,66,1,\xCE\xC4\xBC\xFE\xBC\xD0\\a.txt\r\n");

    CliRun verify = RunVelkaronPack(dir, {"verify", "--name-encoding", "gbk", dir / "p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_TRUE(Has(verify.err, dir / "src/\xFF.txt")) << verify.err;
    RemoveFile(dir / "src/\xFF.txt");
    verify = RunVelkaronPack(dir, {"verify", "--name-encoding", "gbk", dir / "p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 0) << verify.err;

    CliRun list = RunVelkaronPack(dir, {"list", dir / "p.dat", "--name-encoding=gbk"});
    EXPECT_TRUE(Has(list.out, "  中文名.txt\n"));
    EXPECT_TRUE(Has(list.out, "  文件夹\\a.txt\n"));
    CliRun extract = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out", "--name-encoding", "gbk"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadTree(dir / "out"), ReadTree(dir / "src"));
#endif
}

#ifndef _WIN32

// "誠" is D5 5C in GBK: its trail byte is the backslash when read byte by byte.
// Disabled until the packing job stops trimming converted folder names as if they
// were in the process's code page (it stores "\xD5\\a.txt" for "誠\a.txt").
TEST(CliPackOptions, GbkFolderNameEndingInByte5CKeepsItUnderItsFolder) {
    TempDir dir;
    MakeDirs(dir / "src/誠");
    WriteFileBytes(dir / "src/誠/a.txt", "a");
    Pack(dir, "p.dat", {"--name-encoding", "gbk"});
    EXPECT_EQ(ReadFileBytes(dir / "p.dat").substr(65), "#D,64,0,\xD5\x5C\r\n#F,64,1,\xD5\x5C\\a.txt\r\n");
    CliRun raw = RunVelkaronPack(dir, {"verify", dir / "p.dat"});
    EXPECT_EQ(raw.status, 1) << "byte by byte the trail byte reads as a separator";
    CliRun verify = RunVelkaronPack(dir, {"verify", "--name-encoding", "gbk", dir / "p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    CliRun extract = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out", "--name-encoding", "gbk"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadTree(dir / "out"), ReadTree(dir / "src"));
}

#endif

TEST(CliHostile, VerifyAndExtractRefuseBrokenPacketsNamingRuleAndLineAndWriteNothing) {
    struct Case {
        const char* file;
        const char* says;
    };
    for (const Case& c : {Case{"claims-2gib-in-100-bytes.dat", "文件大小 100 字节与文件头所记的 2147483647 字节"},
                          Case{"header-lies-about-index-length.dat", "文件大小 82 字节"},
                          Case{"dotdot-path.dat", "索引第 2 行"}, Case{"absolute-path.dat", "索引第 1 行"},
                          Case{"drive-letter-path.dat", "索引第 1 行 (#F,64,3,C:\\evil.txt)"},
                          Case{"line-without-crlf.dat", "索引第 1 行"}, Case{"duplicate-path.dat", "与第 1 行重复"},
                          Case{"overlapping-files.dat", "索引第 2 行"}, Case{"file-offset-past-end.dat", "索引第 1 行"},
                          Case{"lead-byte-before-nul.dat", "索引第 1 行"}}) {
        TempDir dir;
        CliRun list = RunVelkaronPack(dir, {"list", FixturePacket(c.file)});
        EXPECT_EQ(list.status, 1) << c.file;
        EXPECT_EQ(list.out, "") << c.file;
        CliRun verify = RunVelkaronPack(dir, {"verify", FixturePacket(c.file)});
        EXPECT_EQ(verify.status, 1) << c.file;
        EXPECT_TRUE(Has(verify.err, c.says)) << c.file << ": " << verify.err;
        EXPECT_TRUE(Has(verify.err, c.file));
        CliRun extract = RunVelkaronPack(dir, {"extract", FixturePacket(c.file), dir / "out"});
        EXPECT_EQ(extract.status, 1) << c.file;
        EXPECT_TRUE(Has(extract.err, c.says)) << c.file << ": " << extract.err;
        EXPECT_FALSE(PathExists(dir / "out")) << c.file;
    }
}

TEST(CliExtract, ExistingFilesAreKeptUnlessForcedAndARefusalWritesNothing) {
    TempDir dir;
    PackTwoFiles(dir);
    MakeDirs(dir / "out");
    WriteFileBytes(dir / "out/a.txt", "old");
    CliRun kept = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(Has(kept.err, "--force")) << kept.err;
    EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "old");
    EXPECT_FALSE(PathExists(dir / "out/sub"));

    CliRun forced = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "out"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(ReadTree(dir / "out"), ReadTree(dir / "src"));

    // Even forced, a folder is never replaced by a file, nor a file by a folder.
    MakeDirs(dir / "folder/a.txt");
    CliRun folder = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "folder"});
    EXPECT_EQ(folder.status, 1);
    MakeDirs(dir / "file");
    WriteFileBytes(dir / "file/sub", "a file");
    CliRun file = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "file"});
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(ReadFileBytes(dir / "file/sub"), "a file");
    EXPECT_FALSE(PathExists(dir / "file/a.txt"));
}

// extract --force killed between a file's temporary name and its rename leaves the file
// under that name; the next extract into the folder removes those of processes gone.
TEST(CliExtract, NextExtractRemovesWhatKilledExtractsLeftInTheFoldersItWritesInto) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"sub", true, ""}, {"sub\\1.txt", false, "1"}}));
    MakeDirs(dir / "out/sub");
    const std::string gone = ".velkaron-99999999-3.tmp";
    const std::string running = ".velkaron-" + std::to_string(ThisProcessId()) + "-3.tmp";
    WriteFileBytes(dir / ("out/sub/" + gone), "left");
    WriteFileBytes(dir / ("out/sub/" + running), "mine");
    CliRun run = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "out"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadTree(dir / "out/sub"), (std::map<std::string, std::string>{{"1.txt", "1"}, {running, "mine"}}));
}

TEST(CliExtract, NamedPathsBringTheirFoldersAndEverythingBelowANamedFolderOnly) {
    TempDir dir;
    MakeDirs(dir / "src/sub/deep");
    MakeDirs(dir / "src/other");
    WriteFileBytes(dir / "src/a.txt", "a");
    WriteFileBytes(dir / "src/sub/b.txt", "b");
    WriteFileBytes(dir / "src/sub/deep/c.txt", "c");
    WriteFileBytes(dir / "src/other/d.txt", "d");
    Pack(dir, "p.dat");
    CliRun some = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out", "sub/deep/", "other\\d.txt"});
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(ReadTree(dir / "out"), (std::map<std::string, std::string>{{"other/", ""}, {"other/d.txt", "d"},
                                                                         {"sub/", ""}, {"sub/deep/", ""},
                                                                         {"sub/deep/c.txt", "c"}}));
    EXPECT_TRUE(Has(some.out, "2 个文件, 3 个文件夹")) << some.out;
    // A path the packet lacks is named, and nothing is written; nor over what exists.
    CliRun missing = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "none", "a.txt", "sub/nope"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.err, "中没有 sub/nope")) << missing.err;
    EXPECT_FALSE(PathExists(dir / "none"));
    CliRun existing = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out", "other"});
    EXPECT_EQ(existing.status, 1);
    EXPECT_TRUE(Has(existing.err, "--force")) << existing.err;
}

TEST(CliCat, NamedFilesGoToStandardOutputByteForByteAndABadPathWritesNothing) {
    TempDir dir;
    const std::string binary("\r\n\0\x1a\xff\\", 6);
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/a.bin", binary);
    WriteFileBytes(dir / "src/sub/b.txt", "second\n");
    Pack(dir, "p.dat");
    CliRun cat = RunVelkaronPack(dir, {"cat", dir / "p.dat", "sub/b.txt", "a.bin", "sub\\b.txt"});
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, "second\n" + binary + "second\n");
    for (const char* bad : {"sub", "nope.txt"}) {
        CliRun refused = RunVelkaronPack(dir, {"cat", dir / "p.dat", "a.bin", bad});
        EXPECT_EQ(refused.status, 1) << bad;
        EXPECT_EQ(refused.out, "") << bad;
        EXPECT_TRUE(Has(refused.err, std::string(" ") + bad)) << refused.err;
    }
#ifndef _WIN32
    // GBK names are found by their local (UTF-8) form.
    MakeDirs(dir / "gbk/文件夹");
    WriteFileBytes(dir / "gbk/文件夹/中文.txt", "zh");
    CliRun pack = RunVelkaronPack(dir, {"pack", dir / "gbk", dir / "g.dat", "--work-dir", dir / "work", "-q",
                                        "--name-encoding", "gbk"});
    ASSERT_EQ(pack.status, 0) << pack.err;
    CliRun local = RunVelkaronPack(dir, {"cat", "--name-encoding", "gbk", dir / "g.dat", "文件夹/中文.txt"});
    EXPECT_EQ(local.out, "zh") << local.err;
    CliRun raw = RunVelkaronPack(dir, {"cat", dir / "g.dat", "\xCE\xC4\xBC\xFE\xBC\xD0\\\xD6\xD0\xCE\xC4.txt"});
    EXPECT_EQ(raw.out, "zh") << raw.err;
#endif
}

TEST(CliExtract, NamesThisSystemCannotHoldAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    CliRun devices = RunVelkaronPack(dir, {"extract", FixturePacket("windows-device-names.dat"), dir / "devices"});
    CliRun cases = RunVelkaronPack(dir, {"extract", FixturePacket("names-differing-only-in-case.dat"), dir / "cases"});
#ifdef _WIN32
    EXPECT_EQ(devices.status, 1);
    EXPECT_TRUE(Has(devices.err, "(CON)")) << devices.err;
    EXPECT_FALSE(PathExists(dir / "devices"));
    EXPECT_EQ(cases.status, 1);
    EXPECT_TRUE(Has(cases.err, "索引第 2 行")) << cases.err;
    EXPECT_FALSE(PathExists(dir / "cases"));
#else
    EXPECT_EQ(devices.status, 0) << devices.err;
    EXPECT_EQ(ReadTree(dir / "devices"),
              (std::map<std::string, std::string>{{"CON", "1"}, {"aux.txt", "2"}, {"trailing.", "3"}}));
    EXPECT_EQ(cases.status, 0) << cases.err;
    EXPECT_EQ(ReadTree(dir / "cases"), (std::map<std::string, std::string>{{"README.TXT", "2"}, {"Readme.txt", "1"}}));
#endif
}

TEST(CliExtract, LinksAlreadyInTheTargetAreNeverWrittenThrough) {
    TempDir dir;
    PackTwoFiles(dir);
    MakeDirs(dir / "outside");
    WriteFileBytes(dir / "outside/victim.txt", "victim");

    MakeDirs(dir / "out");
    WriteFileBytes(dir / "out/a.txt", "old");
    ASSERT_TRUE(ReplaceWithLink(dir / "out/a.txt", dir / "outside/victim.txt"));
    EXPECT_EQ(RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out"}).status, 1);
    CliRun forced = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "out"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(GetPathKind(dir / "out/a.txt"), PathKind::File);
    EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "new a");
    EXPECT_EQ(ReadFileBytes(dir / "outside/victim.txt"), "victim");

    MakeDirs(dir / "out2/sub");
    ASSERT_TRUE(ReplaceWithLink(dir / "out2/sub", dir / "outside"));
    CliRun linked = RunVelkaronPack(dir, {"extract", "--force", dir / "p.dat", dir / "out2"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_TRUE(Has(linked.err, "链接")) << linked.err;
    EXPECT_FALSE(PathExists(dir / "outside/b.txt"));
    EXPECT_FALSE(PathExists(dir / "out2/a.txt"));
}

TEST(CliExtract, NamesTheFileSystemTakesForOneAreRefusedBeforeAnythingIsWritten) {
    for (const char* file : {"fullwidth-file-names-differing-in-case.dat", "greek-folder-names-differing-in-case.dat",
                             "cyrillic-names-differing-in-case-in-a-folder.dat"}) {
        TempDir dir;
        CliRun run = RunVelkaronPack(dir, {"extract", FixturePacket(file), dir / "out"});
#ifdef _WIN32
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_TRUE(Has(run.err, "只有大小写不同")) << file << ": " << run.err;
        EXPECT_FALSE(PathExists(dir / "out")) << file;
#else
        EXPECT_EQ(run.status, 0) << file << ": " << run.err;
#endif
    }
}

TEST(CliExtract, NameTooLongForTheSystemIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"a", false, "1"}, {std::string(300, 'n'), false, "2"}}));
    CliRun run = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "什么也没有写入")) << run.err;
    EXPECT_FALSE(PathExists(dir / "out"));
}

TEST(CliNames, StoredNamesAreShownWithTheirControlCharactersEscaped) {
    TempDir dir;
    const std::string packet = FixturePacket("names-with-terminal-escapes.dat");
    MakeDirs(dir / "src");
    MakeDirs(dir / "out");
    CliRun raw = RunVelkaronPack(dir, {"list", "--raw", packet});
    EXPECT_EQ(raw.out, ReadFileBytes(packet).substr(66));
    // Off Windows the first extract makes the files; the second then names one as existing.
    EXPECT_EQ(RunVelkaronPack(dir, {"extract", packet, dir / "out"}).err.find('\x1b'), std::string::npos);
    std::vector<CliRun> runs = {RunVelkaronPack(dir, {"list", packet}),
                                RunVelkaronPack(dir, {"verify", packet, dir / "src"}),
                                RunVelkaronPack(dir, {"extract", packet, dir / "out"})};
    for (const CliRun& run : runs) {
        const std::string shown = run.out + run.err;
        EXPECT_TRUE(Has(shown, "title\\x1b]0;owned\\x07")) << shown;
        EXPECT_EQ(shown.find_first_of("\x1b\x07"), std::string::npos) << shown;
    }
#ifndef _WIN32
    EXPECT_TRUE(Has(runs[0].out, "csi\\xc2\\x9b2J"));  // the UTF-8 form of the C1 control CSI
#endif
}

TEST(CliArguments, PlainFileGivenAsAFolderIsSaidToBeNoFolder) {
    TempDir dir;
    PackTwoFiles(dir);
    WriteFileBytes(dir / "file", "a file");
    CliRun verify = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "file"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_TRUE(Has(verify.err, "不是文件夹")) << verify.err;
    CliRun extract = RunVelkaronPack(dir, {"extract", dir / "p.dat", dir / "file"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_TRUE(Has(extract.err, "不是文件夹")) << extract.err;
    EXPECT_EQ(ReadFileBytes(dir / "file"), "a file");
}

TEST(CliUsage, WrongArgumentsExitTwoAndHelpListsCommandsOptionsAndStatuses) {
    TempDir dir;
    MakeDirs(dir / "src");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"list"},
                                               {"verify", "a.dat", "src", "more"},
                                               {"extract", "a.dat"},
                                               {"cat", "a.dat"},
                                               {"list", "--force", "a.dat"},
                                               {"pack", dir / "src", dir / "p.dat", "--buffer-size", "0"},
                                               {"pack", dir / "src", dir / "p.dat", "--jobs", "0"},
                                               {"pack", dir / "src", dir / "p.dat", "--two-pass", "--jobs", "2"},
                                               {"pack", dir / "src", "-", "--sync"}}) {
        CliRun run = RunVelkaronPack(dir, args);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_TRUE(Has(run.err, "velkaron-pack SOURCE PACKET")) << run.err;
    }
    EXPECT_FALSE(PathExists(dir / "p.dat"));
    CliRun help = RunVelkaronPack(dir, {"extract", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"pack SOURCE PACKET", "list PACKET", "verify PACKET [SOURCE]", "extract PACKET DIR",
                             "--sorted", "--name-encoding raw|gbk", "--work-dir DIR", "--buffer-size N", "-q",
                             "--two-pass", "--sync", "--jobs N",
                             "--raw", "--force", "  3  "}) {
        EXPECT_TRUE(Has(help.out, part)) << part;
    }
}

}  // namespace
