// PhysFS mounting packets through velkaron-physfs as a game reads its assets: listed,
// looked at, read and sought as in a zip; GBK names in UTF-8, as PhysFS speaks it, the
// encoding decided for the whole packet or told at registration; names PhysFS cannot be
// given left out; files that are no packet left to other archivers, broken packets
// refused.
#include <gtest/gtest.h>
#include <physfs.h>

#include <velkaron/physfs.h>

#include "tests/cli/CliTestSupport.h"

namespace {

class PhysfsPacket : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PHYSFS_init(nullptr)) << Error();
        ASSERT_TRUE(vkr_physfs_register()) << Error();
    }
    void TearDown() override { PHYSFS_deinit(); }

    static std::string Error() { return PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()); }

    // The names PhysFS lists in `dir`, which it sorts.
    static std::vector<std::string> List(const char* dir) {
        std::vector<std::string> names;
        char** files = PHYSFS_enumerateFiles(dir);
        for (char** name = files; files != nullptr && *name != nullptr; ++name) names.push_back(*name);
        PHYSFS_freeList(files);
        return names;
    }

    // Writes a packet of `items` and mounts it at the top; false with PhysFS's error set when it does not mount.
    bool Mount(const std::vector<PacketItem>& items) {
        WriteFileBytes(m_dir / "p.dat", MakePacket(items));
        return PHYSFS_mount((m_dir / "p.dat").c_str(), "/", 1) != 0;
    }

    // Registers the archiver again, reading names as `names` says.
    static bool RegisterNames(int names) {
        return PHYSFS_deregisterArchiver("dat") && vkr_physfs_register_names(names);
    }

    static std::string ReadWhole(const char* path) {
        PHYSFS_File* file = PHYSFS_openRead(path);
        if (file == nullptr) return "(" + Error() + ")";
        std::string content(static_cast<std::size_t>(PHYSFS_fileLength(file)), '\0');
        const PHYSFS_sint64 got = PHYSFS_readBytes(file, &content[0], content.size());
        PHYSFS_close(file);
        return got == static_cast<PHYSFS_sint64>(content.size()) ? content : "(short)";
    }

    TempDir m_dir;
};

using Names = std::vector<std::string>;

TEST_F(PhysfsPacket, MountedPacketIsListedStatedReadAndSoughtAsAZip) {
    TempDir dir;
    std::string level;
    for (int i = 0; i < 1000; ++i) level += static_cast<char>('a' + i % 26);
    WriteFileBytes(dir / "assets.dat", MakePacket({{"data", true, ""}, {"readme.txt", false, "hello"},
                                                   {"data\\level1.bin", false, level}, {"data\\sub", true, ""},
                                                   {"data\\sub\\x.txt", false, "x"}}));
    ASSERT_TRUE(PHYSFS_mount((dir / "assets.dat").c_str(), "/", 1)) << Error();
    EXPECT_EQ(List(""), (std::vector<std::string>{"data", "readme.txt"}));
    EXPECT_EQ(List("data"), (std::vector<std::string>{"level1.bin", "sub"}));
    EXPECT_EQ(List("data/sub"), (std::vector<std::string>{"x.txt"}));
    PHYSFS_Stat stat;
    ASSERT_TRUE(PHYSFS_stat("data/level1.bin", &stat)) << Error();
    EXPECT_EQ(stat.filetype, PHYSFS_FILETYPE_REGULAR);
    EXPECT_EQ(stat.filesize, 1000);
    EXPECT_TRUE(stat.readonly);
    ASSERT_TRUE(PHYSFS_stat("data/sub", &stat)) << Error();
    EXPECT_EQ(stat.filetype, PHYSFS_FILETYPE_DIRECTORY);
    EXPECT_FALSE(PHYSFS_stat("data/none", &stat));
    EXPECT_EQ(ReadWhole("readme.txt"), "hello");

    PHYSFS_File* file = PHYSFS_openRead("data/level1.bin");
    ASSERT_NE(file, nullptr) << Error();
    char buffer[8];
    ASSERT_TRUE(PHYSFS_seek(file, 500));
    ASSERT_EQ(PHYSFS_readBytes(file, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), level.substr(500, 4));
    EXPECT_EQ(PHYSFS_tell(file), 504);
    EXPECT_FALSE(PHYSFS_seek(file, 1001));
    ASSERT_TRUE(PHYSFS_seek(file, 998));
    EXPECT_EQ(PHYSFS_readBytes(file, buffer, sizeof buffer), 2);
    EXPECT_TRUE(PHYSFS_eof(file));
    PHYSFS_close(file);
    EXPECT_EQ(PHYSFS_openRead("data"), nullptr);
    EXPECT_FALSE(vkr_physfs_register());  // once is enough
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_DUPLICATE);
}

