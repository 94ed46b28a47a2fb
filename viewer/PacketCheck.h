// Checking an open packet's contents: every file read to its end through the reader.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "viewer/PacketView.h"

// A damaged entry and what is wrong with it (Chinese, the reader's detail after it).
struct CheckProblem {
    std::size_t index;
    std::string reason;
};

// Reads every file of the packet; `progress(done, total)` is called every few files
// and stops the check when it returns false. The damaged entries, in index order.
std::vector<CheckProblem> CheckContents(const CPacketView& view,
                                        const std::function<bool(std::size_t done, std::size_t total)>& progress);
