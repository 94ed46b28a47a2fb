// The packet format: a 64-byte text header, the data area, then the index of
// "#D" folder and "#F" file lines. Every number is a signed 32-bit decimal.
#pragma once

#include <string>

constexpr int kPacketHeaderSize = 64;
constexpr char kPacketMagic[] = "Velkaron.Packet";
constexpr long long kPacketMaxNumber = 2147483647;  // largest offset or length a packet can state

// The 64-byte header for an index at `indexOffset` (64 + data length) of `indexLength` bytes.
std::string FormatPacketHeader(int indexOffset, int indexLength);
// One index line: "#D,offset,0,path\r\n" for a folder, "#F,offset,length,path\r\n" for a file.
std::string FormatFolderLine(int offset, const std::string& relativePath);
std::string FormatFileLine(int offset, int length, const std::string& relativePath);
// Makes `line` the index line of kind 'D' or 'F' whose path is `folder` (empty, or ending
// with a backslash) followed by `name`; the string's room is kept from line to line.
void FormatIndexLine(std::string& line, char kind, int offset, int length, const std::string& folder,
                     const std::string& name);
// True for a listed name the index cannot hold as one component: it contains a
// backslash (a whole character), which the index reads as a separator. Off Windows
// any name may; under Wine a Linux name reaches the Windows build with its own.
bool NameHoldsBackslash(const std::string& name);
// True for a relative path that readers take for an absolute one: it begins with a
// backslash, or with an ASCII letter and a colon ("c:d" is a name on a POSIX file
// system, and under Wine). Readers refuse such a line, so the job leaves such an
// entry out: what pack writes, verify accepts. Inline, so that the reader library
// shares the rule without linking the packer.
inline bool PathLooksAbsolute(const std::string& relativePath) {
    if (relativePath.empty()) return false;
    const char c = relativePath[0];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return c == '\\' || (letter && relativePath.size() >= 2 && relativePath[1] == ':');
}
