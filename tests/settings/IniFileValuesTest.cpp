// Lookups and settings in memory, the current section, and the value escapes.
#include <gtest/gtest.h>

#include <climits>

#include "IniTestSupport.h"

TEST(IniFileValues, SetStringAppendsNewSectionsAndKeysAndChangesExistingInPlace) {
    CIniProbe store;
    store.SetString("A", "x", "1");
    store.SetString("B", "x", "2");
    store.SetString("A", "y", "3");
    EXPECT_TRUE(store.SetString("A", "x", "changed"));
    EXPECT_EQ(store.Dump(), (Lines{"[A]", "x=changed", "y=3", "[B]", "x=2"}));
}

TEST(IniFileValues, GetStringIsNullForAMissingSectionOrKey) {
    CIniFile store;
    EXPECT_EQ(store.GetString("S", "k"), nullptr);
    store.SetString("S", "k", "");
    EXPECT_EQ(store.GetString("T", "k"), nullptr);
    EXPECT_EQ(store.GetString("S", "other"), nullptr);
    ASSERT_NE(store.GetString("S", "k"), nullptr);
    EXPECT_EQ(*store.GetString("S", "k"), "");
}

TEST(IniFileValues, ReturnedValueStaysValidWhileTheStoreGrows) {
    CIniFile store;
    store.SetString("S", "k", "kept");
    const std::string* pValue = store.GetString("S", "k");
    ASSERT_NE(pValue, nullptr);
    for (int i = 0; i < 200; ++i) {
        store.SetString("S", "k" + std::to_string(i), "v");
        store.SetString("T" + std::to_string(i), "k", "v");
    }
    EXPECT_EQ(*pValue, "kept");
}

TEST(IniFileValues, SetIntStoresSignedDecimalText) {
    CIniFile store;
    const std::pair<int, const char*> cases[] = {
        {-5, "-5"}, {0, "0"}, {42, "42"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const auto& [nValue, text] : cases) {
        EXPECT_TRUE(store.SetInt("S", "n", nValue));
        EXPECT_EQ(*store.GetString("S", "n"), text);
    }
}

TEST(IniFileValues, NamesCompareByteForByteAndCaseSensitively) {
    TempDir dir;
    CIniFile store;
    ASSERT_TRUE(LoadBytes(store, dir, "[.]\r\nPacketName=x\r\n"));
    EXPECT_EQ(store.GetString(".", "packetname"), nullptr);
    store.SetString(std::string("a\0b", 3), "k", "with zero");
    store.SetString("a", "k", "plain");
    store.SetString("a", "K", "upper");
    EXPECT_EQ(*store.GetString(".", "PacketName"), "x");
    EXPECT_EQ(*store.GetString(std::string("a\0b", 3), "k"), "with zero");
    EXPECT_EQ(*store.GetString("a", "k"), "plain");
    EXPECT_EQ(*store.GetString("a", "K"), "upper");
    EXPECT_EQ(store.GetString("A", "k"), nullptr);
}

TEST(IniFileValues, CurrentSectionFollowsSuccessfulLookupsAndSettingsOnly) {
    CIniProbe store;
    EXPECT_EQ(store.CurrentSection(), nullptr);
    store.SetString("A", "k", "1");
    store.SetString("B", "k", "2");
    const CIniNode* pA = store.FindNode(nullptr, "A");
    const CIniNode* pB = store.FindNode(nullptr, "B");
    EXPECT_EQ(store.CurrentSection(), pB);

    store.GetString("A", "k");
    EXPECT_EQ(store.CurrentSection(), pA);
    store.GetString("B", "missing");
    EXPECT_EQ(store.CurrentSection(), pA) << "a lookup that finds no entry leaves it";
    store.GetString("Missing", "k");
    EXPECT_EQ(store.CurrentSection(), pA);
    store.SetString("C", "k", "3");
    EXPECT_EQ(store.CurrentSection(), store.FindNode(nullptr, "C"));

    store.Clear();
    EXPECT_EQ(store.CurrentSection(), nullptr);
    EXPECT_TRUE(store.Dump().empty());
}

TEST(IniFileValues, CurrentSectionIsAlwaysTheFirstOfItsName) {
    TempDir dir;
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, dir, "[S]\r\na=1\r\n[S]\r\nb=2\r\n"));
    const CIniNode* pFirst = store.Root()->m_arrChildren[0];
    EXPECT_EQ(store.GetString("S", "b"), nullptr) << "the second S is never looked at";
    store.SetString("S", "b", "new");
    EXPECT_EQ(store.CurrentSection(), pFirst);
    EXPECT_EQ(store.Dump(), (Lines{"[S]", "a=1", "b=new", "[S]", "b=2"}));
}

TEST(IniFileEscape, EscapesBackslashCrAndLfOnly) {
    std::string value = std::string("a\\b\rc\nd\x1A\t", 9) + std::string(1, '\0') + "\x81\\";
    EXPECT_TRUE(CIniFile::EscapeValue(value));
    EXPECT_EQ(value, std::string("a\\\\b\\rc\\nd\x1A\t", 12) + std::string(1, '\0') + "\x81\\\\");
}

TEST(IniFileEscape, UnescapeDecodesThreePairsAndKeepsEverythingElse) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\", "\\"},        {"\\r", "\r"},          {"\\n", "\n"},         {"\\t", "\\t"},
        {"\\R", "\\R"},        {"\\N", "\\N"},         {"\\", "\\"},          {"end\\", "end\\"},
        {"\\\\\\", "\\\\"},    {"\\\\n", "\\n"},       {"\\\\\\n", "\\\n"},   {"\\q\\n", "\\q\n"},
        {"a\\\\r\\rb", "a\\r\rb"}, {"", ""},
    };
    for (const auto& [encoded, decoded] : cases) {
        std::string value = encoded;
        EXPECT_TRUE(CIniFile::UnescapeValue(value));
        EXPECT_EQ(value, decoded) << "decoding \"" << encoded << "\"";
    }
}

TEST(IniFileEscape, DecodingAnEncodedValueGivesItBack) {
    // Every value of up to two bytes, and every three-byte value over the bytes that matter.
    auto roundTrip = [](const std::string& value) {
        std::string text = value;
        CIniFile::EscapeValue(text);
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
        CIniFile::UnescapeValue(text);
        return text == value;
    };
    int nFailures = 0;
    for (int a = 0; a < 256; ++a) {
        nFailures += roundTrip(std::string(1, static_cast<char>(a))) ? 0 : 1;
        for (int b = 0; b < 256; ++b) {
            nFailures += roundTrip(std::string{static_cast<char>(a), static_cast<char>(b)}) ? 0 : 1;
        }
    }
    const std::string special = std::string("\\rn\r\nx", 6) + std::string(1, '\0');
    for (char a : special) {
        for (char b : special) {
            for (char c : special) nFailures += roundTrip(std::string{a, b, c}) ? 0 : 1;
        }
    }
    EXPECT_EQ(nFailures, 0);
}
