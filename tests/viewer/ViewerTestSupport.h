// Packets made by hand for the browser's tests, and the texts they compare: names
// and messages from the browser's core are UTF-8 in every build, the test programs'
// own narrow literals GBK in the Windows ones.
#pragma once

#include <string>
#include <vector>

#include "tests/cli/CliTestSupport.h"
#include "tests/support/TestFs.h"

// One index line of a hand-made packet (the command line tests' own), paths GBK.
using ViewItem = PacketItem;
ViewItem Folder(const std::string& path);
ViewItem File(const std::string& path, const std::string& content);

// Writes MakePacket(items) to `path`.
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
