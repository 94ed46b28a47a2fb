// Formatting of the header and the index lines.
#include "packer/PacketFormat.h"

#include <charconv>
#include <cstdio>

#include "platform/MbText.h"

// The same text as "#%c,%d,%d,%s%s\r\n", built without the cost of a format parser:
// one line is made for every entry of the tree.
void FormatIndexLine(std::string& line, char kind, int offset, int length, const std::string& folder,
                     const std::string& name) {
    char number[12];  // a signed 32-bit decimal
    line.clear();
    line.reserve(folder.size() + name.size() + 28);
    line += '#';
    line += kind;
    line += ',';
    line.append(number, std::to_chars(number, number + sizeof number, offset).ptr);
    line += ',';
    line.append(number, std::to_chars(number, number + sizeof number, length).ptr);
    line += ',';
    line += folder;
    line += name;
    line += "\r\n";
}

std::string FormatPacketHeader(int indexOffset, int indexLength) {
    char line[kPacketHeaderSize + 1];
    int n = std::snprintf(line, sizeof line, "%s %d %d\r\n", kPacketMagic, indexOffset, indexLength);
    std::string header(line, static_cast<std::size_t>(n));
    header.resize(kPacketHeaderSize, ' ');
    return header;
}

std::string FormatFolderLine(int offset, const std::string& relativePath) {
    std::string line;
    FormatIndexLine(line, 'D', offset, 0, std::string(), relativePath);
    return line;
}

std::string FormatFileLine(int offset, int length, const std::string& relativePath) {
    std::string line;
    FormatIndexLine(line, 'F', offset, length, std::string(), relativePath);
    return line;
}

bool NameHoldsBackslash(const std::string& name) {
    // The byte search first: a name without the byte needs no walk over its characters.
    return name.find('\\') != std::string::npos && FindChar(name, '\\') != std::string::npos;
}
