// What a user's data and a command's status must survive: a source that is no folder,
// the packet inside its own source (mounted there too), links that fan out, output that
// cannot be written, names that would drive the terminal, a low descriptor limit, long
// packet names, an extract ended midway, and a copy of the program without its example
// folder.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "packer/PacketBuilder.h"
#include "platform/MbText.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A job's text `format` with its "%s" replaced by `path`.
std::string Formatted(const char* format, const std::string& path) {
    std::string text = format;
    return text.replace(text.find("%s"), 2, path);
}

TEST(CliNothingLost, SourceThatIsNoFolderFailsNamingItAndThePacketStaysAsItWas) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", "old packet");
    WriteFileBytes(dir / "file", "a file");
    for (const std::string& source : {dir / "missing", dir / "file"}) {
        CliRun run = RunVelkaronPack(dir, {"pack", source, dir / "p.dat"});
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_TRUE(Has(run.err, source)) << run.err;
        EXPECT_FALSE(Has(run.out, kMsgDone));
        CliRun piped = RunVelkaronPack(dir, {"pack", source, "-"});
        EXPECT_EQ(piped.status, 1);
        EXPECT_EQ(piped.out, "") << "nothing of a packet on standard output";
    }
    EXPECT_EQ(ReadFileBytes(dir / "p.dat"), "old packet");
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"cli-stderr.txt", "cli-stdout.txt", "file", "p.dat"}));
    // An empty folder still makes the empty packet; so does the dialog's job, asked for, without a folder.
    MakeDirs(dir / "empty");
    EXPECT_EQ(RunVelkaronPack(dir, {"pack", dir / "empty", dir / "p.dat"}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "p.dat").size(), 64u);
    CliRun dialogJob = RunVelkaronPack(dir, {"pack", dir / "missing", dir / "two.dat", "--two-pass", "--work-dir",
                                             dir / "work"});
    EXPECT_EQ(dialogJob.status, 0) << dialogJob.err;
    EXPECT_TRUE(Has(dialogJob.out, kMsgCannotList));
    EXPECT_EQ(ReadFileBytes(dir / "two.dat").size(), 64u);
}

TEST(CliNothingLost, PacketInsideItsSourceIsLeftOutOfItselfAndVerifyKnowsIt) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "src/p.dat"}).status, 0);
    CliRun again = RunVelkaronPack(dir, {"pack", dir / "src", dir / "src/p.dat"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(Has(again.out, Formatted(kMsgPacketItself, "p.dat"))) << again.out;
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "src/p.dat")), std::vector<std::string>{"F 64 3 a.txt"});
    CliRun verify = RunVelkaronPack(dir, {"verify", dir / "src/p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 0) << verify.err;
}

TEST(CliNothingLost, OneEntryLeftOutIsEnoughForStatusThree) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/kept.txt", "kept");
#ifdef _WIN32
    ASSERT_TRUE(MakeLinuxEntry(dir / "src", "\xED\x95\x9C", false)) << "needs Wine";  // outside code page 936
#else
    ASSERT_TRUE(MakeLinuxEntry(dir / "src", "back\\slash", false));
#endif
    CliRun run = RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "-q"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_TRUE(Has(run.err, "共有 1 项未打包")) << run.err;
}

TEST(CliNothingLost, PacketNameAsLongAsTheSystemTakesIsWritten) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
#ifdef _WIN32
    // The longest path Windows opens: 259 characters, the temporary name's 13 more would not fit.
    const std::string packet = dir.Path() + std::string(259 - dir.Path().size(), 'p');
#else
    const std::string packet = dir / std::string(255, 'p');
#endif
    CliRun run = RunVelkaronPack(dir, {"pack", dir / "src", packet, "-q"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(DescribeIndex(ReadValidPacket(packet)), std::vector<std::string>{"F 64 3 a.txt"});
    EXPECT_EQ(NamesIn(dir.Path()).size(), 4u) << "src, the packet and the two captured streams, nothing else";
}

// A copy of the program alone in a folder of its own, as the download and the installation have it.
TEST(CliNothingLost, WithoutAnExampleFolderNoArgumentsGiveTheUsageAndCreateNothing) {
    TempDir dir;
    CliRun run = RunProgram(CopyOfProgramIn(dir / "prog"), dir, {});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "velkaron-pack SOURCE PACKET")) << run.err;
    EXPECT_EQ(NamesIn(dir / "prog").size(), 1u);
}

#ifdef _WIN32

