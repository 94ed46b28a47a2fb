// What only a POSIX file system can hand the job: FIFOs, procfs files, symlink
// loops, backslashes in names, links planted at the job's files, a second job in
// another process, and a disk that fills up.
#ifndef _WIN32

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/packer/PackTestUtil.h"

namespace {

int OpenDescriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir != nullptr && ::readdir(dir) != nullptr) ++count;
    if (dir != nullptr) ::closedir(dir);
    return count;
}

TEST(PackPosix, FifoIsSkippedWithoutEverBeingOpened) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    ASSERT_EQ(::mkfifo(f.Src("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("pipe", f.Src("link").c_str()), 0);
    int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, f.Src("pipe").c_str(), IN_OPEN), 0);
    ASSERT_TRUE(f.Pack());
    char event[256];
    EXPECT_LT(::read(watch, event, sizeof event), 0) << "the job opened the FIFO";
    ::close(watch);
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 3 a.txt"});
    ASSERT_EQ(f.Builder().Skipped().size(), 2u);
    for (const SkippedEntry& s : f.Builder().Skipped()) EXPECT_EQ(s.reason, SkipReason::NotAFile) << s.path;
}

TEST(PackPosix, ProcfsFileThatReportsNoLengthIsPackedWhole) {
    const char* source = "/proc/kallsyms";  // several hundred short reads; its length reads as 0
    const std::string whole = ReadFileBytes(source);
    if (whole.size() < 64 * 1024) GTEST_SKIP() << source << " is missing or too short here";
    PackFixture f;
    ASSERT_EQ(::symlink(source, f.Src("kallsyms").c_str()), 0);
    ASSERT_TRUE(f.Pack());
    for (int jobs : {0, 1, 2}) {  // two passes; one pass on the job's thread; on the reading thread
        if (jobs > 0) {
            OnePassOptions onePass;
            onePass.jobs = jobs;
            ASSERT_TRUE(PackOnePass(f, f.PacketPath(), f.Options(), onePass).ok);
        }
        Packet p = ReadValidPacket(f.PacketPath());
        ASSERT_EQ(p.entries.size(), 1u);
        EXPECT_EQ(p.entries[0].content.size(), whole.size()) << "jobs " << jobs;
    }
}

// The names of the entries of `folder` the job opened, as inotify saw them, one per open.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& folder) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        m_ok = m_fd >= 0 && ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN) >= 0;
    }
    ~OpenWatch() { ::close(m_fd); }
    bool Ok() const { return m_ok; }
    std::vector<std::string> Opened() {
        std::vector<std::string> names;
        alignas(struct inotify_event) char buffer[64 * 1024];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<struct inotify_event*>(p);
                if (event->len > 0) names.push_back(event->name);
                p += sizeof(struct inotify_event) + event->len;
            }
        }
        return Sorted(names);
    }

private:
    int m_fd;
    bool m_ok = false;
};

TEST(PackOnePassEmpty, EmptyFilesAfterAnEmptyFileArePackedWithoutAnOpen) {
    PackFixture f;
    for (int i = 0; i < 10; ++i) f.Write("a" + std::to_string(i), "");
    f.Write("b", "bb");
    f.Write("c", "");
    PackOptions options = f.Options();
    options.sorted = true;
    f.SetOptions(options);
    ASSERT_TRUE(f.Pack());
    for (int jobs : {1, 2}) {
        OnePassOptions onePass;
        onePass.jobs = jobs;
        OpenWatch watch(f.Source());
        ASSERT_TRUE(watch.Ok());
        ASSERT_TRUE(PackOnePass(f, f.Dir() / "one.dat", options, onePass).ok);
        // The first empty file is opened, as is every file after one that is not empty; the
        // second thread may have opened one more ahead before it knew that files came empty.
        std::vector<std::string> opened = watch.Opened();
        auto ahead = std::find_if(opened.begin(), opened.end(),
                                  [](const std::string& name) { return name[0] == 'a' && name != "a0"; });
        if (jobs > 1 && ahead != opened.end()) opened.erase(ahead);
        EXPECT_EQ(opened, (std::vector<std::string>{"a0", "b", "c"})) << "jobs " << jobs;
        EXPECT_TRUE(ReadFileBytes(f.Dir() / "one.dat") == ReadFileBytes(f.PacketPath())) << "jobs " << jobs;
    }
}

