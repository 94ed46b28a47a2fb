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
// True for a listed name the index cannot hold as one component: off Windows a name
// may contain a backslash, which the index reads as a separator.
bool NameHoldsBackslash(const std::string& name);
