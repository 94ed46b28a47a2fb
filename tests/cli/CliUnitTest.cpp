// The pieces of velkaron-pack that need no process: option parsing, the names
// extract refuses, and the conversion of names to and from GBK.
#include <gtest/gtest.h>

#include "cli/CliOptions.h"
#include "cli/TargetNames.h"
#include "platform/NameEncoding.h"

namespace {

bool Parse(const std::vector<std::string>& args, unsigned allowed, CliOptions& options, std::string& error) {
    options = CliOptions();
    error.clear();
    return ParseCliOptions(args, "pack", allowed, options, error);
}

TEST(CliOptionsParse, OptionsMayStandAnywhereAndDoubleDashEndsThem) {
    CliOptions o;
    std::string error;
    unsigned all = kOptSorted | kOptWorkDir | kOptBufferSize | kOptQuiet;
    ASSERT_TRUE(Parse({"-q", "src", "--work-dir", "w d", "out.dat", "--sorted", "--buffer-size=64K"}, all, o, error))
        << error;
    EXPECT_EQ(o.operands, (std::vector<std::string>{"src", "out.dat"}));
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.sorted);
    EXPECT_EQ(o.workDir, "w d");
    EXPECT_EQ(o.bufferSize, 64u * 1024);
    ASSERT_TRUE(Parse({"--", "-q", "--sorted"}, all, o, error));
    EXPECT_EQ(o.operands, (std::vector<std::string>{"-q", "--sorted"}));
    EXPECT_FALSE(o.quiet);
    ASSERT_TRUE(Parse({"-", "x"}, all, o, error));
    EXPECT_EQ(o.operands, (std::vector<std::string>{"-", "x"}));
}

TEST(CliOptionsParse, BufferSizeTakesBytesKOrMWithinItsBounds) {
    CliOptions o;
    std::string error;
    EXPECT_EQ(o.bufferSize, kCliBufferSize);
    ASSERT_TRUE(Parse({"--buffer-size", "4096"}, kOptBufferSize, o, error));
    EXPECT_EQ(o.bufferSize, 4096u);
    ASSERT_TRUE(Parse({"--buffer-size", "2M"}, kOptBufferSize, o, error));
    EXPECT_EQ(o.bufferSize, 2u * 1024 * 1024);
    ASSERT_TRUE(Parse({"--buffer-size", "256M"}, kOptBufferSize, o, error));
    for (const char* bad : {"0", "", "12x", "-5", "257M", "99999999999999999999", "1G"}) {
        EXPECT_FALSE(Parse({"--buffer-size", bad}, kOptBufferSize, o, error)) << bad;
        EXPECT_NE(error.find("--buffer-size"), std::string::npos);
    }
}

TEST(CliOptionsParse, UnknownMisplacedAndIncompleteOptionsAreRefusedByName) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(Parse({"--fast"}, kOptQuiet, o, error));
    EXPECT_NE(error.find("--fast"), std::string::npos);
    EXPECT_FALSE(Parse({"--force"}, kOptQuiet, o, error));
    EXPECT_NE(error.find("--force"), std::string::npos);
    EXPECT_NE(error.find("pack"), std::string::npos);
    EXPECT_FALSE(Parse({"src", "--work-dir"}, kOptWorkDir, o, error));
    EXPECT_FALSE(Parse({"--sorted=yes"}, kOptSorted, o, error));
    EXPECT_FALSE(Parse({"--name-encoding", "utf8"}, kOptEncoding, o, error));
    EXPECT_TRUE(Parse({"--help", "src"}, 0, o, error));
    EXPECT_TRUE(o.help);
}

TEST(CliOptionsParse, GbkNamesAreOfferedOnlyWhereNamesCanBeConverted) {
    CliOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--name-encoding", "raw"}, kOptEncoding, o, error));
    EXPECT_FALSE(o.gbk);
    bool parsed = Parse({"--name-encoding=gbk"}, kOptEncoding, o, error);
    EXPECT_EQ(parsed, NameConversionAvailable());
    EXPECT_EQ(o.gbk, NameConversionAvailable());
#ifdef _WIN32
    EXPECT_NE(error.find("Windows"), std::string::npos);
#endif
}

