// Parsing and checking of packets for the tests.
#include "tests/support/PacketReader.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/MbText.h"
#include "tests/support/TestFs.h"

namespace {

const char kMagic[] = "Velkaron.Packet ";

// A signed 32-bit decimal as the writer makes them: digits, no sign, no leading zero.
bool ParseNumber(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 10) return false;
    if (text.size() > 1 && text[0] == '0') return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 2147483647LL;
}

bool ParseHeader(const std::string& bytes, Packet& packet, std::string& error) {
    if (bytes.size() < 64) return error = "packet shorter than its 64-byte header", false;
    std::string header = bytes.substr(0, 64);
    std::size_t crlf = header.find("\r\n");
    if (header.compare(0, sizeof kMagic - 1, kMagic) != 0) return error = "header lacks the magic word", false;
    if (crlf == std::string::npos) return error = "header line has no CR LF", false;
    for (std::size_t i = crlf + 2; i < 64; ++i) {
        if (header[i] != ' ') return error = "header padding is not all spaces", false;
    }
    std::string numbers = header.substr(sizeof kMagic - 1, crlf - (sizeof kMagic - 1));
    std::size_t space = numbers.find(' ');
    if (space == std::string::npos) return error = "header has one number", false;
    if (!ParseNumber(numbers.substr(0, space), packet.indexOffset) ||
        !ParseNumber(numbers.substr(space + 1), packet.indexLength)) {
        return error = "header numbers malformed", false;
    }
    if (packet.indexOffset < 64) return error = "index offset below 64", false;
    if (static_cast<long long>(bytes.size()) != packet.indexOffset + packet.indexLength) {
        return error = "packet size is not index offset plus index length", false;
    }
    return true;
}

// Components joined by single backslashes, none empty; a GBK trail byte 5C is no separator.
bool WellFormedPath(const std::string& path) {
    if (path.find('\r') != std::string::npos) return false;
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = FindChar(path, '\\', start);
        std::size_t end = sep == std::string::npos ? path.size() : sep;
        if (end == start) return false;
        if (sep == std::string::npos) return true;
        start = sep + 1;
    }
}

bool ParseLine(const std::string& line, PacketEntry& entry, std::string& error) {
    if (line.size() < 3 || line[0] != '#' || (line[1] != 'D' && line[1] != 'F') || line[2] != ',') {
        return error = "line does not start with #D, or #F,: " + line, false;
    }
    entry.folder = line[1] == 'D';
    std::size_t c1 = line.find(',', 3);
    std::size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
    if (c2 == std::string::npos) return error = "line has too few fields: " + line, false;
    if (!ParseNumber(line.substr(3, c1 - 3), entry.offset) ||
        !ParseNumber(line.substr(c1 + 1, c2 - c1 - 1), entry.length)) {
        return error = "line numbers malformed: " + line, false;
    }
    entry.path = line.substr(c2 + 1);
    if (entry.folder && entry.length != 0) return error = "folder line with a length: " + line, false;
    if (!WellFormedPath(entry.path)) return error = "malformed relative path: " + line, false;
    return true;
}

std::string ParentOf(const std::string& path) {
    std::size_t sep = FindLastChar(path, '\\');
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

// Directs entries of a folder come first, then each subfolder's contents in the order of its line.
bool CheckOrder(const Packet& packet, std::string& error) {
    std::map<std::string, std::vector<const PacketEntry*>> children;
    std::set<std::string> folders{""};
    for (const PacketEntry& e : packet.entries) {
        std::string parent = ParentOf(e.path);
        if (!folders.count(parent)) return error = "entry before its folder line: " + e.path, false;
        if (e.folder) folders.insert(e.path);
        children[parent].push_back(&e);
    }
    std::vector<const PacketEntry*> expected;
    // Depth first over folders, each folder's direct entries emitted together.
    struct Visit {
        std::map<std::string, std::vector<const PacketEntry*>>& children;
        std::vector<const PacketEntry*>& out;
        void operator()(const std::string& folder) {
            for (const PacketEntry* e : children[folder]) out.push_back(e);
            for (const PacketEntry* e : children[folder]) {
                if (e->folder) (*this)(e->path);
            }
        }
    };
    Visit{children, expected}("");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != &packet.entries[i]) return error = "line out of order: " + packet.entries[i].path, false;
    }
    return true;
}

}  // namespace

bool ParsePacket(const std::string& bytes, Packet& packet, std::string& error) {
    packet = Packet();
    if (!ParseHeader(bytes, packet, error)) return false;
    packet.index = bytes.substr(static_cast<std::size_t>(packet.indexOffset));
    if (!packet.index.empty() && packet.index.compare(packet.index.size() - 2, 2, "\r\n") != 0) {
        return error = "index does not end with CR LF", false;
    }
    std::size_t pos = 0;
    std::set<std::string> paths;
    long long nextFile = 64;
    while (pos < packet.index.size()) {
        std::size_t end = packet.index.find("\r\n", pos);
        PacketEntry entry;
        if (!ParseLine(packet.index.substr(pos, end - pos), entry, error)) return false;
        pos = end + 2;
        if (!paths.insert(entry.path).second) return error = "duplicate path: " + entry.path, false;
        if (!entry.folder) {
            if (entry.offset != nextFile) return error = "file offset not contiguous: " + entry.path, false;
            nextFile += entry.length;
            if (nextFile > packet.indexOffset) return error = "file data runs into the index: " + entry.path, false;
            entry.content = bytes.substr(static_cast<std::size_t>(entry.offset), static_cast<std::size_t>(entry.length));
        }
        packet.entries.push_back(entry);
    }
    if (nextFile != packet.indexOffset) return error = "data area length differs from the file lines", false;
    // A folder line carries the offset of the next file line after it, or the index offset.
    long long following = packet.indexOffset;
    for (auto it = packet.entries.rbegin(); it != packet.entries.rend(); ++it) {
        if (!it->folder) {
            following = it->offset;
        } else if (it->offset != following) {
            return error = "folder offset differs from the next file's: " + it->path, false;
        }
    }
    return CheckOrder(packet, error);
}

Packet ReadValidPacket(const std::string& path) {
    Packet packet;
    std::string error;
    if (!ParsePacket(ReadFileBytes(path), packet, error)) ADD_FAILURE() << path << ": " << error;
    return packet;
}

std::vector<std::string> PathsOf(const Packet& packet) {
    std::vector<std::string> paths;
    for (const PacketEntry& e : packet.entries) paths.push_back(e.path);
    return paths;
}

std::vector<std::string> DescribeIndex(const Packet& packet) {
    std::vector<std::string> lines;
    for (const PacketEntry& e : packet.entries) {
        lines.push_back(std::string(e.folder ? "D " : "F ") + std::to_string(e.offset) + " " +
                        std::to_string(e.length) + " " + e.path);
    }
    return lines;
}
