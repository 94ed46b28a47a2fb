// GBK to UTF-8 and back through the table of code page 936: a lead byte and its trail
// byte name a row and a place in it; the way back looks the character up among the
// codes sorted by character, an order built once a run beside the table.
#include "reader/GbkText.h"

#include <algorithm>

namespace velkaron_reader {

namespace {

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The place of trail byte `c` in its row; kGbkTrailsPerLead for a byte that is no trail.
std::size_t TrailPlace(unsigned char c) {
    if (c >= 0x40 && c <= 0x7E) return c - 0x40u;
    if (c >= 0x80 && c <= 0xFE) return c - 0x80u + 0x3Fu;
    return kGbkTrailsPerLead;
}

// The double-byte codes (places in kGbkCharacters) in order of their characters.
struct CharacterOrder {
    std::uint16_t codes[kGbkCodes];
    CharacterOrder() {
        for (std::size_t i = 0; i < kGbkCodes; ++i) codes[i] = static_cast<std::uint16_t>(i);
        std::sort(codes, codes + kGbkCodes,
                  [](std::uint16_t a, std::uint16_t b) { return kGbkCharacters[a] < kGbkCharacters[b]; });
    }
};

// The GBK bytes of `code` appended to `out`; false when code page 936 lacks it.
bool AppendGbk(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return true;
    }
    if (code == kGbkByte80) {
        out += '\x80';
        return true;
    }
    static const CharacterOrder order;  // made by the first thread here, the others wait for it
    const std::uint16_t* end = order.codes + kGbkCodes;
    const std::uint16_t* at = std::lower_bound(
        order.codes, end, code, [](std::uint16_t place, std::uint32_t c) { return kGbkCharacters[place] < c; });
    if (at == end || kGbkCharacters[*at] != code) return false;
    const std::size_t trail = *at % kGbkTrailsPerLead;
    out += static_cast<char>(0x81 + *at / kGbkTrailsPerLead);
    out += static_cast<char>(trail < 0x3F ? 0x40 + trail : 0x80 + trail - 0x3F);
    return true;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {  // code page 936 has nothing beyond the first plane
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Converts the GBK character at `pos` of `in` to UTF-8 in `out` and moves `pos` past
// it; false, `pos` unchanged, for a lead byte without its trail byte and for FF.
bool GbkCharToUtf8(const std::string& in, std::size_t& pos, std::string& out) {
    const unsigned char c = static_cast<unsigned char>(in[pos]);
    if (c == 0xFF) return false;
    if (!IsLead(c)) {
        AppendUtf8(c < 0x80 ? c : kGbkByte80, out);
        ++pos;
        return true;
    }
    const std::size_t place =
        pos + 1 < in.size() ? TrailPlace(static_cast<unsigned char>(in[pos + 1])) : kGbkTrailsPerLead;
    if (place == kGbkTrailsPerLead) return false;
    AppendUtf8(kGbkCharacters[(c - 0x81u) * kGbkTrailsPerLead + place], out);
    pos += 2;
    return true;
}

// Converts the UTF-8 character at `pos` of `in` to GBK in `out` and moves `pos` past
// it; false for one that is not well formed or that code page 936 lacks (`pos` then
// anywhere).
bool Utf8CharToGbk(const std::string& in, std::size_t& pos, std::string& out) {
    std::uint32_t code = 0;
    return NextUtf8(in.data(), in.size(), pos, code) && AppendGbk(code, out);
}

}  // namespace

bool NextUtf8(const char* text, std::size_t size, std::size_t& pos, std::uint32_t& code) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text) + pos;
    const unsigned c = p[0];
    const std::size_t more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2
                                                                    : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
    if (more == 4 || pos + more >= size) return false;
    std::uint32_t value = more == 0 ? c : c & (0x3Fu >> more);
    for (std::size_t i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80) return false;
        value = value << 6 | (p[i] & 0x3F);
    }
    if ((more == 2 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (more == 3 && (value < 0x10000 || value > 0x10FFFF))) {
        return false;
    }
    code = value;
    pos += more + 1;
    return true;
}

bool ConvertText(const std::string& in, TextDirection direction, std::string& out, std::size_t& badAt) {
    const auto convertChar = direction == TextDirection::GbkToUtf8 ? GbkCharToUtf8 : Utf8CharToGbk;
    std::string result;
    result.reserve(in.size() + in.size() / 2);
    for (std::size_t pos = 0; pos < in.size();) {
        const std::size_t start = pos;
        if (!convertChar(in, pos, result)) {
            badAt = start;
            return false;
        }
    }
    out = std::move(result);
    return true;
}

}  // namespace velkaron_reader