TEST(CliNothingLostWindows, PathPastTheSystemsLimitIsNamedAsTheReasonByPackAndVerify) {
    TempDir dir;
    // A folder whose listing still fits in 259 characters, and a file in it whose path does not.
    const std::string folder = dir.Path() + "src\\" + std::string(240 - dir.Path().size() - 4, 'd');
    const std::string name(30, 'f');
    MakeDirs(folder);
    WriteFileBytes(folder + "\\s", "s");
    ASSERT_TRUE(MakeLinuxEntry(folder, name, false)) << "needs Wine, whose paths have no limit";
    CliRun pack = RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "-q"});
    EXPECT_EQ(pack.status, 3);
    EXPECT_TRUE(Has(pack.err, "(路径超过系统的长度上限): " + folder + "\\" + name)) << pack.err;
    CliRun verify = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_TRUE(Has(verify.err, "路径超过系统的长度上限")) << verify.err;
    ASSERT_TRUE(::MoveFileA(folder.c_str(), (dir / "src/x").c_str())) << "short enough to be removed";
}

TEST(CliNothingLostWindows, ExtractEndedMidwayLeavesNoPartOfTheFileItWasWriting) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"big.bin", false, std::string(1 << 20, 'b')}}));
    for (bool force : {false, true}) {
        SCOPED_TRACE(force);
        RemoveTree(dir / "out");
        MakeDirs(dir / "out");
        if (force) WriteFileBytes(dir / "out/big.bin", "old");
        std::string command = "\"" + VelkaronPackPath() + "\" extract \"" + dir / "p.dat" + "\" \"" + dir / "out" +
                              "\" --buffer-size 1" + (force ? " --force" : "");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                     &startup, &process));
        // One byte at a time: seconds from the moment the file appears.
        while (NamesIn(dir / "out").size() < (force ? 2u : 1u)) ::Sleep(1);
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        EXPECT_EQ(ReadTree(dir / "out"), (force ? std::map<std::string, std::string>{{"big.bin", "old"}}
                                                : std::map<std::string, std::string>{}));
    }
}

#else

TEST(CliNothingLostPosix, OutputThatCannotBeWrittenFailsEveryCommand) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat"}).status, 0);
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"list", dir / "p.dat"},
             {"verify", dir / "p.dat", dir / "src"},
             {"pack", dir / "src", dir / "q.dat"},
             {"extract", dir / "p.dat", dir / "out"},
             {"--help"}}) {
        int status = WaitForProgram(StartProgram(VelkaronPackPath(), args, full, dir / "err.txt"));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << args[0] << " " << status;
        EXPECT_TRUE(Has(ReadFileBytes(dir / "err.txt"), "写入标准输出出错")) << args[0];
    }
    ::close(full);
    // Standard output closed: the index lines never land in a file the job opens in its place.
    const std::string closed = VelkaronPackPath() + " pack " + dir / "src" + " " + dir / "c.dat" + " >&- 2>/dev/null";
    int status = std::system(closed.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "c.dat")), std::vector<std::string>{"F 64 3 a.txt"});
}

TEST(CliNothingLostPosix, NamesThatWouldDriveTheTerminalAreShownEscapedByPack) {
    TempDir dir;
    const std::string name = "title\x1b]0;owned\x07\x7f";
    MakeDirs(dir / "src");
    WriteFileBytes(dir / ("src/" + name), "x");
    ASSERT_TRUE(MakeLinuxEntry(dir / "src", "back\\slash\x1b[2J", false));
    CliRun run = RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(Has(run.out, "#F,64,1,title\\x1b]0;owned\\x07\\x7f\r\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "back\\slash\\x1b[2J\r\n")) << run.out;
    EXPECT_EQ((run.out + run.err).find_first_of("\x1b\x07\x7f"), std::string::npos);
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "p.dat")), std::vector<std::string>{"F 64 1 " + name});
}

TEST(CliNothingLostPosix, FolderLinksFanningOutArePackedOnceAndVerified) {
    TempDir dir;
    constexpr int kLevels = 10;  // each level doubling the tree if links were entered again
    for (int i = 0; i < kLevels; ++i) MakeDirs(dir / ("src/d" + std::to_string(i)));
    WriteFileBytes(dir / ("src/d" + std::to_string(kLevels - 1) + "/f.txt"), "f");
    for (int i = 0; i + 1 < kLevels; ++i) {
        for (const char* link : {"a", "b"}) {
            const std::string from = dir / ("src/d" + std::to_string(i) + "/" + link);
            ASSERT_EQ(::symlink(("../d" + std::to_string(i + 1)).c_str(), from.c_str()), 0);
        }
    }
    for (const char* order : {"--jobs", "--sorted"}) {
        SCOPED_TRACE(order);
        std::vector<std::string> args = {"pack", dir / "src", dir / "p.dat", order};
        if (std::string(order) == "--jobs") args.push_back("2");
        CliRun run = RunVelkaronPack(dir, args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, "文件夹已经打包过, 不再进入: ")) << run.out;
        Packet packet = ReadValidPacket(dir / "p.dat");
        EXPECT_EQ(packet.entries.size(), static_cast<std::size_t>(kLevels + 2 * (kLevels - 1) + 1));
        CliRun verify = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
        EXPECT_EQ(verify.status, 0) << verify.err;
    }
}

