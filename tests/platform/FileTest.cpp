// What the settings store and the packing job rely on in CFile's opening modes:
// writing without truncating, creating only where nothing stands, and flushing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "tests/support/TestFs.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FolderTrust.h"
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

// Where the job may trust the folder's file system with it (as TrustFolder judges it), a
// file the listing called plain is opened on the listing's word: no length, the listing's
// identity, a short read its end. A link put at its name since the listing is opened as
// any file is. Elsewhere the file is looked at when opened.
TEST(File, ListedFileIsOpenedOnTheListingsWordWhereTheFileSystemAllows) {
    TempDir dir;
    WriteFileBytes(dir / "f.bin", "abc");
    WriteFileBytes(dir / "g.bin", "0123456789");
    std::map<std::string, std::uint64_t> inodes;
    CFileFind find;
    ASSERT_TRUE(find.FindFile(dir / "*.*"));
    while (find.FindNextFile()) inodes[find.GetFileName()] = find.GetListedInode();
    bool trusted = false;
#ifndef _WIN32
    const int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    ASSERT_TRUE(fd >= 0 && ::fstat(fd, &st) == 0);
    trusted = TrustFolder(fd, st).listedIds;
    ::close(fd);
#endif
    RecordProperty("opened_on_the_listings_word", trusted ? "tested" : "not tested here");
    CFolder folder;
    ASSERT_TRUE(folder.Open(dir / ""));
    CFile file;
    ASSERT_TRUE(file.OpenListedAt(folder, "f.bin", inodes["f.bin"]));
    EXPECT_EQ(file.GetOpenedLength(), trusted ? -1 : 3);
    EXPECT_EQ(file.ShortReadEnds(), trusted);
    EXPECT_EQ(file.GetId(), GetPathId(dir / "f.bin"));
    char buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(file.LookAtLength(), 3);
#ifndef _WIN32
    ASSERT_EQ(::unlink((dir / "g.bin").c_str()), 0);
    ASSERT_EQ(::symlink("f.bin", (dir / "g.bin").c_str()), 0);
    ASSERT_TRUE(file.OpenListedAt(folder, "g.bin", inodes["g.bin"]));
    EXPECT_EQ(file.GetOpenedLength(), 3);
    EXPECT_FALSE(file.ShortReadEnds());
    EXPECT_EQ(file.GetId(), GetPathId(dir / "f.bin"));
    // A folder put there instead is refused as no plain file: on the listing's word by its
    // first read, else by the open.
    ASSERT_EQ(::unlink((dir / "g.bin").c_str()), 0);
    ASSERT_TRUE(MakeDir(dir / "g.bin"));
    EXPECT_EQ(file.OpenListedAt(folder, "g.bin", inodes["g.bin"]), trusted);
    if (trusted) {
        EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
        EXPECT_FALSE(file.IsRegular());
    } else {
        EXPECT_TRUE(file.FoundFolder());
    }
#endif
    if (!trusted) GTEST_SKIP() << "the open on the listing's word is untested: " << dir.Path()
                               << " is on a file system not trusted with it (the open with a look passed)";
}

// The UTF-8 services reach names the code page cannot hold (Windows: through the wide
// API); elsewhere they take the bytes as they are.
TEST(File, Utf8PathsReachNamesTheCodePageCannotHold) {
    TempDir dir;
    const std::string root = dir.Path();
    if (std::any_of(root.begin(), root.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        GTEST_SKIP() << "the temporary folder's path is the same in UTF-8 and the code page only in ASCII";
    }
    const std::string folder = u8"\U0001F600";
    const std::string file = u8"\u00E9\U0001F600.txt";
    if (!MakeLinuxEntry(root, folder, true) || !MakeLinuxEntry(root, folder + "/" + file, false)) {
        GTEST_SKIP() << "needs Linux below (natively, or Wine)";
    }
    const std::string inside = root + folder + kPathSep;
    EXPECT_EQ(GetUtf8TargetKind(root + folder), PathKind::Folder);
    EXPECT_EQ(GetUtf8TargetKind(inside + file), PathKind::File);
    EXPECT_EQ(GetUtf8TargetKind(inside + "none"), PathKind::Missing);
    const FileId id = GetUtf8PathId(inside + file);
    EXPECT_TRUE(id.valid);
    EXPECT_NE(GetUtf8PathId(root + folder), id);

    CFileFind find;
    ASSERT_TRUE(find.FindFileUtf8(inside + "*.*"));
    std::vector<std::string> names;
    while (find.FindNextFile()) {
        if (find.IsDots()) continue;
        names.push_back(find.GetFileName());
        EXPECT_TRUE(find.IsNameExact());
    }
    EXPECT_EQ(names, std::vector<std::string>{file});

    CFile opened;
    ASSERT_TRUE(opened.Open(inside + file, CFile::modeRead | CFile::modeUtf8Path));
    EXPECT_TRUE(opened.IsRegular());
    EXPECT_EQ(opened.GetId(), id);
}

}  // namespace
