// pack's one-pass default as users meet it: the same packet every way it is written,
// nothing made beside the program, standard output for pipes, and a job ended by a
// signal that leaves the old packet and no temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "packer/PacketBuilder.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Leftovers.h"
#include "settings/ProgramDir.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The system's temporary folder, as velkaron-pack sees it, moved to `folder` for
// as long as the object lives.
class TempFolderMovedTo {
public:
    explicit TempFolderMovedTo(const std::string& folder) {
        MakeDirs(folder);
#ifdef _WIN32
        _putenv_s("TMP", folder.c_str());
        _putenv_s("TEMP", folder.c_str());
#else
        ::setenv("TMPDIR", folder.c_str(), 1);
#endif
    }
    ~TempFolderMovedTo() {
#ifdef _WIN32
        _putenv_s("TMP", m_tmp.c_str());
        _putenv_s("TEMP", m_temp.c_str());
#else
        ::unsetenv("TMPDIR");
#endif
    }

private:
#ifdef _WIN32
    std::string m_tmp = std::getenv("TMP") ? std::getenv("TMP") : "";
    std::string m_temp = std::getenv("TEMP") ? std::getenv("TEMP") : "";
#endif
};

TEST(CliOnePass, EveryWayOfWritingGivesTheSamePacketAndStandardOutputCarriesOnlyThePacket) {
    TempDir dir;
    MakeDirs(dir / "src");
    MakeRandomTree(dir / "src", 3);
    TempFolderMovedTo temp(dir / "tmp");
    CliRun one = RunVelkaronPack(dir, {"pack", dir / "src", dir / "one.dat", "-q", "--sync", "--jobs", "3"});
    ASSERT_EQ(one.status, 0) << one.err;
    CliRun two = RunVelkaronPack(dir, {dir / "src", dir / "two.dat", "-q", "--two-pass", "--sync", "--work-dir",
                                       dir / "work"});
    ASSERT_EQ(two.status, 0) << two.err;
    CliRun piped = RunVelkaronPack(dir, {"pack", dir / "src", "-"});
    ASSERT_EQ(piped.status, 0) << piped.err;

    const std::string packet = ReadFileBytes(dir / "one.dat");
    ReadValidPacket(dir / "one.dat");
    EXPECT_TRUE(ReadFileBytes(dir / "two.dat") == packet);
    EXPECT_TRUE(piped.out == packet);
    EXPECT_TRUE(Has(piped.err, std::string(kMsgDone) + "\n文件: ")) << piped.err;
    EXPECT_FALSE(Has(piped.err, "#F,")) << "index lines stay off standard error";
    EXPECT_EQ(NamesIn(dir / "tmp"), std::vector<std::string>()) << "the work folder of - is removed";
}

// A job killed outright leaves its temporary file under a name only this program makes,
// with its process id: the next pack of the same packet removes those of processes that
// are gone and nothing else, however much it looks like one.
TEST(CliOnePass, NextPackRemovesWhatKilledJobsLeftBesideThePacketAndNothingElse) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    const std::string gone = "99999999";  // past every system's process ids
    const std::string alive = std::to_string(ThisProcessId());
    const std::vector<std::string> removed = {"p.dat.velkaron-" + gone + "-0badf00d.tmp", ".velkaron-" + gone + "-7.tmp"};
    const std::vector<std::string> kept = {"p.dat.velkaron-" + alive + "-12345678.tmp",  // a job still running
                                           "p.dat.velkaron-" + gone + "-00000001.tmp",   // held open (below)
                                           "q.dat.velkaron-" + gone + "-12345678.tmp",   // another packet's
                                           "p.dat.12345678.tmp", "p.dat.velkaron-" + gone + ".tmp"};
    for (const std::string& name : removed) WriteFileBytes(dir / name, "left");
    for (const std::string& name : kept) WriteFileBytes(dir / name, "mine");
    CFile held;
    ASSERT_TRUE(held.Open(dir / kept[1], CFile::modeWrite | CFile::shareExclusive));
#ifndef _WIN32
    ASSERT_EQ(::symlink("p.dat.12345678.tmp", (dir / ("p.dat.velkaron-" + gone + "-0000000a.tmp")).c_str()), 0);
