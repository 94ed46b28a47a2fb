// Comparing an open packet with a folder on disk, as the command line's verify with a
// source folder compares them, but listing every difference rather than the first.
// Runs on any thread; knows no window.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "viewer/PacketView.h"

// A way in which the packet and the folder differ: the entry's path as the window
// shows paths ("a\b.txt", UTF-8) and what differs, in Chinese.
struct FolderDifference {
    std::string path;
    std::string what;
};

// Compares the packet with `folder` (UTF-8, a full path): every entry against what the
// folder holds (missing, no folder or no plain file, unreadable, another length or
// content: the first differing byte), an entry below a folder that is missing looked
// at no further; then every entry of the folder below the folders both hold against
// the packet (not in the packet, with pack's reason where one shows). The packet file
// itself, lying in the folder, is no difference. `differences` in that order.
// `progress(done, total)` is asked every few entries and between pieces of a file;
// false stops the comparison, `stopped` set, the differences found so far kept.
// False with `error` (Chinese) when the folder is missing, is no folder or cannot be
// listed at all: nothing compared then.
bool CompareWithFolder(const CPacketView& view, const std::string& folder, std::vector<FolderDifference>& differences,
                       bool& stopped, std::string& error,
                       const std::function<bool(std::size_t done, std::size_t total)>& progress);
