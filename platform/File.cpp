// CFile's temporary files: fresh names tried one after another, each created exclusively.
#include "platform/File.h"

#include <cstdio>
#include <random>

CFile::TempResult CFile::OpenTempBeside(const std::string& target, std::string& path, unsigned extraFlags) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        path = target + suffix;
        if (Open(path, modeCreateNew | modeWrite | extraFlags)) {
            TakeModeOf(target);
            return TempResult::Opened;
        }
        if (m_lastError == OpenError::Denied) return TempResult::NotAllowed;
        if (m_lastError != OpenError::Exists) return TempResult::Failed;
    }
    return TempResult::Failed;
}
