// velkaron-pack verify PACKET SOURCE run as a separate process on real trees: each
// difference named, and agreement with pack on what it leaves out (files this user may
// not read, the job's own work files) and on what pseudo files hold.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#endif

#include "tests/cli/CliTestSupport.h"
#include "tests/support/PacketReader.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliVerify, EachDifferenceFromTheSourceIsNamed) {
    TempDir dir;
    MakeDirs(dir / "src/sub");
    WriteFileBytes(dir / "src/a.txt", "hello");
    WriteFileBytes(dir / "src/sub/b.txt", "world");
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "-q"}).status, 0);
    CliRun same = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(Has(same.out, "2 个文件, 1 个文件夹"));

    struct Change {
        std::string file, bytes, says;
    };
    for (const Change& change : {Change{"src/sub/b.txt", "worle", "内容不同, 自第 4 字节起"},
                                 Change{"src/sub/b.txt", "worlds", "长度不同"},
                                 Change{"src/new.txt", "", "new.txt 不在数据包中"}}) {
        WriteFileBytes(dir / change.file, change.bytes);
        CliRun run = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, change.says)) << run.err;
        if (change.file != "src/new.txt") {
            EXPECT_TRUE(Has(run.err, "sub\\b.txt")) << run.err;
        }
        WriteFileBytes(dir / "src/sub/b.txt", "world");
    }
    RemoveFile(dir / "src/new.txt");
    RemoveFile(dir / "src/a.txt");
    CliRun missing = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.err, "(a.txt)")) << missing.err;
}

#ifndef _WIN32

// Gives `path` an access control list that refuses the user `uid` everything while its
// permission bits, 0644, let every user read it.
bool RefuseUser(const std::string& path, uid_t uid) {
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const std::uint32_t none = UINT32_MAX;
    // Owner rw-, the user ---, group r--, mask r--, others r--: the kernel's binary form.
    const struct {
        std::uint32_t version;
        Entry entries[5];
    } acl = {2, {{0x01, 6, none}, {0x02, 0, uid}, {0x04, 4, none}, {0x10, 4, none}, {0x20, 4, none}}};
    return ::chmod(path.c_str(), 0644) == 0 &&
           ::setxattr(path.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) == 0;
}

// An empty file after an empty one is packed on a look, without an open: the look must
// refuse what the open would, and verify then names why the packet lacks it.
TEST(CliVerifyPosix, EmptyFileThatAnAccessListRefusesIsLeftOutByPackAndVerifySaysWhy) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run as nobody";
    TempDir dir;
    MakeDirs(dir / "src");
    MakeDirs(dir / "out");
    WriteFileBytes(dir / "src/a", "");
    WriteFileBytes(dir / "src/b", "");
    WriteFileBytes(dir / "src/c.txt", "ccc");
    for (const std::string& folder : {dir.Path(), dir / "src"}) ::chmod(folder.c_str(), 0755);
    ::chmod((dir / "out").c_str(), 0777);
    if (!RefuseUser(dir / "src/b", 65534)) GTEST_SKIP() << "no access control lists here";
    for (const char* jobs : {"1", "2"}) {
        CliRun pack = RunAsNobody(dir, {"pack", dir / "src", dir / "out/p.dat", "--sorted", "-q", "--jobs", jobs});
        EXPECT_EQ(pack.status, 3) << pack.err;
        EXPECT_TRUE(Has(pack.err, "已跳过 (无法读取): " + dir / "src/b")) << pack.err;
        EXPECT_EQ(DescribeIndex(ReadValidPacket(dir / "out/p.dat")),
                  (std::vector<std::string>{"F 64 0 a", "F 64 3 c.txt"}));
    }
    CliRun verify = RunAsNobody(dir, {"verify", dir / "out/p.dat", dir / "src"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_TRUE(Has(verify.err, "源文件夹中的 " + dir / "src/b" + " 不在数据包中: 无法读取")) << verify.err;
}

#endif

#ifdef __linux__
// Pack packs a procfs file with what reading it gives, whatever length it reports.
TEST(CliVerifyPosix, PseudoFileIsComparedByWhatReadingItGives) {
    const char* pseudo = "/proc/sys/kernel/ostype";  // reports a length of 0
    const std::string content = ReadFileBytes(pseudo);
    struct stat st;
    if (content.empty() || ::stat(pseudo, &st) != 0 || st.st_size == static_cast<off_t>(content.size())) {
        GTEST_SKIP() << pseudo << " is not as expected";
    }
    TempDir dir;
    MakeDirs(dir / "src");
    ASSERT_EQ(::symlink(pseudo, (dir / "src/ostype").c_str()), 0);
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "-q"}).status, 0);
    CliRun same = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
    EXPECT_EQ(same.status, 0) << same.err;
    // Another such file in its place is a difference all the same.
    ASSERT_EQ(::unlink((dir / "src/ostype").c_str()), 0);
    ASSERT_EQ(::symlink("/proc/sys/kernel/osrelease", (dir / "src/ostype").c_str()), 0);
    CliRun changed = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_TRUE(Has(changed.err, "(ostype): ")) << changed.err;
}
#endif

TEST(CliVerify, WorkFilesOfAPackWhoseWorkFolderLiesInTheSourceAreLeftOut) {
    TempDir dir;
    MakeDirs(dir / "src");
    WriteFileBytes(dir / "src/a.txt", "a");
    ASSERT_EQ(RunVelkaronPack(dir, {"pack", dir / "src", dir / "p.dat", "--work-dir", dir / "src/work"}).status, 0);
    CliRun verify = RunVelkaronPack(dir, {"verify", dir / "p.dat", dir / "src", "--work-dir", dir / "src/work"});
    EXPECT_EQ(verify.status, 0) << verify.err;
}

}  // namespace
