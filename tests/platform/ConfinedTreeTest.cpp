// What the system can hold: the limits extract checks before it writes anything; a
// tree whose names are UTF-8, and the folders made above a destination.
#include <gtest/gtest.h>

#include "platform/ConfinedTree.h"
#include "tests/support/TestFs.h"

namespace {

bool Fits(const std::string& root, const std::vector<std::string>& path, bool folder = false) {
    return TargetPathProblem(root, path, folder) == nullptr;
}

#ifdef _WIN32

// Characters, not bytes: each "中" is two bytes and one character.
std::string Chars(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "中";
    return text;
}

TEST(TargetPath, WindowsTakesNamesOf255CharactersAndPathsShortOfMaxPath) {
    const std::string root = "C:\\r\\";  // 5 characters
    EXPECT_STREQ(TargetPathProblem(root, {Chars(256)}, false), "名称超过 Windows 的 255 个字符上限");
    EXPECT_TRUE(Fits(root, {Chars(200), Chars(53)}));  // 259 characters: a file fits
    EXPECT_FALSE(Fits(root, {Chars(200), Chars(54)}));
    EXPECT_TRUE(Fits(root, {Chars(100), Chars(141)}, true));  // 247: a folder leaves room for an 8.3 name
    EXPECT_FALSE(Fits(root, {Chars(100), Chars(142)}, true));
}

#else

TEST(TargetPath, PosixTakesNamesOfNameMaxBytesAndPathsShortOfPathMax) {
    const std::string root = "/r/";
    EXPECT_TRUE(Fits(root, {std::string(255, 'n')}));
    EXPECT_FALSE(Fits(root, {std::string(255, 'n') + "n"}));
    std::vector<std::string> path(15, std::string(255, 'p'));  // 3 + 15 * 256 - 1 = 3842 bytes
    path.push_back(std::string(4095 - 3842 - 1, 'q'));
    EXPECT_TRUE(Fits(root, path));
    path.back() += 'q';
    EXPECT_FALSE(Fits(root, path));
}

#endif

// Korean: no character of code page 936, so a tree of local names could not hold it on
// the Windows systems the tests stand for.
const char kHangul[] = u8"\uD55C\uAE00";

TEST(ConfinedTree, AUtf8TreeHoldsNamesOutsideTheCodePage) {
    TempDir dir;
    CConfinedTree tree;
    ASSERT_TRUE(tree.Open(dir.Path(), TreeNames::Utf8));
    ASSERT_EQ(tree.MakeFolder(kHangul, false), TreeStatus::Ok);
    ASSERT_EQ(tree.Enter({kHangul}), TreeStatus::Ok);
    CTreeFile file;
    ASSERT_EQ(tree.CreateFile(kHangul, false, file), TreeStatus::Ok);
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_EQ(file.Commit(), TreeStatus::Ok);
    // Found again by the same names.
    EXPECT_EQ(tree.CreateFile(kHangul, false, file), TreeStatus::Exists);
    ASSERT_EQ(tree.Enter({}), TreeStatus::Ok);
    EXPECT_EQ(tree.MakeFolder(kHangul, false), TreeStatus::Exists);
    const std::string full = FullFolderPath(dir.Path(), TreeNames::Utf8);
    EXPECT_EQ(TargetPathProblem(full, {kHangul, kHangul}, false, TreeNames::Utf8), nullptr);
#ifdef _WIN32
    EXPECT_STREQ(TargetPathProblem(full, {"\xFF"}, false, TreeNames::Utf8), "名称不是有效的 UTF-8");
#endif
}

TEST(ConfinedTree, MakeFolderPathMakesTheMissingFoldersAboveOnly) {
    TempDir dir;
    EXPECT_TRUE(MakeFolderPath(dir / "a/b/c/", TreeNames::Utf8));
    EXPECT_EQ(GetPathKind(dir / "a/b/c"), PathKind::Folder);
    EXPECT_TRUE(MakeFolderPath(dir / "a/b"));  // there already
    WriteFileBytes(dir / "a/file", "x");
    EXPECT_FALSE(MakeFolderPath(dir / "a/file"));
    EXPECT_FALSE(MakeFolderPath(dir / "a/file/d"));
    std::int64_t size = 0;
    EXPECT_TRUE(GetUtf8FileSize(dir / "a/file", size));
    EXPECT_EQ(size, 1);
    EXPECT_FALSE(GetUtf8FileSize(dir / "a/none", size));
}

}  // namespace
