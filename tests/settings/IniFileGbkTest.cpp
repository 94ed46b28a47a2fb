// Names holding GBK characters whose second byte is "[", "\" or "]": the store must
// never take such a byte for a delimiter. Windows only, where the code page is 936.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "IniTestSupport.h"
#include "platform/MbText.h"

namespace {

class IniFileGbk : public ::testing::Test {
protected:
    void SetUp() override {
        InitMultibyte();
        ASSERT_EQ(std::string("乕乗乚"), "\x81[\x81\\\x81]") << "literals must be compiled to GBK";
        ASSERT_TRUE(IsLeadByte(0x81)) << "the process must run in code page 936";
    }
    TempDir m_dir;
};

}  // namespace

TEST_F(IniFileGbk, TrailBytesAreNeverTakenForDelimiters) {
    CIniProbe store;
    ASSERT_TRUE(LoadBytes(store, m_dir,
                          "[乚]\r\n"             // 5B 81 5D 5D: the name ends at the second "]"
                          "  乕乚=值]\r\n"
                          "[[乕乚]尾]\r\n"
                          "k=v\r\n"
                          "[乚 no closing bracket\r\n"  // ignored: its only 5D is a trail byte
                          "after=still in the last section\r\n"));
    EXPECT_EQ(store.Dump(), (Lines{"[乚]", "乕乚=值]", "[乕乚]", "k=v", "after=still in the last section"}));
    ASSERT_NE(store.GetString("乚", "乕乚"), nullptr);
    EXPECT_EQ(*store.GetString("乚", "乕乚"), "值]");
}

TEST_F(IniFileGbk, NamesAndValuesWithTrailBytesSurviveSaveAndLoad) {
    CIniProbe store;
    store.SetString("乕", "乚", "乗");
    store.SetString("乕乗乚", "键乚", "值乗\r\n乕");
    const std::string saved = SavedBytes(store, m_dir);
    EXPECT_NE(saved.find("=\x81\\\\\r\n"), std::string::npos) << "a trail byte 5C in a value is doubled";

    CIniProbe loaded;
    ASSERT_TRUE(LoadBytes(loaded, m_dir, saved));
    EXPECT_EQ(loaded.Dump(), store.Dump());
}
#endif
