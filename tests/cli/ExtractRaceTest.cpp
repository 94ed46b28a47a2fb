// extract run in-process: while its hook changes the tree under it, as another program
// on the machine could between two files, and on a disk that fills up.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "cli/CliText.h"
#include "cli/PacketCommands.h"
#include "tests/cli/CliTestSupport.h"

namespace {

TEST(ExtractRace, FoldersSwappedForLinksMeanwhileNeverLetAFileOutsideTheTarget) {
    TempDir dir;
    MakeDirs(dir / "outside");
    WriteFileBytes(dir / "p.dat", MakePacket({{"a", true, ""},
                                              {"b", true, ""},
                                              {"a\\1.txt", false, "1"},
                                              {"a\\2.txt", false, "2"},
                                              {"a\\deep", true, ""},
                                              {"a\\deep\\3.txt", false, "3"},
                                              {"b\\4.txt", false, "4"}}));
    // Both folders were made by extract; "a" is being written into, "b" not yet.
    SetExtractHook([&](const std::string& stored) {
        if (stored != "a\\1.txt") return;
#ifdef _WIN32
        // Held without FILE_SHARE_DELETE: no Windows program can move it meanwhile.
        EXPECT_FALSE(::MoveFileExA((dir / "out/a").c_str(), (dir / "out/a.aside").c_str(), 0));
#endif
        EXPECT_TRUE(ReplaceWithLink(dir / "out/a", dir / "outside"));
        EXPECT_TRUE(ReplaceWithLink(dir / "out/b", dir / "outside"));
    });
    std::string out, err;
    CaptureCliText(&out, &err);
    int status = RunExtract(dir / "p.dat", dir / "out", CliOptions());
    CaptureCliText(nullptr, nullptr);
    SetExtractHook(nullptr);

    EXPECT_EQ(ReadTree(dir / "outside"), (std::map<std::string, std::string>{}));
    // What belongs in "a" went on into the folder extract holds, wherever it was moved.
    EXPECT_EQ(ReadTree(dir / "out/a.moved"),
              (std::map<std::string, std::string>{{"1.txt", "1"}, {"2.txt", "2"}, {"deep/", ""}, {"deep/3.txt", "3"}}));
    // "b" is not entered through the link.
    EXPECT_EQ(status, 1) << out << err;
    EXPECT_NE(err.find(NativePath("out/b") + " 是一个链接"), std::string::npos) << err;
}

TEST(ExtractRace, NameThatAppearsMeanwhileIsNotOverwritten) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat", MakePacket({{"1.txt", false, "1"}, {"2.txt", false, "2"}}));
    SetExtractHook([&](const std::string& stored) {
        if (stored == "1.txt") WriteFileBytes(dir / "out/2.txt", "theirs");
    });
    std::string out, err;
    CaptureCliText(&out, &err);
    int status = RunExtract(dir / "p.dat", dir / "out", CliOptions());
    CaptureCliText(nullptr, nullptr);
    SetExtractHook(nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("在解包时出现"), std::string::npos) << err;
    EXPECT_EQ(ReadFileBytes(dir / "out/2.txt"), "theirs");
}

#ifndef _WIN32

TEST(ExtractFullDisk, FileCutShortIsRemovedAndWhatCameBeforeStays) {
    TempDir dir;
    WriteFileBytes(dir / "p.dat",
                   MakePacket({{"small.txt", false, "small"}, {"big.bin", false, std::string(5000, 'b')}}));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // files of this child may not grow past 1000 bytes, as on a full disk
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string out, err;
        CaptureCliText(&out, &err);
        ::_exit(RunExtract(dir / "p.dat", dir / "out", CliOptions()));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(ReadTree(dir / "out"), (std::map<std::string, std::string>{{"small.txt", "small"}}));
}

#endif

}  // namespace
