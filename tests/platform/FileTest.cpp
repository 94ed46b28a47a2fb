// What the settings store and the packing job rely on in CFile's opening modes:
// writing without truncating, creating only where nothing stands, and flushing.
#include <gtest/gtest.h>

#include <map>

#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "tests/support/TestFs.h"
#ifdef __linux__
#include <sys/vfs.h>
#include <unistd.h>
#endif

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

// Where the job may trust the file system (Linux, the kinds named below among others),
// a file the listing called plain is opened on the listing's word: no length, the
// listing's identity, a short read its end. A link put at its name since the listing is
// opened as any file is. Elsewhere the file is looked at when opened.
TEST(File, ListedFileIsOpenedOnTheListingsWordWhereTheFileSystemAllows) {
    TempDir dir;
    WriteFileBytes(dir / "f.bin", "abc");
    WriteFileBytes(dir / "g.bin", "0123456789");
    std::map<std::string, std::uint64_t> inodes;
    CFileFind find;
    ASSERT_TRUE(find.FindFile(dir / "*.*"));
    while (find.FindNextFile()) inodes[find.GetFileName()] = find.GetListedInode();
    bool trusted = false;
#ifdef __linux__
    struct statfs fs;
    ASSERT_EQ(::statfs(dir.Path().c_str(), &fs), 0);
    trusted = fs.f_type == 0xEF53 || fs.f_type == 0x01021994 || fs.f_type == 0x58465342 || fs.f_type == 0x9123683E;
#endif
    CFolder folder;
    ASSERT_TRUE(folder.Open(dir / ""));
    CFile file;
    ASSERT_TRUE(file.OpenListedAt(folder, "f.bin", inodes["f.bin"]));
    EXPECT_EQ(file.GetOpenedLength(), trusted ? -1 : 3);
    EXPECT_EQ(file.ShortReadEnds(), trusted);
    EXPECT_EQ(file.GetId(), GetPathId(dir / "f.bin"));
    char buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(file.LookAtLength(), 3);
#ifndef _WIN32
    ASSERT_EQ(::unlink((dir / "g.bin").c_str()), 0);
    ASSERT_EQ(::symlink("f.bin", (dir / "g.bin").c_str()), 0);
    ASSERT_TRUE(file.OpenListedAt(folder, "g.bin", inodes["g.bin"]));
    EXPECT_EQ(file.GetOpenedLength(), 3);
    EXPECT_FALSE(file.ShortReadEnds());
    EXPECT_EQ(file.GetId(), GetPathId(dir / "f.bin"));
#endif
}

}  // namespace
