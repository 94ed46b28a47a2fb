// Paths as programs write them and names compared as Windows compares them.
#include "reader/PacketNames.h"

#include "reader/platform/PacketFile.h"

namespace velkaron_reader {

bool IsLeadByteIn(unsigned char c, NameCoding coding) {
    return coding == NameCoding::Gbk ? (c >= 0x81 && c <= 0xFE) : IsLocalLeadByte(c);
}

bool IsTrailByteIn(unsigned char c, NameCoding coding) {
    return coding == NameCoding::Gbk ? (c >= 0x40 && c <= 0xFE && c != 0x7F) : IsLocalTrailByte(c);
}

std::size_t CharLength(const char* text, std::size_t size, std::size_t pos, NameCoding coding) {
    return IsLeadByteIn(static_cast<unsigned char>(text[pos]), coding) && pos + 1 < size &&
                   IsTrailByteIn(static_cast<unsigned char>(text[pos + 1]), coding)
               ? 2
               : 1;
}

namespace {

bool IsSeparatorAt(const char* text, std::size_t size, std::size_t pos, NameCoding coding) {
    return (text[pos] == '\\' || text[pos] == '/') && CharLength(text, size, pos, coding) == 1;
}

// A GBK text's letters upper-cased where Windows' comparison of names has an upper
// case for them in code page 936 too: ASCII, and rows A3 (fullwidth Latin), A6
// (Greek), A7 (Cyrillic) and A2 (Roman numerals, small ones at A1-AA, capitals at F1).
void FoldGbk(std::string& text) {
    for (std::size_t pos = 0; pos < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        if (CharLength(text.data(), text.size(), pos, NameCoding::Gbk) == 2) {
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
    std::size_t pos = start;
    while (pos < size && IsSeparatorAt(path, size, pos, coding)) ++pos;
    std::size_t end = pos;
    while (end < size && !IsSeparatorAt(path, size, end, coding)) end += CharLength(path, size, end, coding);
    start = pos;
    length = end - pos;
    return length > 0;
}

void StoredForm(const char* path, std::size_t size, NameCoding coding, std::string& stored) {
    stored.clear();
    std::size_t start = 0, length = 0;
    for (; NextComponent(path, size, coding, start, length); start += length) {
        if (length == 1 && path[start] == '.') continue;
        if (!stored.empty()) stored += '\\';
        stored.append(path + start, length);
    }
}

bool IsStoredForm(const char* path, std::size_t size, NameCoding coding) {
    std::size_t start = 0, length = 0, expected = 0;
    for (; NextComponent(path, size, coding, start, length); start += length) {
        // Each name where the one before it ended and one backslash followed it, none a ".".
        if (start != expected || (length == 1 && path[start] == '.')) return false;
        if (start + length < size && path[start + length] != '\\') return false;
        expected = start + length + 1;
    }
    return expected == size + 1;
}

bool FoldedKey(const std::string& path, NameCoding coding, std::string& key) {
    if (coding == NameCoding::Local) return FoldLocalName(path, key);
    key = path;
    FoldGbk(key);
    return true;
}

}  // namespace velkaron_reader
