// A small packet reader for the tests: parses a packet and checks every rule of
// the format, so that every packet a test makes is checked whole.
#pragma once

#include <string>
#include <vector>

struct PacketEntry {
    bool folder = false;
    long long offset = 0;
    long long length = 0;
    std::string path;     // as stored: components joined by backslashes
    std::string content;  // a file's bytes
};

struct Packet {
    long long indexOffset = 0;
    long long indexLength = 0;
    std::string index;  // the index area as stored
    std::vector<PacketEntry> entries;
};

// Parses `bytes`; false with the first broken rule in `error` when it is not a valid packet.
bool ParsePacket(const std::string& bytes, Packet& packet, std::string& error);
// Reads and parses the packet at `path`, failing the current test when it is not valid.
Packet ReadValidPacket(const std::string& path);
// The relative paths of a packet's lines, in index order.
std::vector<std::string> PathsOf(const Packet& packet);
// The "#D"/"#F" lines of a packet's index in order, one string per line, without CR LF,
// e.g. "F 64 3 a.txt": handy for comparing whole indexes in tests.
std::vector<std::string> DescribeIndex(const Packet& packet);