TEST(PackOnePassEmpty, FilesThatOnlyLookEmptyAreOpenedAndPackedAsAnOpenFindsThem) {
    const char* procfs = "/proc/version";  // reports a length of 0 to everyone, and holds a line
    const std::string line = ReadFileBytes(procfs);
    struct stat st;
    if (line.empty() || ::stat(procfs, &st) != 0 || st.st_size != 0) GTEST_SKIP() << procfs << " is not as expected";
    PackFixture f;
    f.Write("a", "");
    ASSERT_EQ(::symlink(procfs, f.Src("b").c_str()), 0);  // on another file system
    f.Write("c", "");
    f.Write("d", "");
    // Its owner's bits refuse it (root's capability reads it all the same): the open tells.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chmod(f.Src("d").c_str(), 0200), 0);
    }
    f.Write("e", "");
    PackOptions options = f.Options();
    options.sorted = true;
    for (int jobs : {1, 2}) {
        WriteFileBytes(f.Src("out.dat"), "");  // the packet replaced, met after an empty file
        OnePassOptions onePass;
        onePass.jobs = jobs;
        OpenWatch watch(f.Source());
        ASSERT_TRUE(watch.Ok());
        OnePassRun run = PackOnePass(f, f.Src("out.dat"), options, onePass);
        ASSERT_TRUE(run.ok);
        EXPECT_EQ(DescribeIndex(ReadValidPacket(f.Src("out.dat"))),
                  (std::vector<std::string>{"F 64 0 a", "F 64 " + std::to_string(line.size()) + " b",
                                            "F " + std::to_string(64 + line.size()) + " 0 c",
                                            "F " + std::to_string(64 + line.size()) + " 0 d",
                                            "F " + std::to_string(64 + line.size()) + " 0 e"}))
            << "jobs " << jobs;
        EXPECT_EQ(ReadValidPacket(f.Src("out.dat")).entries[1].content, line);
        EXPECT_TRUE(Contains(run.messages, FormatText(kMsgPacketItself, "out.dat")));
        const std::vector<std::string> opened = watch.Opened();
        for (const char* name : {"a", "c", "out.dat"}) EXPECT_TRUE(Contains(opened, name)) << name;
        EXPECT_EQ(Contains(opened, "d"), root);
        EXPECT_FALSE(Contains(opened, "e"));
    }
}

TEST(PackPosix, LinkPlantedAtAWorkFileNameIsNeverFollowed) {
    for (const char* name : {"_data_temp.dat", "_index_temp.txt"}) {
        PackFixture f;
        BoxRecorder boxes;
        WriteFileBytes(f.Dir() / "victim", "victim");
        MakeDirs(f.Dir() / "work");
        ASSERT_EQ(::symlink((f.Dir() / "victim").c_str(), f.WorkFile(name).c_str()), 0);
        EXPECT_FALSE(f.Pack());
        EXPECT_EQ(boxes.texts, std::vector<std::string>{name[1] == 'd' ? kMsgNoDataTemp : kMsgNoIndexTemp});
        EXPECT_EQ(ReadFileBytes(f.Dir() / "victim"), "victim") << name;
    }
}

TEST(PackLocks, SecondJobInAnotherProcessIsRefusedWhileTheFirstHoldsItsWorkFiles) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    WriteFileBytes(f.Dir() / "second.dat", "old");
    static int s_inJob[2], s_goOn[2];  // the child says it is in its job; the parent's close lets it go on
    ASSERT_TRUE(::pipe(s_inJob) == 0 && ::pipe(s_goOn) == 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(s_goOn[1]);
        SetPumpHook([](void*) {
            char c = 0;
            if (::write(s_inJob[1], &c, 1) == 1 && ::read(s_goOn[0], &c, 1) != 0) ::_exit(2);
        }, nullptr);
        ::_exit(f.Pack() ? 0 : 1);
    }
    char c = 0;
    ASSERT_EQ(::read(s_inJob[0], &c, 1), 1);
    BoxRecorder boxes;
    CPacketBuilder second;
    second.SetOptions(f.Options());
    EXPECT_FALSE(second.BuildPacket(f.Source(), f.Dir() / "second.dat"));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kMsgNoDataTemp});
    EXPECT_EQ(ReadFileBytes(f.Dir() / "second.dat"), "old");
    for (int fd : {s_inJob[0], s_inJob[1], s_goOn[0], s_goOn[1]}) ::close(fd);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first job failed";
}

TEST(PackPosix, EveryRealFolderIsEnteredOnceAndLinksToItKeepTheirLineWithAMessage) {
    PackFixture f;
    f.Write("sub/a.txt", "aaa");
    f.Write("other/b.txt", "bb");
    ASSERT_EQ(::symlink("..", f.Src("sub/up").c_str()), 0);
    ASSERT_EQ(::symlink(f.Src("other").c_str(), f.Src("sub/side").c_str()), 0);
    PackOptions options = f.Options();
    options.sorted = true;  // "other" is entered before "sub/side" leads to it again
    f.SetOptions(options);
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(PathsOf(ReadValidPacket(f.PacketPath())),
              (std::vector<std::string>{"other", "sub", "other\\b.txt", "sub\\a.txt", "sub\\side", "sub\\up"}));
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, FormatText(kMsgFolderAgain, "sub\\side")));
    EXPECT_TRUE(Contains(messages, FormatText(kMsgFolderAgain, "sub\\up")));
}

