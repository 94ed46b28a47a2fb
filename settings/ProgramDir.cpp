// Finding the program's own folder.
#include "settings/ProgramDir.h"

#include "platform/FileSystem.h"
#include "platform/MbText.h"

std::string ProgramDirOf(const std::string& modulePath) {
    std::size_t sep = FindLastChar(modulePath, kPathSep);
    if (sep == std::string::npos) return modulePath;
    return modulePath.substr(0, sep + 1);
}

bool GetProgramDir(std::string& strDir) {
    strDir = ProgramDirOf(GetModulePath());
    return true;
}