#endif
    CliRun run = RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    held.Close();
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "p.dat")), std::vector<std::string>{"F 64 3 a.txt"});
    for (const std::string& name : removed) EXPECT_FALSE(PathExists(dir / name)) << name;
    for (const std::string& name : kept) EXPECT_EQ(ReadFileBytes(dir / name), "mine") << name;
#ifndef _WIN32
    EXPECT_EQ(GetPathKind(dir / ("p.dat.velkaron-" + gone + "-0000000a.tmp")), PathKind::Link);
#endif
}

#ifndef _WIN32

std::string ProgramPath() {
    std::string dir;
    GetProgramDir(dir);
    return dir + "velkaron-pack";
}


TEST(CliOnePassPosix, AnotherUserPacksWithTheProgramInAFolderTheyCannotWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run as nobody";
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/sub/a.txt", "aaa");
    MakeDirs(dir / "out");
    for (const std::string& folder : {dir.Path(), dir / "src", dir / "src/sub"}) ::chmod(folder.c_str(), 0755);
    ::chmod((dir / "out").c_str(), 0777);
    CliRun run = RunAsNobody(dir, {"pack", dir / "src", dir / "out/p.dat"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "out/p.dat")),
              (std::vector<std::string>{"D 64 0 sub", "F 64 3 sub\\a.txt"}));
    EXPECT_EQ(NamesIn(dir / "prog"), std::vector<std::string>{"velkaron-pack"});
}

bool HasTemporaryFile(const std::string& folder) {
    for (const std::string& name : NamesIn(folder)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) return true;
    }
    return false;
}

TEST(CliOnePassPosix, PacketPathThatIsALinkOrADeviceIsWrittenThroughNeverReplaced) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    WriteFileBytes(dir / "real.dat", "old");
    ASSERT_EQ(::symlink("real.dat", (dir / "link.dat").c_str()), 0);
    CliRun linked = RunVelkaronPack(dir, {dir / "src", dir / "link.dat", "-q"});
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_EQ(GetPathKind(dir / "link.dat"), PathKind::Link);
    EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "real.dat")), std::vector<std::string>{"F 64 3 a.txt"});
    CliRun device = RunVelkaronPack(dir, {dir / "src", "/dev/null", "-q"});
    EXPECT_EQ(device.status, 0) << device.err;
    EXPECT_EQ(GetPathKind("/dev/null"), PathKind::Other) << "a device stays a device";
    EXPECT_FALSE(HasTemporaryFile("/dev/"));
}