TEST(PackPosix, NameWithABackslashIsSkippedWithItsRelativePath) {
    PackFixture f;
    f.Write("d/ok.txt", "ok");
    f.Write("d/a\\b.txt", "no");
    f.Write("back\\slash/inner.txt", "no");
    ASSERT_TRUE(f.Pack());
    Packet p = ReadValidPacket(f.PacketPath());
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, "名称含有反斜杠,已跳过: d\\a\\b.txt\r\n"));
    EXPECT_TRUE(Contains(messages, "名称含有反斜杠,已跳过: back\\slash\r\n"));
    EXPECT_EQ(Sorted(DescribeIndex(p)), (std::vector<std::string>{"D 64 0 d", "F 64 2 d\\ok.txt"}));
    EXPECT_EQ(f.Builder().m_nFiles, 1);
}

TEST(PackPosix, NameWithALineBreakIsSkippedWithItsRelativePath) {
    PackFixture f;
    f.Write("d/ok.txt", "ok");
    f.Write("d/two\nlines", "no");
    f.Write("cr\r", "no");
    ASSERT_TRUE(f.Pack());
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, "名称含有换行符,已跳过: d\\two\nlines\r\n"));
    EXPECT_TRUE(Contains(messages, "名称含有换行符,已跳过: cr\r\r\n"));
    EXPECT_EQ(Sorted(DescribeIndex(ReadValidPacket(f.PacketPath()))),
              (std::vector<std::string>{"D 64 0 d", "F 64 2 d\\ok.txt"}));
}

// Runs `body` in a child whose files may grow to `limit` bytes at most, as on a full disk.
void WithFileSizeLimit(rlim_t limit, void (*body)(PackFixture&), PackFixture& f) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl = {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        body(f);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's failures above";
}

void ExpectFailureWith(PackFixture& f, const char* message, const std::string& packet = std::string()) {
    int before = OpenDescriptors();
    EXPECT_FALSE(f.Builder().BuildPacket(f.Source(), packet.empty() ? f.PacketPath() : packet));
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, message));
    EXPECT_FALSE(Contains(messages, kMsgDone));
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(PackFullDisk, PacketPathNamingAWorkFileFailsAsItsCopyWithoutFillingTheDisk) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    ASSERT_EQ(::symlink("work/_data_temp.dat", (f.Dir() / "link.dat").c_str()), 0);
    // Should the copy read what it appends, the file-size limit stops it at 1 MiB.
    WithFileSizeLimit(1 << 20, [](PackFixture& fx) {
        for (const std::string packet : {"work/_data_temp.dat", "work/_index_temp.txt", "link.dat"}) {
            ExpectFailureWith(fx, packet[6] == 'i' ? kMsgIndexError : kMsgDataError, fx.Dir() / packet);
            EXPECT_LT(ReadFileBytes(fx.Dir() / packet).size(), 100u) << packet;
        }
    }, f);
}

TEST(PackFullDisk, DataWorkFileThatCannotGrowEndsTheJobWithADataError) {
    PackFixture f;
    f.Write("big.bin", std::string(256 * 1024, 'x'));
    WithFileSizeLimit(64 * 1024, [](PackFixture& fx) { ExpectFailureWith(fx, kMsgDataError); }, f);
}

TEST(PackFullDisk, IndexWorkFileThatCannotGrowEndsTheJobWithAnIndexError) {
    PackFixture f;
    std::string longName(180, 'n');
    for (int i = 0; i < 1000; ++i) f.Write(longName + std::to_string(i), "");
    WithFileSizeLimit(96 * 1024, [](PackFixture& fx) { ExpectFailureWith(fx, kMsgIndexError); }, f);
}

TEST(PackFullDisk, PacketThatCannotBeWrittenWholeEndsTheJobWithADataError) {
    PackFixture f;
    f.Write("a.bin", std::string(60000, 'a'));
    // Both work files fit; the packet, header and index added, does not.
    WithFileSizeLimit(60010, [](PackFixture& fx) { ExpectFailureWith(fx, kMsgDataError); }, f);
}

TEST(PackFullDisk, OnePassPacketThatCannotGrowKeepsTheOldOneAndLeavesNothingBesideIt) {
    PackFixture f;
    f.Write("big.bin", std::string(256 * 1024, 'x'));
    WriteFileBytes(f.PacketPath(), "old packet");
    WithFileSizeLimit(64 * 1024, [](PackFixture& fx) {
        for (int way = 0; way < 3; ++way) {  // inside the kernel; through the buffer; on the reading thread
            OnePassOptions onePass;
            onePass.kernelCopyFrom = way == 0 ? 64 * 1024 : 1LL << 40;
            onePass.jobs = way == 2 ? 2 : 1;
            int before = OpenDescriptors();
            OnePassRun run = PackOnePass(fx, fx.PacketPath(), fx.Options(), onePass);
            EXPECT_FALSE(run.ok);
            EXPECT_TRUE(Contains(run.messages, kMsgDataError));
            EXPECT_FALSE(Contains(run.messages, kMsgDone));
            EXPECT_EQ(OpenDescriptors(), before);
            EXPECT_EQ(ReadFileBytes(fx.PacketPath()), "old packet");
            EXPECT_EQ(NamesIn(fx.Dir().Path()), (std::vector<std::string>{"out.dat", "src"}));
        }
    }, f);
}

}  // namespace

#endif  // _WIN32
