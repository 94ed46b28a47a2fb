// velkaron-pack run as a separate process: what it prints and its exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "packer/PacketBuilder.h"
#include "settings/ProgramDir.h"
#include "tests/support/PacketReader.h"
#include "tests/support/TestFs.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string CliPath() {
    std::string dir;
    GetProgramDir(dir);
#ifdef _WIN32
    return dir + "velkaron-pack.exe";
#else
    return dir + "velkaron-pack";
#endif
}

Result RunCli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "\"" + CliPath() + "\"";
    for (std::string arg : args) {
#ifdef _WIN32
        // Backslashes before a closing quote must be doubled, or they escape it.
        std::size_t end = arg.size();
        while (end > 0 && arg[end - 1] == '\\') --end;
        arg += arg.substr(end);
#endif
        command += " \"" + arg + "\"";
    }
    command += " > \"" + (dir / "stdout.txt") + "\" 2> \"" + (dir / "stderr.txt") + "\"";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd /c strips one outer pair of quotes
#endif
    int raw = std::system(command.c_str());
    Result r;
#ifdef _WIN32
    r.status = raw;
#else
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    r.out = ReadFileBytes(dir / "stdout.txt");
    r.err = ReadFileBytes(dir / "stderr.txt");
    return r;
}

TEST(Cli, PacksATreePrintingEachLineThenTheCounts) {
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/sub/a.txt", "aaa");
    Result r = RunCli(dir, {dir / "src", dir / "out.dat"});
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
    ASSERT_EQ(RunCli(dir, {dir / "src", dir / "one.dat"}).status, 0);
    ASSERT_EQ(RunCli(dir, {dir / "src" + sep + sep + sep, dir / "two.dat"}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "one.dat"), ReadFileBytes(dir / "two.dat"));
}

TEST(Cli, FailedJobExitsWithOneAndNoCompletionText) {
    TempDir dir;
    MakeDirs(dir / "src");
    Result r = RunCli(dir, {dir / "src", dir / "missing/out.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("无法创建目标文件\r\n"), std::string::npos);
    EXPECT_EQ(r.out.find(kMsgDone), std::string::npos);
}

TEST(Cli, WrongUsageExitsWithTwoAndHelpExitsWithZero) {
    TempDir dir;
    Result wrong = RunCli(dir, {"only-one"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("velkaron-pack SOURCE PACKET"), std::string::npos);
    Result empty = RunCli(dir, {"", dir / "out.dat"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_FALSE(PathExists(dir / "out.dat"));
    Result help = RunCli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("velkaron-pack SOURCE PACKET"), std::string::npos);
}

TEST(CliProgramFolder, WithoutArgumentsPacksTheExampleBesideTheProgram) {
    TempDir dir;
    std::string programDir;
    GetProgramDir(programDir);
    Result r = RunCli(dir, {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(programDir + "example.dat"), std::string::npos);
    Packet p = ReadValidPacket(programDir + "example.dat");
    EXPECT_FALSE(p.entries.empty());
}

TEST(CliProgramFolder, PackingTheProgramsOwnFolderSkipsTheOpenWorkFiles) {
    TempDir dir;
    std::string programDir;
    GetProgramDir(programDir);
    Result r = RunCli(dir, {programDir, dir / "self.dat"});
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
