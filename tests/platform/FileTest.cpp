// What the settings store and the packing job rely on in CFile's opening modes:
// writing without truncating, creating only where nothing stands, and flushing.
#include <gtest/gtest.h>

#include "platform/File.h"
#include "tests/support/TestFs.h"

namespace {

TEST(File, OpeningModesTruncateOnlyWhenAskedAndCreateNewNeverTakesAnExistingFile) {
    TempDir dir;
    const std::string path = dir / "f.bin";
    WriteFileBytes(path, "0123456789");

    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeWrite));
    EXPECT_EQ(file.GetOpenedLength(), 10);
    ASSERT_TRUE(file.Write("ab", 2));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(path), "ab23456789");

    EXPECT_FALSE(file.Open(path, CFile::modeCreateNew | CFile::modeWrite));
    EXPECT_EQ(ReadFileBytes(path), "ab23456789");
    EXPECT_FALSE(file.Open(dir / "missing.bin", CFile::modeWrite)) << "modeWrite alone creates nothing";

    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(file.GetOpenedLength(), 0);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(path), "");
}

#ifndef _WIN32  // on Windows the share mode excludes others for as long as the handle lives
TEST(File, ExclusiveOpenTruncatesNothingWhileAHoldOutlivesTheFirstOpener) {
    TempDir dir;
    const std::string path = dir / "f.bin";
    const unsigned exclusive = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;
    CFile first, second;
    CFileHold hold;
    ASSERT_TRUE(first.Open(path, exclusive) && first.Write("mine", 4) && hold.Take(first) && first.Close());
    EXPECT_FALSE(second.Open(path, exclusive));
    EXPECT_EQ(ReadFileBytes(path), "mine");
    hold.Release();
    EXPECT_TRUE(second.Open(path, exclusive));
}
#endif

TEST(File, FlushStoresWhatWasWrittenAndFailsWithNoFileOpen) {
    TempDir dir;
    const std::string path = dir / "f.bin";
    CFile file;
    EXPECT_FALSE(file.Flush());
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
    ASSERT_TRUE(file.Write("data", 4));
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(file.GetLength(), 4);
    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(file.Flush());
    EXPECT_EQ(ReadFileBytes(path), "data");
}

}  // namespace
