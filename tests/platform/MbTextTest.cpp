// Double-byte aware searching and trimming, and the program folder built on it.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "settings/ProgramDir.h"

namespace {

TEST(MbText, TrimRightRemovesEveryTrailingSeparatorAndNothingElse) {
    std::string s = "C:\\src\\\\\\";
    TrimRightChar(s, '\\');
    EXPECT_EQ(s, "C:\\src");
    s = "\\\\";
    TrimRightChar(s, '\\');
    EXPECT_EQ(s, "");
    s = "  a  ";
    TrimLeftChar(s, ' ');
    EXPECT_EQ(s, "a  ");
}

TEST(ProgramDir, EndsWithTheSeparatorAndHoldsTheRunningProgram) {
    std::string dir;
    EXPECT_TRUE(GetProgramDir(dir));
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kPathSep);
    EXPECT_TRUE(PathExists(dir));
    EXPECT_EQ(GetModulePath().compare(0, dir.size(), dir), 0);
}

TEST(ProgramDir, FolderOfAPathKeepsItsLastSeparator) {
    std::string sep(1, kPathSep);
    EXPECT_EQ(ProgramDirOf("C:" + sep + "Tools" + sep + "app.exe"), "C:" + sep + "Tools" + sep);
    EXPECT_EQ(ProgramDirOf("C:" + sep + "app.exe"), "C:" + sep);
    EXPECT_EQ(ProgramDirOf("app.exe"), "app.exe");
    EXPECT_EQ(ProgramDirOf(""), "");
}

#ifdef _WIN32

TEST(CodePage, WineRunsWithTheGbkAnsiCodePage) { EXPECT_EQ(GetACP(), 936u); }

TEST(MbText, GbkTrailByteIsNeverTakenForABackslash) {
    InitMultibyte();
    const std::string jou = "乗";  // 81 5C
    ASSERT_EQ(jou, std::string("\x81\x5C"));
    std::string s = "C:\\" + jou + "\\\\";
    TrimRightChar(s, '\\');
    EXPECT_EQ(s, "C:\\" + jou);
    s = "C:\\" + jou;
    TrimRightChar(s, '\\');
    EXPECT_EQ(s, "C:\\" + jou);
    EXPECT_EQ(FindLastChar("C:\\" + jou, '\\'), 2u);
    EXPECT_EQ(FindChar(jou + "\\", '\\'), 2u);
    // A program named 乗.exe still lives in C:\x\.
    EXPECT_EQ(ProgramDirOf("C:\\x\\" + jou + ".exe"), "C:\\x\\");
}

#endif

}  // namespace
