// What the system can hold: the limits extract checks before it writes anything.
#include <gtest/gtest.h>

#include "platform/ConfinedTree.h"

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

}  // namespace
