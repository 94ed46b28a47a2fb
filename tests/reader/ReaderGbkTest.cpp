// GBK names converted as Windows' code page 936 converts them when asked to refuse what
// is ill-formed, on every system: every double-byte code, the user-defined areas'
// private-use characters among them, and the single bytes; the way back the exact
// inverse.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <velkaron/reader.hpp>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

bool IsTrail(int byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

std::string Bytes(int lead, int trail) { return std::string{static_cast<char>(lead), static_cast<char>(trail)}; }

// Every text of one character that code page 936 maps: ASCII, 80 and the double-byte codes.
std::vector<std::string> EveryGbkCharacter() {
    std::vector<std::string> all;
    for (int byte = 0; byte <= 0x80; ++byte) all.push_back(std::string(1, static_cast<char>(byte)));
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (IsTrail(trail)) all.push_back(Bytes(lead, trail));
        }
    }
    return all;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) text += std::string{kDigits[c >> 4], kDigits[c & 0xF]};
    return text;
}

TEST(GbkNames, EveryCodeOfCodePage936HasACharacterOfItsOwnThatConvertsBackToIt) {
    std::set<std::string> characters;
    for (const std::string& gbk : EveryGbkCharacter()) {
        std::string utf8, back;
        ASSERT_EQ(velkaron::GbkToUtf8(gbk, utf8), VKR_OK) << Hex(gbk) << ": " << velkaron::LastMessage();
        ASSERT_EQ(velkaron::Utf8ToGbk(utf8, back), VKR_OK) << Hex(gbk) << ": " << velkaron::LastMessage();
        EXPECT_EQ(back, gbk);
        EXPECT_TRUE(characters.insert(utf8).second) << Hex(gbk) << " shares its character";
    }
    EXPECT_EQ(characters.size(), 128u + 1 + 126 * 190);
    // The user-defined areas become the private-use characters Windows gives them.
    const std::pair<std::string, std::string> known[] = {
        {"\xAA\xA1", "\xEE\x80\x80"},                      // U+E000, the first of AAA1-AFFE
        {"\xF8\xA1", "\xEE\x88\xB4"},                      // U+E234, the first of F8A1-FEFE
        {"\xA1\x40", "\xEE\x93\x86"},                      // U+E4C6, the first of A140-A7A0
        {"\xCD\xBC\xC6\xAC", "\xE5\x9B\xBE\xE7\x89\x87"},  // 图片, valid UTF-8 by chance (ͼƬ)
    };
    for (const auto& pair : known) {
        std::string utf8;
        ASSERT_EQ(velkaron::GbkToUtf8(pair.first, utf8), VKR_OK);
        EXPECT_EQ(utf8, pair.second) << Hex(pair.first);
    }
}

TEST(GbkNames, ALeadByteWithoutItsTrailByteAndFFAreRefusedAtTheirByte) {
    for (const std::string& text :
         {Bytes(0x81, 0x7F), Bytes(0xFE, 0xFF), Bytes(0xAA, 0x3F), std::string("\xD6"), std::string("\xFF")}) {
        std::string utf8;
        EXPECT_EQ(velkaron::GbkToUtf8("ab" + text, utf8), VKR_E_ENCODING) << Hex(text);
        EXPECT_NE(velkaron::LastMessage().find("from byte 2"), std::string::npos) << velkaron::LastMessage();
    }
}

#ifdef _WIN32
// The system's own conversion of `text` from code page `from` to code page `to`; false
// where it refuses or, to a code page other than UTF-8, would have to put a stand-in.
bool SystemConverts(UINT from, UINT to, const std::string& text, std::string& out) {
    wchar_t wide[8];
    const int n =
        ::MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide, 8);
    if (n <= 0) return false;
    char bytes[16];
    BOOL defaulted = FALSE;
    const int m = ::WideCharToMultiByte(to, to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, n, bytes, sizeof bytes,
                                        nullptr, to == CP_UTF8 ? nullptr : &defaulted);
    if (m <= 0 || defaulted) return false;
    out.assign(bytes, static_cast<std::size_t>(m));
    return true;
}

// Every single byte and every lead byte followed by any byte, trail byte or not.
TEST(GbkNames, GbkConvertsToUtf8AsWindowsCodePage936DoesEveryByteAndPair) {
    std::vector<std::string> texts;
    for (int byte = 0; byte <= 0xFF; ++byte) texts.push_back(std::string(1, static_cast<char>(byte)));
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) texts.push_back(Bytes(lead, trail));
    }
    int mapped = 0;
    for (const std::string& gbk : texts) {
        std::string windows, ours;
        const bool known = SystemConverts(936, CP_UTF8, gbk, windows);
        ASSERT_EQ(velkaron::GbkToUtf8(gbk, ours) == VKR_OK, known) << Hex(gbk);
        if (known) {
            EXPECT_EQ(ours, windows) << Hex(gbk);
        }
        mapped += known;
    }
    EXPECT_EQ(mapped, 128 + 1 + 126 * 190);
}

// Every character of the first plane but the surrogates: converted where Windows
// converts it without a stand-in to bytes that it converts back to that character, to
// the same bytes, and refused everywhere else (U+F8F5, which Windows gives FF for, too).
TEST(GbkNames, Utf8ConvertsToGbkExactlyWhereWindowsCodePage936TakesItBack) {
    int mapped = 0;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) continue;
        std::string utf8;
        const wchar_t wide = static_cast<wchar_t>(code);
        char bytes[4];
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
        ASSERT_GT(n, 0);
        utf8.assign(bytes, static_cast<std::size_t>(n));
        std::string windows, ours, back;
        const bool known =
            SystemConverts(CP_UTF8, 936, utf8, windows) && SystemConverts(936, CP_UTF8, windows, back) && back == utf8;
        ASSERT_EQ(velkaron::Utf8ToGbk(utf8, ours) == VKR_OK, known) << std::hex << code;
        if (known) {
            EXPECT_EQ(ours, windows) << std::hex << code;
        }
        mapped += known;
    }
    EXPECT_EQ(mapped, 128 + 1 + 126 * 190);
}
#endif

}  // namespace
