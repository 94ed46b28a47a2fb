// The one-pass job against the dialog's: the same packet and texts from the same
// tree, and an old packet that outlives every failure, with nothing left beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "platform/Leftovers.h"
#include "tests/packer/PackTestUtil.h"

namespace {

// A tree with what takes each of the job's paths: small files read whole, files for
// the kernel's copy and one larger than the reading thread's ring, empty files and
// folders, odd names and nested folders.
void MakeMixedTree(PackFixture& f) {
    std::string big;
    for (int i = 0; i < 1500000; ++i) big.push_back(static_cast<char>(i * 7 + i / 256));
    f.Write("big.bin", big);
    f.Write("sub/medium.bin", big.substr(0, 70000));
    f.Write("sub/deep/a,b #F,1.txt", "odd");
    f.Write("sub/empty", "");
    f.Write("中文 名称.txt", "zh");
    f.Folder("empty folder");
    for (int i = 0; i < 40; ++i) f.Write("many/f" + std::to_string(i), std::string(static_cast<std::size_t>(i * 37), 'm'));
}

TEST(OnePass, GivesTheTwoPassPacketByteForByteAndTheSameTextsInTheSameOrder) {
    PackFixture f;
    MakeMixedTree(f);
    struct Case {
        bool sorted;
        int jobs;
        std::size_t indexInMemory;  // small: most of the index goes through its temporary file
    };
    for (const Case& c : {Case{false, 1, 16u << 20}, Case{false, 3, 50}, Case{true, 1, 50}, Case{true, 3, 16u << 20}}) {
        SCOPED_TRACE("sorted " + std::to_string(c.sorted) + ", jobs " + std::to_string(c.jobs));
        PackOptions options = f.Options();
        options.sorted = c.sorted;
        options.bufferSize = 1000;
        f.SetOptions(options);
        ASSERT_TRUE(f.Pack());
        OnePassOptions onePass;
        onePass.jobs = c.jobs;
        onePass.indexInMemory = c.indexInMemory;
        OnePassRun run = PackOnePass(f, f.Dir() / "one.dat", options, onePass);
        EXPECT_TRUE(run.ok);
        EXPECT_TRUE(ReadFileBytes(f.Dir() / "one.dat") == ReadFileBytes(f.PacketPath()));
        EXPECT_EQ(run.messages, f.Messages());
        EXPECT_EQ(run.skipped.size(), f.Builder().Skipped().size());
    }
    EXPECT_EQ(NamesIn(f.Dir().Path()), (std::vector<std::string>{"one.dat", "out.dat", "src", "work"}));
}

// Folders of a few files each: the second thread prepares the files just ahead of the job's
// thread and moves from folder to folder with it, near the end of each one. In the folders
// of hundreds, both threads prepare files ahead, from the two ends of the window.
TEST(OnePass, FoldersOfFewAndOfManyFilesComeOutAsTheTwoPassPacketFromBothThreads) {
    PackFixture f;
    for (int d = 0; d < 150; ++d) {
        for (int i = 0; i < (d % 30 == 0 ? 400 : 1 + d % 12); ++i) {
            f.Write("d" + std::to_string(d) + "/f" + std::to_string(i),
                    std::string(static_cast<std::size_t>((d * 131 + i * 977) % 20000), static_cast<char>('a' + i)));
        }
    }
    ASSERT_TRUE(f.Pack());
    const std::string twoPass = ReadFileBytes(f.PacketPath());
    OnePassOptions onePass;
    onePass.jobs = 2;
    for (int run = 0; run < 4; ++run) {
        ASSERT_TRUE(PackOnePass(f, f.Dir() / "one.dat", f.Options(), onePass).ok);
        EXPECT_TRUE(ReadFileBytes(f.Dir() / "one.dat") == twoPass) << "run " << run;
    }
}

// The second thread starts as a file begins once a look finds a core free, after the
// job's thread has packed (and buffered) files of that folder alone; looks are spaced and few.
TEST(OnePass, SecondThreadStartingMidJobGivesTheTwoPassPacketAndLooksForACoreAtMostFourTimes) {
    PackFixture f;
    auto write = [&](const std::string& path, int seed) {
        f.Write(path, std::string(static_cast<std::size_t>(seed * 977 % 9000 + 1), static_cast<char>('a' + seed % 26)));
    };
    for (int i = 0; i < 30; ++i) write("f" + std::to_string(i), 1000 + i);  // the first, by the job's thread alone
    for (int d = 0; d < 40; ++d) {
        for (int i = 0; i < 30; ++i) write("d" + std::to_string(d) + "/f" + std::to_string(i), d * 31 + i);
    }
    ASSERT_TRUE(f.Pack());
    const std::string twoPass = ReadFileBytes(f.PacketPath());
    // Looks at the start, then as the first files begin: the third look comes after one file.
    for (int freeAt : {3, 0}) {
        SCOPED_TRACE("free at look " + std::to_string(freeAt));
        int looks = 0;
        OnePassOptions onePass;
        onePass.jobs = 2;
        onePass.coreFree = [&] {
            std::this_thread::sleep_for(std::chrono::microseconds(300));  // the next file is a look's gap on
            return ++looks == freeAt;
        };
        ASSERT_TRUE(PackOnePass(f, f.Dir() / "one.dat", f.Options(), onePass).ok);
        EXPECT_TRUE(ReadFileBytes(f.Dir() / "one.dat") == twoPass);
        EXPECT_EQ(looks, freeAt > 0 ? freeAt : 4);
    }
}

TEST(OnePass, FailedJobKeepsTheOldPacketAndLeavesNothingBesideIt) {
    PackFixture f;
    for (int i = 0; i < 20; ++i) f.Write("file" + std::to_string(i), std::string(10, 'x'));
    WriteFileBytes(f.PacketPath(), "old packet");
    for (long long limit : {64 + 150, 300}) {  // the data past the limit; the data within it, the index past it
        PackOptions options = f.Options();
        options.sizeLimit = limit;
        OnePassOptions onePass;
        onePass.jobs = 2;  // the job stops while the reading thread is ahead of it
        OnePassRun run = PackOnePass(f, f.PacketPath(), options, onePass);
        EXPECT_FALSE(run.ok);
        ASSERT_FALSE(run.messages.empty());
        EXPECT_EQ(run.messages.back(), kMsgTooLarge);
        EXPECT_FALSE(Contains(run.messages, kMsgDone));
        EXPECT_EQ(ReadFileBytes(f.PacketPath()), "old packet");
        EXPECT_EQ(NamesIn(f.Dir().Path()), (std::vector<std::string>{"out.dat", "src"}));
    }
    // A packet that cannot be made fails before the scan; a folder is never replaced.
    MakeDirs(f.Dir() / "folder.dat/inside");
    for (const std::string& packet : {f.Dir() / "missing/out.dat", f.Dir() / "folder.dat"}) {
        OnePassRun run = PackOnePass(f, packet, f.Options());
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.messages, std::vector<std::string>{kMsgNoTarget}) << packet;
    }
    EXPECT_EQ(NamesIn(f.Dir() / "folder.dat"), std::vector<std::string>{"inside"});
}