TEST(CliNothingLostPosix, ReplacedPacketLosesSetIdAndStickyBits) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "p.dat", "old");
    ASSERT_EQ(::chmod((dir / "p.dat").c_str(), 07755), 0);
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat"}).status, 0);
    struct stat st;
    ASSERT_EQ(::stat((dir / "p.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

// A packet mounted over a file of its source (a bind mount of one file, in a mount
// namespace of the test's own) is still the packet: the listing's inode number there is
// the hidden file's, so the job looks at what it opens.
TEST(CliNothingLostPosix, PacketMountedOverAFileOfTheSourceIsLeftOut) {
    TempDir dir;
    if (RunProgram("unshare", dir, {"--mount", "--propagation", "private", "true"}).status != 0) {
        GTEST_SKIP() << "no mount namespace for this user";
    }
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    WriteFileBytes(dir / "src/x.dat", "");
    WriteFileBytes(dir / "p.dat", "old packet");
    WriteFileBytes(dir / "bind.sh", "mount --bind \"$1\" \"$2\" || exit 77; exec \"$3\" pack \"$4\" \"$1\"\n");
    CliRun run = RunProgram("unshare", dir, {"--mount", "--propagation", "private", "sh", dir / "bind.sh",
                                             dir / "p.dat", dir / "src/x.dat", VelkaronPackPath(), dir / "src"});
    if (run.status == 77) GTEST_SKIP() << "no bind mount: " << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, Formatted(kMsgPacketItself, "x.dat"))) << run.out;
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "p.dat")), std::vector<std::string>{"F 64 3 a.txt"});
}

TEST(CliNothingLostPosix, LowDescriptorLimitStillPacksEveryReadableFile) {
    TempDir dir;
    constexpr int kFiles = 2050;
    for (int i = 0; i < kFiles; ++i) {
        if (i % 410 == 0) MakeDirs(dir / ("src/d" + std::to_string(i)));
        WriteFileBytes(dir / ("src/d" + std::to_string(i - i % 410) + "/f" + std::to_string(i)), "x");
    }
    const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    int status = WaitForProgram(StartProgram(VelkaronPackPath(), {"pack", dir / "src", dir / "p.dat", "--jobs", "2"},
                                             out, dir / "err.txt", static_cast<uid_t>(-1), 16));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFileBytes(dir / "err.txt");
    EXPECT_EQ(ReadValidPacket(dir / "p.dat").entries.size(), static_cast<std::size_t>(kFiles + 5));
    // With no descriptor to spare for a single file, the job fails rather than leave files out.
    status = WaitForProgram(StartProgram(VelkaronPackPath(), {"pack", dir / "src", dir / "p.dat", "--jobs", "2"}, out,
                                         dir / "err.txt", static_cast<uid_t>(-1), 6));
    ::close(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << ReadFileBytes(dir / "err.txt");
    EXPECT_EQ(ReadValidPacket(dir / "p.dat").entries.size(), static_cast<std::size_t>(kFiles + 5));
}

// Whether extract process `pid` has a file open in `folder`.
bool WritesInto(pid_t pid, const std::string& folder) {
    for (const std::string& fd : NamesIn("/proc/" + std::to_string(pid) + "/fd")) {
        char target[4096];
        ssize_t n = ::readlink(("/proc/" + std::to_string(pid) + "/fd/" + fd).c_str(), target, sizeof target);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)).compare(0, folder.size(), folder) == 0) {
            return true;
        }
    }
    return false;
}

TEST(CliNothingLostPosix, ExtractEndedMidwayLeavesNoPartOfTheFileItWasWriting) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"big.bin", false, std::string(1 << 20, 'b')}}));
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        const bool force = sig == SIGTERM;  // replacing an existing file
        RemoveTree(dir / "out");
        MakeDirs(dir / "out");
        if (force) WriteFileBytes(dir / "out/big.bin", "old");
        std::vector<std::string> args = {"extract", dir / "p.dat", dir / "out", "--buffer-size", "1"};
        if (force) args.push_back("--force");
        const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        pid_t pid = StartProgram(VelkaronPackPath(), args, out, dir / "err.txt");
        ::close(out);
        while (!WritesInto(pid, dir / "out")) ::usleep(200);  // one byte at a time: seconds from here on
        ::kill(pid, sig);
        int status = WaitForProgram(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(ReadTree(dir / "out"), (force ? std::map<std::string, std::string>{{"big.bin", "old"}}
                                                : std::map<std::string, std::string>{}));
    }
}

#endif

}  // namespace
