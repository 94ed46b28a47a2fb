// CFile's temporary files: a file with no name where the system makes one, else fresh
// names tried one after another, each created exclusively.
#include "platform/File.h"

#include <cstdio>
#include <random>

#include "platform/FileSystem.h"
#include "platform/Leftovers.h"
#include "platform/MbText.h"

std::size_t FolderPartLength(const std::string& path) {
    std::size_t sep = FindLastChar(path, kPathSep);
#ifdef _WIN32
    std::size_t slash = path.rfind('/');  // no trail byte of the code page is a slash
    if (slash != std::string::npos && (sep == std::string::npos || slash > sep)) sep = slash;
#endif
    return sep == std::string::npos ? 0 : sep + 1;
}

std::string TempNameBeside(const std::string& target) {
    std::random_device random;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
    std::string path = TemporaryName(target, hex);
    if (PathFitsSystem(path)) return path;
    // The name is as long as the system allows, or the path is: a short one beside it,
    // and where even that is too long, the digits alone.
    const std::string folder = target.substr(0, FolderPartLength(target));
    path = TemporaryName(folder, hex);
    return PathFitsSystem(path) ? path : folder + hex;
}

CFile::TempResult CFile::OpenTempBeside(const std::string& target, std::string& path, unsigned extraFlags) {
    if (extraFlags & modeUnnamed) {
        const std::size_t folder = FolderPartLength(target);
        if (OpenUnnamedIn(folder > 0 ? target.substr(0, folder) : std::string("."),
                          extraFlags & (modeReadWrite | modeTemporary | shareExclusive))) {
            path.clear();
            TakeModeOf(target);
            return TempResult::Opened;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = TempNameBeside(target);
        if (Open(path, modeCreateNew | modeWrite | (extraFlags & ~modeUnnamed))) {
            TakeModeOf(target);
            return TempResult::Opened;
        }
        if (m_lastError == OpenError::Denied) return TempResult::NotAllowed;
        if (m_lastError != OpenError::Exists) return TempResult::Failed;
    }
    return TempResult::Failed;
}
