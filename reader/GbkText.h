// GBK names to UTF-8 and back by the library's own table of code page 936, as Windows
// maps it when asked to refuse what is ill-formed (the user-defined areas to the
// private-use characters Windows gives them, 80 to the euro sign, FF refused), so that
// a packet's names read the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkaron_reader {

// The table (GbkTable.cpp, written by scripts/make-gbk-table.py): the character of
// each double-byte code, lead bytes 81-FE row by row, trail bytes 40-7E and 80-FE in
// each row; and of the single byte 80. One to one: no two codes share a character.
constexpr std::size_t kGbkTrailsPerLead = 190;
constexpr std::size_t kGbkCodes = 126 * kGbkTrailsPerLead;
extern const std::uint16_t kGbkCharacters[kGbkCodes];
extern const std::uint16_t kGbkByte80;

// Decodes the well-formed UTF-8 character at `pos` of `text` (`size` bytes) into `code`
// and moves `pos` past it. False, `pos` unchanged, for a byte that begins none: a lone
// continuation byte, a cut sequence, an overlong form, a surrogate or past U+10FFFF.
bool NextUtf8(const char* text, std::size_t size, std::size_t& pos, std::uint32_t& code);

// Converts a whole text between GBK (code page 936) and UTF-8. False, with `out`
// unchanged and the offset of the first byte that is not well formed (or names a
// character the other encoding lacks) in `badAt`, when it cannot.
enum class TextDirection { GbkToUtf8, Utf8ToGbk };
bool ConvertText(const std::string& in, TextDirection direction, std::string& out, std::size_t& badAt);

}  // namespace velkaron_reader
