// The private folder of one fuzzing process, made under the temporary folder (which
// scripts/fuzz.sh puts in memory) and removed with everything in it when the process ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "tests/support/TreeFiles.h"

class CFuzzFolder {
public:
    explicit CFuzzFolder(const std::string& name)
        : m_strPath(GetTempFolder() + name + "-" + std::to_string(::getpid()) + kPathSep) {
        if (!MakeDir(m_strPath)) {
            std::fprintf(stderr, "fuzz: cannot make %s\n", m_strPath.c_str());
            std::abort();
        }
    }
    ~CFuzzFolder() { RemoveTree(m_strPath); }
    CFuzzFolder(const CFuzzFolder&) = delete;
    CFuzzFolder& operator=(const CFuzzFolder&) = delete;

    // The path of `name` in the folder.
    std::string operator/(const std::string& name) const { return m_strPath + name; }

private:
    std::string m_strPath;  // ends with a separator
};