TEST_F(PhysfsPacket, GbkNamesAreListedAndFoundInUtf8EvenWithATrailByte5C) {
    ASSERT_TRUE(PHYSFS_mount(FixturePacket("gbk-name-with-5c-trail-byte.dat").c_str(), "/", 1)) << Error();
    EXPECT_EQ(List(""), (std::vector<std::string>{"\xE8\xAA\xA0"}));  // 誠, D5 5C in GBK
    EXPECT_EQ(List("\xE8\xAA\xA0"), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(ReadWhole("\xE8\xAA\xA0/a.txt"), "abc");
}

TEST_F(PhysfsPacket, OtherFilesAreLeftToOtherArchiversAndBrokenPacketsRefused) {
    TempDir dir;
    WriteFileBytes(dir / "other.dat", std::string(100, 'x'));
    EXPECT_FALSE(PHYSFS_mount((dir / "other.dat").c_str(), "/", 1));
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_UNSUPPORTED);
    EXPECT_FALSE(PHYSFS_mount(FixturePacket("dotdot-path.dat").c_str(), "/", 1));
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_CORRUPT);
}

// A user-defined GBK code (AA A1) is a private-use character, as on Windows, listed and
// opened with the others.
TEST_F(PhysfsPacket, UserDefinedGbkCodeIsListedAndOpensBesideTheOtherNames) {
    ASSERT_TRUE(Mount({{"\xAA\xA1.txt", false, "private"}, {"\xD6\xD0.txt", false, "zhong"}})) << Error();
    EXPECT_EQ(List(""), (Names{"\xE4\xB8\xAD.txt", "\xEE\x80\x80.txt"}));  // 中.txt, U+E000.txt
    EXPECT_EQ(ReadWhole("\xEE\x80\x80.txt"), "private");
    EXPECT_EQ(ReadWhole("\xE4\xB8\xAD.txt"), "zhong");
}

// GBK names that are valid UTF-8 by chance (图片, 山水) are still GBK when every name is.
TEST_F(PhysfsPacket, GbkNamesThatAreValidUtf8ByChanceAreReadAsGbk) {
    ASSERT_TRUE(Mount({{"\xCD\xBC\xC6\xAC", true, ""}, {"\xCD\xBC\xC6\xAC\\\xC9\xBD\xCB\xAE", false, "hills"}}))
        << Error();
    EXPECT_EQ(List(""), (Names{"\xE5\x9B\xBE\xE7\x89\x87"}));  // 图片, not ͼƬ
    EXPECT_EQ(ReadWhole("\xE5\x9B\xBE\xE7\x89\x87/\xE5\xB1\xB1\xE6\xB0\xB4"), "hills");  // 图片/山水
}

// Names that are not GBK as a whole (a Latin-1 é, a UTF-8 中 whose last byte leads
// nothing) mount as stored: the UTF-8 ones are listed and open, those PhysFS cannot be
// given (not UTF-8, or holding ":") are left out.
TEST_F(PhysfsPacket, PacketWhoseNamesAreNotGbkMountsWithTheNamesPhysfsCanBeGiven) {
    ASSERT_TRUE(Mount({{"caf\xE9.txt", false, "latin"},
                       {"\xD6\xD0.txt", false, "gbk"},
                       {"\xE4\xB8\xAD.txt", false, "utf8"},
                       {"ab:c.txt", false, "colon"},
                       {"readme.txt", false, "hello"}}))
        << Error();
    EXPECT_EQ(List(""), (Names{"readme.txt", "\xE4\xB8\xAD.txt"}));
    EXPECT_EQ(ReadWhole("\xE4\xB8\xAD.txt"), "utf8");
    EXPECT_EQ(ReadWhole("readme.txt"), "hello");
}

// UTF-8 names that are well-formed GBK as well (中文.txt) are GBK unless the program says otherwise.
TEST_F(PhysfsPacket, ProgramThatKnowsHowNamesAreWrittenSaysSoAtRegistration) {
    const std::vector<PacketItem> utf8 = {{"\xE4\xB8\xAD\xE6\x96\x87.txt", false, "text"}};
    ASSERT_TRUE(Mount(utf8)) << Error();
    EXPECT_NE(List(""), (Names{"\xE4\xB8\xAD\xE6\x96\x87.txt"}));
    ASSERT_TRUE(PHYSFS_unmount((m_dir / "p.dat").c_str())) << Error();

    ASSERT_TRUE(RegisterNames(VKR_PHYSFS_NAMES_UTF8)) << Error();
    ASSERT_TRUE(Mount(utf8)) << Error();
    EXPECT_EQ(List(""), (Names{"\xE4\xB8\xAD\xE6\x96\x87.txt"}));
    EXPECT_EQ(ReadWhole("\xE4\xB8\xAD\xE6\x96\x87.txt"), "text");
    ASSERT_TRUE(PHYSFS_unmount((m_dir / "p.dat").c_str())) << Error();

    ASSERT_TRUE(RegisterNames(VKR_PHYSFS_NAMES_GBK)) << Error();
    EXPECT_FALSE(Mount({{"caf\xE9.txt", false, "latin"}}));
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_CORRUPT);
    EXPECT_FALSE(RegisterNames(3));
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_INVALID_ARGUMENT);
}

// PhysFS 3.0 crashes setting an error code before PHYSFS_init, in a process that never
// initialised it (ctest runs each test in a process of its own).
TEST(Physfs, RegisteringBeforePhysfsInitFailsQuietly) {
    ASSERT_FALSE(PHYSFS_isInit());
    EXPECT_FALSE(vkr_physfs_register());
    EXPECT_FALSE(vkr_physfs_register_names(VKR_PHYSFS_NAMES_GBK));
}

}  // namespace