TEST(TargetNames, EverywhereDotsDriveLettersAndSeparatorsAreRefused) {
    for (bool windows : {false, true}) {
        for (const char* bad : {"", ".", "..", "C:", "z:", "a/b", "a\\b"}) {
            EXPECT_NE(TargetNameProblem(bad, windows, NameCoding::Local), nullptr) << bad << " windows " << windows;
        }
        EXPECT_NE(TargetNameProblem(std::string("a\0b", 3), windows, NameCoding::Local), nullptr);
        for (const char* good : {"a", "...a", "a b", "#F,1,2,x", "中文"}) {
            EXPECT_EQ(TargetNameProblem(good, windows, NameCoding::Gbk), nullptr) << good;
        }
    }
}

TEST(TargetNames, WindowsRulesRefuseReservedCharactersTrailingDotsAndDeviceNames) {
    for (const char* bad : {"a<b", "a>b", "a:b", "a\"b", "a|b", "a?b", "a*b", "tab\there", "end.", "end ", "c:evil",
                            "CON", "con", "Con.txt", "NUL.tar.gz", "aux", "PRN", "COM1", "lpt9.log", "CON .txt",
                            "CONIN$", "conout$.txt", "CONIN$ .log"}) {
        EXPECT_NE(TargetNameProblem(bad, true, NameCoding::Local), nullptr) << bad;
        EXPECT_EQ(TargetNameProblem(bad, false, NameCoding::Local), nullptr) << bad;
    }
    for (const char* good : {"CONSOLE", "COM0", "COM10", "LPT", "xCON", "NULL.txt", ".hidden", "CONIN", "CONOUT$x"}) {
        EXPECT_EQ(TargetNameProblem(good, true, NameCoding::Local), nullptr) << good;
    }
    // The trail byte 7C of a double-byte character is no "|".
    EXPECT_EQ(TargetNameProblem("\x81\x7C", true, NameCoding::Gbk), nullptr);
    EXPECT_NE(TargetNameProblem("a\x7C", true, NameCoding::Gbk), nullptr);
}

#ifndef _WIN32

TEST(NameEncodingPosix, LocalNamesGoToGbkAndBack) {
    CNameEncoder toGbk, toLocal;
    ASSERT_TRUE(toGbk.Open(NameDirection::LocalToGbk));
    ASSERT_TRUE(toLocal.Open(NameDirection::GbkToLocal));
    std::string name = "中文名 a,b.txt";
    ASSERT_TRUE(toGbk.Convert(name));
    EXPECT_EQ(name, "\xD6\xD0\xCE\xC4\xC3\xFB a,b.txt");
    ASSERT_TRUE(toLocal.Convert(name));
    EXPECT_EQ(name, "中文名 a,b.txt");
    std::string empty;
    EXPECT_TRUE(toGbk.Convert(empty));
    EXPECT_EQ(empty, "");
}

TEST(NameEncodingPosix, NamesThatCannotBeConvertedAreLeftAsTheyWere) {
    CNameEncoder toGbk, toLocal;
    ASSERT_TRUE(toGbk.Open(NameDirection::LocalToGbk));
    ASSERT_TRUE(toLocal.Open(NameDirection::GbkToLocal));
    for (std::string bad : {std::string("\xFF.txt"), std::string("emoji \xF0\x9F\x98\x80"), std::string("cut \xE4\xB8")}) {
        std::string name = bad;
        EXPECT_FALSE(toGbk.Convert(name));
        EXPECT_EQ(name, bad);
    }
    std::string lone = "lead \x81";
    EXPECT_FALSE(toLocal.Convert(lone));
    EXPECT_EQ(lone, "lead \x81");
    // One failure does not spoil the next conversion.
    std::string good = "中";
    EXPECT_TRUE(toGbk.Convert(good));
    EXPECT_EQ(good, "\xD6\xD0");
}

#else

TEST(NameEncodingWindows, ConversionIsNotOfferedSinceNamesAreAnsiAlready) {
    EXPECT_FALSE(NameConversionAvailable());
    CNameEncoder encoder;
    EXPECT_FALSE(encoder.Open(NameDirection::LocalToGbk));
    std::string name = "a";
    EXPECT_FALSE(encoder.Convert(name));
}

#endif

}  // namespace
