// Packets made by hand for the browser's tests, and the texts they compare: names
// and messages from the browser's core are UTF-8 in every build, the test programs'
// own narrow literals GBK in the Windows ones.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestFs.h"

// One index line of a hand-made packet: a folder, or a file with its content.
struct ViewItem {
    std::string path;  // as stored: GBK names joined by backslashes
    bool folder;
    std::string content;
};
ViewItem Folder(const std::string& path);
ViewItem File(const std::string& path, const std::string& content);

// The packet of `items` in that order, offsets and header made to fit.
std::string PacketBytes(const std::vector<ViewItem>& items);
// Writes PacketBytes(items) to `path`.
void WritePacket(const std::string& path, const std::vector<ViewItem>& items);
// Replaces the file at `path` with its first `size` bytes, even while the reader has it
// open (the reader lets others write it).
void CutFile(const std::string& path, std::size_t size);

// Makes `items` as a real tree below the existing folder `root` (ending with a
// separator): each stored GBK path under its local name, a file with its content.
void WriteTree(const std::string& root, const std::vector<ViewItem>& items);

// A name in UTF-8 as this system's narrow functions see it: the same natively, the
// system's code page (936 in the tests) under Windows.
std::string LocalName(const std::string& utf8);
