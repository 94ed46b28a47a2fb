// The temporary names every platform makes and recognises.
#include "platform/Leftovers.h"

#include <cstdlib>

#include "platform/FileSystem.h"

namespace {

const char kMark[] = ".velkaron-";
const char kEnd[] = ".tmp";

bool Digits(const std::string& text, std::size_t from, std::size_t to, bool hex) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (!(c >= '0' && c <= '9') && !(hex && c >= 'a' && c <= 'f')) return false;
    }
    return true;
}

}  // namespace

std::string TemporaryName(const std::string& stem, const std::string& tag) {
    return stem + kMark + std::to_string(ThisProcessId()) + "-" + tag + kEnd;
}

bool IsTemporaryName(const std::string& name, const std::string& stem, unsigned long& pid) {
    const std::size_t markSize = sizeof kMark - 1, endSize = sizeof kEnd - 1;
    std::size_t at = 0;
    if (!stem.empty() && name.compare(0, stem.size(), stem) == 0 &&
        name.compare(stem.size(), markSize, kMark) == 0) {
        at = stem.size();
    } else if (name.compare(0, markSize, kMark) != 0) {
        return false;
    }
    at += markSize;
    if (name.size() < at + endSize || name.compare(name.size() - endSize, endSize, kEnd) != 0) return false;
    const std::size_t end = name.size() - endSize;
    const std::size_t dash = name.find('-', at);
    if (dash == std::string::npos || dash >= end || !Digits(name, at, dash, false) ||
        !Digits(name, dash + 1, end, true) || dash - at > 10) {
        return false;
    }
    pid = std::strtoul(name.c_str() + at, nullptr, 10);
    return pid != 0;
}

bool IsLeftoverName(const std::string& name, const std::string& stem) {
    unsigned long pid = 0;
    return IsTemporaryName(name, stem, pid) && pid != ThisProcessId() && !ProcessRuns(pid);
}

int RemoveLeftoversBeside(const std::string& target) {
    const std::size_t folder = FolderPartLength(target);
    return RemoveLeftovers(target.substr(0, folder), target.substr(folder));
}