TEST(OnePass, OldPacketInsideTheSourceIsLeftOutWithAMessageAndSoAreTheTemporaryFiles) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    for (int jobs : {1, 2}) {
        OnePassOptions onePass;
        onePass.jobs = jobs;
        WriteFileBytes(f.Src("out.dat"), "old packet");
        OnePassRun run = PackOnePass(f, f.Src("out.dat"), f.Options(), onePass);
        ASSERT_TRUE(run.ok);
        EXPECT_EQ(DescribeIndex(ReadValidPacket(f.Src("out.dat"))), std::vector<std::string>{"F 64 3 a.txt"});
        EXPECT_TRUE(Contains(run.messages, FormatText(kMsgPacketItself, "out.dat")));
        EXPECT_EQ(NamesIn(f.Source()), (std::vector<std::string>{"a.txt", "out.dat"}));
    }
}

#ifndef _WIN32
// A kill after the packet got its temporary name and before it replaced the old one
// leaves it whole under a name made for the packet by the process killed, which the
// next job on the packet removes; a new packet takes its name at once, in one step.
TEST(OnePassPosix, KillBeforeTheRenameLeavesALeftoverThatTheNextJobRemoves) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    WriteFileBytes(f.PacketPath(), "old packet");
    OnePassOptions killed;
    killed.named = [](const std::string&) { ::raise(SIGKILL); };
    const pid_t child = ::fork();
    if (child == 0) {
        PackOnePass(f, f.PacketPath(), f.Options(), killed);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(ReadFileBytes(f.PacketPath()), "old packet");
    const std::vector<std::string> names = NamesIn(f.Dir().Path());
    ASSERT_EQ(names.size(), 3u);
    unsigned long maker = 0;
    EXPECT_TRUE(IsTemporaryName(names[1], "out.dat", maker)) << names[1];
    EXPECT_EQ(maker, static_cast<unsigned long>(child));
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.Dir() / names[1])), std::vector<std::string>{"F 64 3 a.txt"});

    ASSERT_TRUE(PackOnePass(f, f.PacketPath(), f.Options()).ok);
    EXPECT_EQ(NamesIn(f.Dir().Path()), (std::vector<std::string>{"out.dat", "src"}));
    const int unnamed = ::open(f.Dir().Path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed < 0) GTEST_SKIP() << "this file system makes no file without a name: every packet is named beside";
    ::close(unnamed);
    bool named = false;
    OnePassOptions watched;
    watched.named = [&](const std::string&) { named = true; };
    ASSERT_TRUE(PackOnePass(f, f.Dir() / "new.dat", f.Options(), watched).ok);
    EXPECT_FALSE(named) << "a new packet has no name but its own";
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.Dir() / "new.dat")), std::vector<std::string>{"F 64 3 a.txt"});
}
#endif

}  // namespace
