// What only a POSIX file system can hand the job: FIFOs, symlink loops,
// backslashes in names, and a disk that fills up.
#ifndef _WIN32

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
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

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(PackPosix, FifoIsSkippedWithoutBlocking) {
    PackFixture f;
    f.Write("a.txt", "aaa");
    ASSERT_EQ(::mkfifo(f.Src("pipe").c_str(), 0600), 0);
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 3 a.txt"});
    EXPECT_EQ(f.Builder().m_nFiles, 1);
    ASSERT_EQ(f.Builder().Skipped().size(), 1u);
    EXPECT_EQ(f.Builder().Skipped()[0].path, f.Src("pipe"));
    EXPECT_EQ(f.Builder().Skipped()[0].reason, SkipReason::NotAFile);
}

TEST(PackPosix, LinkBackToAnOpenFolderIsRecordedButNotEntered) {
    PackFixture f;
    f.Write("sub/a.txt", "aaa");
    f.Write("other/b.txt", "bb");
    ASSERT_EQ(::symlink("..", f.Src("sub/up").c_str()), 0);
    ASSERT_EQ(::symlink(f.Src("other").c_str(), f.Src("sub/side").c_str()), 0);
    ASSERT_TRUE(f.Pack());
    // "up" loops back to the source folder; "side" leads elsewhere and is entered.
    EXPECT_EQ(Sorted(PathsOf(ReadValidPacket(f.PacketPath()))), (std::vector<std::string>{"other", "other\\b.txt", "sub", "sub\\a.txt", "sub\\side",
                                               "sub\\side\\b.txt", "sub\\up"}));
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

void ExpectFailureWith(PackFixture& f, const char* message) {
    int before = OpenDescriptors();
    EXPECT_FALSE(f.Pack());
    std::vector<std::string> messages = f.Messages();
    EXPECT_TRUE(Contains(messages, message));
    EXPECT_FALSE(Contains(messages, kMsgDone));
    EXPECT_EQ(OpenDescriptors(), before);
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

}  // namespace

#endif  // _WIN32
