// What the job meets on Windows in code page 936: files held open by others, GBK
// names whose trail byte is a backslash, and Linux names seen through Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/packer/PackTestUtil.h"

namespace {

TEST(PackWindows, FileHeldOpenExclusivelyByAnotherHandleIsSkippedSilently) {
    PackFixture f;
    f.Write("free.txt", "free");
    f.Write("held.txt", "held");
    CFile holder;
    ASSERT_TRUE(holder.Open(f.Src("held.txt"), CFile::modeRead));
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 4 free.txt"});
    EXPECT_EQ(f.Messages(), (std::vector<std::string>{"#F,64,4,free.txt\r\n", kMsgDone}));
    ASSERT_EQ(f.Builder().Skipped().size(), 1u);
    EXPECT_EQ(f.Builder().Skipped()[0].reason, SkipReason::Unreadable);
}

TEST(PackWindows, GbkNamesWithBackslashTrailBytesStayWhole) {
    PackFixture f;
    // 乗 is 81 5C and 表 is B1 ED in GBK; a trail byte 5C must never split a path.
    const std::string folder = "乗";
    ASSERT_EQ(folder, std::string("\x81\x5C"));
    f.Write("乗/表乗.txt", "gbk");
    f.Write("乗/乗/x", "deep");
    std::string source = f.Dir() / "src\\\\";
    ASSERT_TRUE(f.Builder().BuildPacket(source, f.PacketPath()));
    std::vector<std::string> paths;
    for (const PacketEntry& e : ReadValidPacket(f.PacketPath()).entries) {
        paths.push_back(e.path);
        if (e.path == "乗\\乗\\x") { EXPECT_EQ(e.content, "deep"); }
    }
    EXPECT_EQ(Sorted(paths), (std::vector<std::string>{"乗", "乗\\乗", "乗\\乗\\x", "乗\\表乗.txt"}));
}

TEST(PackWindows, LinuxNamesTheCodePageOrAWindowsNameCannotHoldAreLeftOutWithEverythingBelowThem) {
    PackFixture f;
    f.Write("kept.txt", "kept");
    // Korean 한 and 국 (UTF-8), both "?" in the ANSI listing; the third folder holds a backslash.
    for (const char* folder : {"\xED\x95\x9C", "\xEA\xB5\xAD", "x\\y"}) {
        if (!MakeLinuxEntry(f.Source(), folder, true)) GTEST_SKIP() << "needs Wine, with Linux below it";
        ASSERT_TRUE(MakeLinuxEntry(f.Source(), std::string(folder) + "/inner.txt", false));
    }
    ASSERT_TRUE(f.Pack());
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 4 kept.txt"});
    std::vector<std::string> messages = f.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "名称无法用当前代码页表示,已跳过: ?\r\n"), 2);
    EXPECT_TRUE(Contains(messages, "名称含有反斜杠,已跳过: x\\y\r\n"));
    EXPECT_EQ(f.Builder().Skipped().size(), 3u);
}

TEST(PackWindows, SourceEndingInABackslashTrailByteIsNotTrimmed) {
    PackFixture f;
    f.Write("乗/a.txt", "a");
    ASSERT_TRUE(f.Builder().BuildPacket(f.Src("乗") + "\\", f.PacketPath()));
    EXPECT_EQ(DescribeIndex(ReadValidPacket(f.PacketPath())), std::vector<std::string>{"F 64 1 a.txt"});
}

}  // namespace

#endif  // _WIN32