// A link to a packet yet to be made leads where the packet is to be, through a chain of
// links too: the packet is made there, in its own folder, and the links stay; a link
// that loops is no packet path.
TEST(CliOnePassPosix, PacketPathThatIsALinkToNothingYetMakesTheFileItNames) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "aaa");
    MakeDirs(dir / "elsewhere");
    MakeDirs(dir / "links");
    ASSERT_EQ(::symlink("../elsewhere/real.dat", (dir / "links/first.dat").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "links/first.dat").c_str(), (dir / "links/chain.dat").c_str()), 0);
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, {"--two-pass", "--work-dir", dir / "work"}}) {
        SCOPED_TRACE(mode.empty() ? "one pass" : "two passes");
        std::vector<std::string> args = {"pack", dir / "src", dir / "links/chain.dat", "-q"};
        args.insert(args.end(), mode.begin(), mode.end());
        CliRun run = RunVelkaronPack(dir, args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "elsewhere/real.dat")), std::vector<std::string>{"F 64 3 a.txt"});
        EXPECT_EQ(NamesIn(dir / "links"), (std::vector<std::string>{"chain.dat", "first.dat"}));
        EXPECT_EQ(GetPathKind(dir / "links/chain.dat"), PathKind::Link);
        EXPECT_EQ(NamesIn(dir / "elsewhere"), std::vector<std::string>{"real.dat"});
        RemoveFile(dir / "elsewhere/real.dat");
    }
    ASSERT_EQ(::symlink("loop-b.dat", (dir / "links/loop-a.dat").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a.dat", (dir / "links/loop-b.dat").c_str()), 0);
    CliRun loop = RunVelkaronPack(dir, {"pack", dir / "src", dir / "links/loop-a.dat", "-q"});
    EXPECT_EQ(loop.status, 1);
    EXPECT_TRUE(Has(loop.out + loop.err, "无法创建目标文件")) << loop.out << loop.err;
    EXPECT_EQ(GetPathKind(dir / "links/loop-a.dat"), PathKind::Link);
}

// A tree whose index lines fill a pipe: a job that prints them into a pipe nobody
// reads stops in the middle of its scan.
void MakeLongTree(const TempDir& dir) {
    MakeDirs(dir / "src");
    for (int i = 0; i < 3000; ++i) WriteFileBytes(dir / ("src/a-file-with-a-long-name-" + std::to_string(i)), "x");
}

TEST(CliOnePassPosix, SignalThatEndsPackRemovesItsTemporaryFilesAndKeepsTheOldPacket) {
    TempDir dir;
    MakeLongTree(dir);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGKILL}) {
        SCOPED_TRACE(sig);
        WriteFileBytes(dir / "p.dat", "old packet");
        int pipe[2];  // not inherited: the child's own copy of the reading end would keep its writes from failing
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        pid_t pid = StartProgram(ProgramPath(), {"pack", dir / "src", dir / "p.dat"}, pipe[1], dir / "stderr.txt");
        ::close(pipe[1]);
        char first = 0;
        EXPECT_EQ(::read(pipe[0], &first, 1), 1);  // its scan has begun
        EXPECT_FALSE(HasTemporaryFile(dir.Path())) << "the packet has no name until it is whole";
        if (sig == SIGPIPE) {
            ::close(pipe[0]);  // its next write to standard output meets no reader
        } else {
            ::kill(pid, sig);
        }
        int status = WaitForProgram(pid);
        if (sig != SIGPIPE) ::close(pipe[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(ReadFileBytes(dir / "p.dat"), "old packet");
        EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"p.dat", "src", "stderr.txt"}));
    }
    // Into a pipe that closes early, or killed, "-" leaves no work files in the temporary folder.
    TempFolderMovedTo temp(dir / "tmp");
    for (int sig : {SIGPIPE, SIGKILL}) {
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        if (sig == SIGPIPE) ::close(pipe[0]);
        pid_t pid = StartProgram(ProgramPath(), {"pack", dir / "src", "-"}, pipe[1], dir / "stderr.txt");
        ::close(pipe[1]);
        char first = 0;
        if (sig == SIGKILL) {
            EXPECT_EQ(::read(pipe[0], &first, 1), 1);  // the packet is on its way
            ::kill(pid, sig);
            ::close(pipe[0]);
        }
        int status = WaitForProgram(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(NamesIn(dir / "tmp"), std::vector<std::string>());
    }
}

// SIGTERM leaves nothing. SIGKILL may land between the packet's naming beside the old
// one and the rename over it: then the new packet stays under a name made for p.dat
// by the process killed, and only until the next pack that gets that far.
TEST(CliOnePassPosix, SignalInTheFirstMomentsOfPackLeavesNothingBehindButWhatTheNextPackRemoves) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "a");
    const std::vector<std::string> args = {"pack", dir / "src", dir / "p.dat"};
    int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto start = std::chrono::steady_clock::now();
    WaitForProgram(StartProgram(ProgramPath(), args, out, dir / "stderr.txt"));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const std::string packet = ReadFileBytes(dir / "p.dat");
    std::vector<unsigned long> killed;
    constexpr int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        pid_t pid = StartProgram(ProgramPath(), args, out, dir / "stderr.txt");
        // From before the program starts to the end of its job.
        ::usleep(static_cast<useconds_t>(whole.count() * round / kRounds));
        ::kill(pid, round % 2 ? SIGTERM : SIGKILL);
        WaitForProgram(pid);
        if (round % 2 == 0) killed.push_back(static_cast<unsigned long>(pid));
        for (const std::string& name : NamesIn(dir.Path())) {
            if (name == "p.dat" || name == "src" || name == "stderr.txt") continue;
            unsigned long maker = 0;
            ASSERT_TRUE(IsTemporaryName(name, "p.dat", maker)) << "round " << round << ": " << name;
            EXPECT_NE(std::find(killed.begin(), killed.end(), maker), killed.end()) << "round " << round << ": " << name;
            EXPECT_TRUE(ReadFileBytes(dir / name) == packet) << "round " << round << ": a whole packet";
        }
        EXPECT_TRUE(ReadFileBytes(dir / "p.dat") == packet) << "round " << round;
    }
    WaitForProgram(StartProgram(ProgramPath(), args, out, dir / "stderr.txt"));
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"p.dat", "src", "stderr.txt"}));
    ::close(out);
}

#endif

}  // namespace
