// Formatting of the header and the index lines.
#include "packer/PacketFormat.h"

#include <cstdio>

namespace {
std::string FormatLine(char kind, int offset, int length, const std::string& relativePath) {
    char numbers[48];
    int n = std::snprintf(numbers, sizeof numbers, "#%c,%d,%d,", kind, offset, length);
    std::string line(numbers, static_cast<std::size_t>(n));
    line += relativePath;
    line += "\r\n";
    return line;
}
}  // namespace

std::string FormatPacketHeader(int indexOffset, int indexLength) {
    char line[kPacketHeaderSize + 1];
    int n = std::snprintf(line, sizeof line, "%s %d %d\r\n", kPacketMagic, indexOffset, indexLength);
    std::string header(line, static_cast<std::size_t>(n));
    header.resize(kPacketHeaderSize, ' ');
    return header;
}

std::string FormatFolderLine(int offset, const std::string& relativePath) {
    return FormatLine('D', offset, 0, relativePath);
}

std::string FormatFileLine(int offset, int length, const std::string& relativePath) {
    return FormatLine('F', offset, length, relativePath);
}
