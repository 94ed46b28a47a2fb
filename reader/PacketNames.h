// How the reader takes paths apart: which bytes begin a double-byte character (so
// that a trail byte 5C is never a separator), the components of a path as programs
// write it, and the key under which names compare with their letters' case ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkaron_reader {

// How the double-byte characters of stored paths are told apart: by the system's ANSI
// code page (none off Windows), or as GBK whatever the system uses.
enum class NameCoding { Local, Gbk };

// A coding's bytes, looked up rather than asked of the system byte by byte.
struct CodePage {
    bool lead[256];   // begins a double-byte character
    bool trail[256];  // may stand second in one (GBK: 40-7E and 80-FE)
    bool stop[256];   // a lead byte, NUL, "/" or "\": where a scan of a path must look closer
};
// The table of `coding`, made once a run.
const CodePage& PageOf(NameCoding coding);

// True when byte `c` begins a double-byte character in `coding`.
inline bool IsLeadByteIn(unsigned char c, NameCoding coding) { return PageOf(coding).lead[c]; }
// True when byte `c` may stand second in a double-byte character of `coding`.
inline bool IsTrailByteIn(unsigned char c, NameCoding coding) { return PageOf(coding).trail[c]; }
// Bytes of the character at `pos` of `text` (`size` bytes): 2 for a lead byte and its
// trail byte, else 1.
inline std::size_t CharLength(const char* text, std::size_t size, std::size_t pos, const CodePage& page) {
    return page.lead[static_cast<unsigned char>(text[pos])] && pos + 1 < size &&
                   page.trail[static_cast<unsigned char>(text[pos + 1])]
               ? 2
               : 1;
}

// Scans of ASCII paths eight bytes at a time, where the machine is little-endian and
// the compiler GCC's kind (it counts trailing zero bits): byte masks of a word.
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define VELKARON_READER_WORDS 1
#endif
constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kSlashes = 0x2F2F2F2F2F2F2F2FULL;
constexpr std::uint64_t kBackslashes = 0x5C5C5C5C5C5C5C5CULL;
// 0x80 in each byte of `word` that is zero, and nothing else (for bytes below 0x80).
inline std::uint64_t ZeroBytes(std::uint64_t word) { return ~(((word & kLowBits) + kLowBits) | word | kLowBits); }

// The next component of `path` (`size` bytes) at or after byte `start`: separators
// ("/" and "\", whole characters) are skipped, `start` set to its first byte and
// `length` to its bytes. False, `start` at the end and `length` 0, when only
// separators remain.
bool NextComponent(const char* path, std::size_t size, NameCoding coding, std::size_t& start, std::size_t& length);
// `path` as the index would store it, written to `out` (room for `size` + 1 bytes),
// its length returned: its components joined by "\", empty and "." ones left out
// ("./data//a/" is "data\a").
std::size_t StoredForm(const char* path, std::size_t size, NameCoding coding, char* out);
// The same, made faster for the paths lookups mostly get: the stored form's bytes (in
// `out`) and, in `length`, their number.
const char* LookupForm(const char* path, std::size_t size, NameCoding coding, char* out, std::size_t& length);

// The key under which `path` compares with its letters' case ignored, as Windows
// compares file names: in a GBK text ASCII letters and the double-byte fullwidth
// Latin, Greek and Cyrillic letters and Roman numerals upper-cased; in the local
// encoding on Windows each UTF-16 unit upper-cased by the system's own table, off
// Windows ASCII letters. False (no key) for a local text the system cannot read.
bool FoldedKey(const std::string& path, NameCoding coding, std::string& key);

}  // namespace velkaron_reader
