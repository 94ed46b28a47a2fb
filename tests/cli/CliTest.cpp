// velkaron-pack run as a separate process: what it prints and its exit status.
#include <gtest/gtest.h>

#include "packer/PacketBuilder.h"
#include "settings/ProgramDir.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"
#include "tests/support/TestFs.h"

namespace {

TEST(Cli, PacksATreePrintingEachLineThenTheCounts) {
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/sub/a.txt", "aaa");
    CliRun r = RunVelkaronPack(dir, {dir / "src", dir / "out.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    Packet p = ReadValidPacket(dir / "out.dat");
    EXPECT_EQ(DescribeIndex(p), (std::vector<std::string>{"D 64 0 sub", "F 64 3 sub\\a.txt"}));
    EXPECT_EQ(r.out, p.index + kMsgDone + "\n文件: 1 | 文件夹 1\n");
    EXPECT_EQ(r.err, "");
}

TEST(Cli, TrailingSeparatorsOnTheSourceGiveTheSamePacket) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "a");
    std::string sep(1, kPathSep);
    ASSERT_EQ(RunVelkaronPack(dir, {dir / "src", dir / "one.dat"}).status, 0);
    ASSERT_EQ(RunVelkaronPack(dir, {dir / "src" + sep + sep + sep, dir / "two.dat"}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "one.dat"), ReadFileBytes(dir / "two.dat"));
}

TEST(Cli, FailedJobExitsWithOneAndNoCompletionText) {
    TempDir dir;
    MakeDirs(dir / "src");
    CliRun r = RunVelkaronPack(dir, {dir / "src", dir / "missing/out.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("无法创建目标文件\r\n"), std::string::npos);
    EXPECT_EQ(r.out.find(kMsgDone), std::string::npos);
}

TEST(Cli, WrongUsageExitsWithTwoAndHelpExitsWithZero) {
    TempDir dir;
    CliRun wrong = RunVelkaronPack(dir, {"only-one"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("velkaron-pack SOURCE PACKET"), std::string::npos);
    CliRun empty = RunVelkaronPack(dir, {"", dir / "out.dat"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_FALSE(PathExists(dir / "out.dat"));
    CliRun help = RunVelkaronPack(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("velkaron-pack SOURCE PACKET"), std::string::npos);
}

TEST(CliProgramFolder, WithoutArgumentsPacksTheExampleBesideTheProgram) {
    TempDir dir;
    std::string programDir;
    GetProgramDir(programDir);
    CliRun r = RunVelkaronPack(dir, {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(programDir + "example.dat"), std::string::npos);
    Packet p = ReadValidPacket(programDir + "example.dat");
    EXPECT_FALSE(p.entries.empty());
}

TEST(CliProgramFolder, PackingTheProgramsOwnFolderSkipsTheOpenWorkFiles) {
    TempDir dir;
    // A copy in a folder of its own: the job opens what it packs exclusively, and the
    // test programs' folder holds the programs that the tests beside this one start.
    const std::string program = CopyOfProgramIn(dir / "prog");
    CliRun r = RunProgram(program, dir, {dir / "prog", dir / "self.dat", "--two-pass"});
    EXPECT_EQ(r.status, 0) << r.err;
    Packet p = ReadValidPacket(dir / "self.dat");
    bool sawData = false;
    for (const PacketEntry& e : p.entries) {
        if (e.path == "data") sawData = e.folder;
        EXPECT_NE(e.path, "data\\_data_temp.dat");
        EXPECT_NE(e.path, "data\\_index_temp.txt");
    }
    EXPECT_TRUE(sawData);
    EXPECT_LT(ReadFileBytes(dir / "self.dat").size(), 1024u * 1024 * 1024);
}

}  // namespace
