// extract run in-process while its hook changes the tree under it, as another program
// on the machine could between two files.
#include <gtest/gtest.h>

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

}  // namespace
