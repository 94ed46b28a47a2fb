// Reading settings files: the line rules, line ends, and what a failed Load leaves.
#include <gtest/gtest.h>

#include <algorithm>

#include "IniTestSupport.h"
#include "platform/File.h"

TEST(IniFileLoad, MissingFileKeepsFilledStoreUntouched) {
    TempDir dir;
    CIniProbe store;
    store.SetString("A", "k", "1");
    store.SetString("B", "k", "2");
    const CIniNode* pCurrent = store.CurrentSection();

    EXPECT_FALSE(store.Load(dir / "missing.ini"));

    EXPECT_EQ(store.Dump(), (Lines{"[A]", "k=1", "[B]", "k=2"}));
    EXPECT_EQ(store.CurrentSection(), pCurrent);
    ASSERT_NE(store.GetString("A", "k"), nullptr);
    EXPECT_EQ(*store.GetString("A", "k"), "1");
}

TEST(IniFileLoad, LoadReplacesContentAndForgetsCurrentSection) {
    TempDir dir;
    CIniProbe store;
    store.SetString("Old", "k", "v");
    ASSERT_TRUE(LoadBytes(store, dir, "[New]\r\nk=w\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[New]", "k=w"}));
    EXPECT_EQ(store.CurrentSection(), nullptr);
}

TEST(IniFileLoad, EntriesBeforeAnySectionAreDroppedAndLoadStillSucceeds) {
    TempDir dir;
    CIniProbe store;
    EXPECT_TRUE(LoadBytes(store, dir, "a=1\r\nb=2\r\n"));
    EXPECT_TRUE(store.Dump().empty());
    EXPECT_TRUE(LoadBytes(store, dir, ""));
    EXPECT_TRUE(store.Dump().empty());
}

TEST(IniFileLoad, SectionHeaderRules) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir,
                          "   [Sec] and=more text\r\n"  // leading spaces go, text after "]" is ignored
                          "[[Sec2]]\r\n"                // every leading "[" goes, the name ends at the first "]"
                          "[ Spaced ]\r\n"              // spaces inside the brackets stay
                          "[]\r\n"                      // an empty name
                          "[a[b]\r\n"                   // only leading "[" are removed
                          "[a=b]\r\n"                   // a "=" in a header line is part of the name
                          "\t[Tab]=x\r\n"));            // a tab is not trimmed: this is an entry of "a=b"
    EXPECT_EQ(store.Dump(), (Lines{"[Sec]", "[Sec2]", "[ Spaced ]", "[]", "[a[b]", "[a=b]", "\t[Tab]=x"}));
}

TEST(IniFileLoad, HeaderWithoutClosingBracketIsIgnored) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir,
                          "[NoClose\r\n"
                          "dropped=1\r\n"  // no section is open yet
                          "[S]\r\n"
                          "a=1\r\n"
                          "[Broken\r\n"
                          "b=2\r\n"));  // goes on into S
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "a=1", "b=2"}));
}

TEST(IniFileLoad, EntryLinesKeepKeysAndValuesUntrimmed) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir,
                          "[S]\r\n"
                          "key = value  \r\n"
                          "   a=b=c\r\n"
                          "=v\r\n"
                          "a=\r\n"
                          "\tkey=t\r\n"
                          ";semi=1\r\n"  // no comment syntax: these are entries
                          "#hash=2\r\n"
                          "; a comment without equals\r\n"
                          "plain line\r\n"));
    EXPECT_EQ(store.Dump(),
              (Lines{"[S]", "key = value  ", "a=b=c", "=v", "a=", "\tkey=t", ";semi=1", "#hash=2"}));
    ASSERT_NE(store.GetString("S", "key "), nullptr);
    EXPECT_EQ(*store.GetString("S", "key "), " value  ");
    EXPECT_EQ(*store.GetString("S", "a"), "b=c");
}

TEST(IniFileLoad, CarriageReturnsVanishAndOnlyLineFeedsEndLines) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir,
                          "\r\n\n\r\r\n"
                          "[S]\rignored=1\r\n"  // a lone CR is no line end: the rest joins the header line
                          "a\rb=c\r\n"
                          "d=e\r\r\n"
                          "f=g\n"
                          "\n"
                          "h=last without line end"));
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "ab=c", "d=e", "f=g", "h=last without line end"}));
}

