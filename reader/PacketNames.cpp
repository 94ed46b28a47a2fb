// Paths as programs write them and names compared as Windows compares them.
#include "reader/PacketNames.h"

#include <cstdint>
#include <cstring>

#include "reader/platform/PacketFile.h"

namespace velkaron_reader {

namespace {

CodePage MakePage(NameCoding coding) {
    CodePage page;
    for (int c = 0; c < 256; ++c) {
        const unsigned char byte = static_cast<unsigned char>(c);
        page.lead[c] = coding == NameCoding::Gbk ? byte >= 0x81 && byte <= 0xFE : IsLocalLeadByte(byte);
        page.trail[c] = coding == NameCoding::Gbk ? byte >= 0x40 && byte <= 0xFE && byte != 0x7F : IsLocalTrailByte(byte);
        page.stop[c] = page.lead[c] || byte == 0 || byte == '/' || byte == '\\';
    }
    return page;
}

}  // namespace

const CodePage& PageOf(NameCoding coding) {
    static const CodePage gbk = MakePage(NameCoding::Gbk);
    static const CodePage local = MakePage(NameCoding::Local);
    return coding == NameCoding::Gbk ? gbk : local;
}

namespace {

bool IsSeparatorAt(const char* text, std::size_t size, std::size_t pos, const CodePage& page) {
    return (text[pos] == '\\' || text[pos] == '/') && CharLength(text, size, pos, page) == 1;
}

// A GBK text's letters upper-cased where Windows' comparison of names has an upper
// case for them in code page 936 too: ASCII, and rows A3 (fullwidth Latin), A6
// (Greek), A7 (Cyrillic) and A2 (Roman numerals, small ones at A1-AA, capitals at F1).
void FoldGbk(std::string& text) {
    const CodePage& page = PageOf(NameCoding::Gbk);
    for (std::size_t pos = 0; pos < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        if (CharLength(text.data(), text.size(), pos, page) == 2) {
            unsigned char t = static_cast<unsigned char>(text[pos + 1]);
            if (c == 0xA3 && t >= 0xE1 && t <= 0xFA) t -= 0x20;
            if (c == 0xA6 && t >= 0xC1 && t <= 0xD8) t -= 0x20;
            if (c == 0xA7 && t >= 0xD1 && t <= 0xF1) t -= 0x30;
            if (c == 0xA2 && t >= 0xA1 && t <= 0xAA) t += 0x50;
            text[pos + 1] = static_cast<char>(t);
            pos += 2;
            continue;
        }
        if (c >= 'a' && c <= 'z') text[pos] = static_cast<char>(c - 'a' + 'A');
        ++pos;
    }
}

}  // namespace

bool NextComponent(const char* path, std::size_t size, NameCoding coding, std::size_t& start, std::size_t& length) {
    const CodePage& page = PageOf(coding);
    std::size_t pos = start;
    while (pos < size && IsSeparatorAt(path, size, pos, page)) ++pos;
    std::size_t end = pos;
    while (end < size && !IsSeparatorAt(path, size, end, page)) end += CharLength(path, size, end, page);
    start = pos;
    length = end - pos;
    return length > 0;
}

std::size_t StoredForm(const char* path, std::size_t size, NameCoding coding, char* out) {
    const CodePage& page = PageOf(coding);
    std::size_t written = 0, name = 0;  // `name`: where the name being copied begins in `out`
    for (std::size_t pos = 0; pos <= size; ++pos) {
        const char c = pos < size ? path[pos] : '/';  // a separator after the last name
        if (c != '\\' && c != '/') {
            out[written++] = c;
            if (page.lead[static_cast<unsigned char>(c)] && pos + 1 < size &&
                page.trail[static_cast<unsigned char>(path[pos + 1])]) {
                out[written++] = path[++pos];
            }
        } else if (written - name == 1 && out[name] == '.') {
            written = name;  // a "." name is left out
        } else if (written > name) {
            out[written++] = '\\';
            name = written;
        }
    }
    return written > 0 ? written - 1 : 0;  // without the separator after the last name
}

namespace {

// True when the name of `path` from `begin` to `end` is neither empty nor ".".
bool IsPlainName(const char* path, std::size_t begin, std::size_t end) {
    return end > begin && !(end == begin + 1 && path[begin] == '.');
}

}  // namespace

// An ASCII path whose names are neither empty nor "." is its own stored form but for
// its slashes: it is copied eight bytes at a time, its slashes turned and its names
// checked at the separators alone. Anything else takes StoredForm's way.
const char* LookupForm(const char* path, std::size_t size, NameCoding coding, char* out, std::size_t& length) {
    std::size_t name = 0, pos = 0;  // `name`: where the name being scanned begins
    bool simple = true;
#ifdef VELKARON_READER_WORDS
    for (; pos + 8 <= size && simple; pos += 8) {
        std::uint64_t word;
        std::memcpy(&word, path + pos, sizeof word);
        if (word & ~kLowBits) {
            simple = false;  // a byte that may begin a double-byte character
            break;
        }
        const std::uint64_t slashes = ZeroBytes(word ^ kSlashes);
        for (std::uint64_t found = slashes | ZeroBytes(word ^ kBackslashes); found != 0; found &= found - 1) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctzll(found)) / 8;
            simple = simple && IsPlainName(path, name, at);
            name = at + 1;
        }
        word ^= (slashes >> 7) * ('/' ^ '\\');  // each "/" a "\\"
        std::memcpy(out + pos, &word, sizeof word);
    }
#endif
    for (; pos < size && simple; ++pos) {
        char c = path[pos];
        if (static_cast<unsigned char>(c) & 0x80) {
            simple = false;
        } else if (c == '/' || c == '\\') {
            simple = IsPlainName(path, name, pos);
            name = pos + 1;
            c = '\\';
        }
        out[pos] = c;
    }
    if (simple && IsPlainName(path, name, size)) {
        length = size;
        return out;
    }
    length = StoredForm(path, size, coding, out);
    return out;
}

bool FoldedKey(const std::string& path, NameCoding coding, std::string& key) {
    if (coding == NameCoding::Local) return FoldLocalName(path, key);
    key = path;
    FoldGbk(key);
    return true;
}

}  // namespace velkaron_reader
