// PhysFS mounting packets through velkaron-physfs as a game reads its assets: listed,
// looked at, read and sought as in a zip; GBK names in UTF-8, as PhysFS speaks it; files
// that are no packet left to other archivers, broken packets refused.
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

    static std::vector<std::string> List(const char* dir) {
        std::vector<std::string> names;
        char** files = PHYSFS_enumerateFiles(dir);
        for (char** name = files; files != nullptr && *name != nullptr; ++name) names.push_back(*name);
        PHYSFS_freeList(files);
        return names;
    }

    static std::string ReadWhole(const char* path) {
        PHYSFS_File* file = PHYSFS_openRead(path);
        if (file == nullptr) return "(" + Error() + ")";
        std::string content(static_cast<std::size_t>(PHYSFS_fileLength(file)), '\0');
        const PHYSFS_sint64 got = PHYSFS_readBytes(file, &content[0], content.size());
        PHYSFS_close(file);
        return got == static_cast<PHYSFS_sint64>(content.size()) ? content : "(short)";
    }
};

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

}  // namespace