TEST(IniFileLoad, LinesLongerThanOneReadStayWhole) {
    TempDir dir;
    CIniProbe store;
    // The first line's CR sits at byte 4095 and its LF at 4096, across the first read boundary;
    // the long value spans several reads.
    const std::string longValue(10000, 'v');
    ASSERT_TRUE(LoadBytes(store, dir, "[S]" + std::string(4092, ' ') + "\r\nk=" + longValue + "\r\nnext=1\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "k=" + longValue, "next=1"}));
}

TEST(IniFileLoad, RepeatedSectionsAndKeysStaySeparateAndOnlyTheFirstIsSeen) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir, "[S]\r\nk=1\r\nk=2\r\n[T]\r\nk=3\r\n[S]\r\nk=4\r\nonly=here\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "k=1", "k=2", "[T]", "k=3", "[S]", "k=4", "only=here"}));
    EXPECT_EQ(*store.GetString("S", "k"), "1");
    EXPECT_EQ(store.GetString("S", "only"), nullptr);

    store.SetString("S", "k", "9");
    store.SetString("S", "only", "new");
    EXPECT_EQ(SavedBytes(store, dir),
              "\r\n[S]\r\nk=9\r\nk=2\r\nonly=new\r\n"
              "\r\n[T]\r\nk=3\r\n"
              "\r\n[S]\r\nk=4\r\nonly=here\r\n");
}

TEST(IniFileLoad, OnlyValuesAreDecoded) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir, "[S\\n]\r\nk\\r=a\\\\b\\rc\\nd\\te\\\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[S\\n]", "k\\r=a\\b\rc\nd\\te\\"}));
}

// A 1A byte is data like any other: nothing after it is lost.
TEST(IniFileLoad, ByteOneAInAValueKeepsTheRestOfTheFile) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir, "[S]\r\na=x\x1Ay\r\nb=2\r\n\x1A=z\r\n[T]\r\nc=3\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "a=x\x1Ay", "b=2", "\x1A=z", "[T]", "c=3"}));
}

TEST(IniFileLoad, FolderInsteadOfFileFailsWithStoreEmptied) {
    TempDir dir;
    CIniProbe store;
    store.SetString("S", "k", "v");
    MakeDirs(dir / "folder.ini");
    EXPECT_FALSE(store.Load(dir / "folder.ini"));
    EXPECT_TRUE(store.Dump().empty());
    EXPECT_EQ(store.CurrentSection(), nullptr);
}

namespace {

// Delivers the file's first `limit` bytes a few at a time, then reports a read error.
class CFailingReadStore : public CIniProbe {
public:
    explicit CFailingReadStore(std::size_t limit) : m_nLeft(limit) {}

protected:
    long long ReadBytes(CFile& file, void* pBuffer, std::size_t nSize) override {
        if (m_nLeft == 0) return -1;
        long long nRead = CIniFile::ReadBytes(file, pBuffer, std::min<std::size_t>({nSize, m_nLeft, 5}));
        if (nRead > 0) m_nLeft -= static_cast<std::size_t>(nRead);
        return nRead;
    }

private:
    std::size_t m_nLeft;
};

}  // namespace

TEST(IniFileLoad, ReadErrorFailsAndKeepsTheCompleteLinesReadBeforeIt) {
    TempDir dir;
    const std::string bytes = "[S]\r\na=1\r\nb=22\r\n";
    CFailingReadStore store(bytes.size() - 3);  // the error cuts "b=22"
    EXPECT_FALSE(LoadBytes(store, dir, bytes));
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "a=1"}));

    CFailingReadStore whole(bytes.size());  // the error comes after the last line end
    EXPECT_FALSE(LoadBytes(whole, dir, bytes));
    EXPECT_EQ(whole.Dump(), (Lines{"[S]", "a=1", "b=22"}));
}

#ifdef __linux__
// /proc/self/mem opens for reading, but reading its first page fails (nothing is mapped there).
TEST(IniFileLoad, SystemReadErrorFailsLoad) {
    CFile premise;
    ASSERT_TRUE(premise.Open("/proc/self/mem", CFile::modeRead));
    char byte;
    ASSERT_EQ(premise.Read(&byte, 1), -1);
    premise.Close();

    CIniProbe store;
    store.SetString("S", "k", "v");
    EXPECT_FALSE(store.Load("/proc/self/mem"));
    EXPECT_TRUE(store.Dump().empty());
}
#endif
