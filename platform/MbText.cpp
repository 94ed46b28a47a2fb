// Character-aware searches and trims over the process's multibyte code page.
#include "platform/MbText.h"

namespace {

// Length in bytes of the character starting at `pos`.
std::size_t CharLength(const std::string& text, std::size_t pos) {
    if (IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) return 2;
    return 1;
}

}  // namespace

std::size_t FindChar(const std::string& text, char ch, std::size_t start) {
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) {
        if (pos >= start && text[pos] == ch) return pos;
    }
    return std::string::npos;
}

std::size_t FindLastChar(const std::string& text, char ch) {
    std::size_t found = std::string::npos;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) {
        if (text[pos] == ch) found = pos;
    }
    return found;
}

void TrimRightChar(std::string& text, char ch) {
    // The text ends after the last character that is not `ch`.
    std::size_t keep = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t len = CharLength(text, pos);
        if (len > 1 || text[pos] != ch) keep = pos + len;
        pos += len;
    }
    text.resize(keep);
}

std::string WithOneTrailingChar(std::string text, char ch) {
    TrimRightChar(text, ch);
    text += ch;
    return text;
}

void TrimLeftChar(std::string& text, char ch) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ch) ++pos;  // `ch` is ASCII: never a lead byte
    text.erase(0, pos);
}
