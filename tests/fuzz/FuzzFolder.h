// The private folder of one fuzzing process: made under the temporary folder and
// entered as the current folder, so that every path a run opens is short to look up;
// removed with everything in it when the process ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/FileSystem.h"
#include "tests/support/TreeFiles.h"

class CFuzzFolder {
public:
    explicit CFuzzFolder(const std::string& name)
        : m_strPath(GetTempFolder() + name + "-" + std::to_string(::getpid())) {
        if (!MakeDir(m_strPath) || ::chdir(m_strPath.c_str()) != 0) {
            std::fprintf(stderr, "fuzz: cannot make and enter %s\n", m_strPath.c_str());
            std::abort();
        }
    }
    ~CFuzzFolder() {
        if (::chdir("..") == 0) RemoveTree(m_strPath);
    }
    CFuzzFolder(const CFuzzFolder&) = delete;
    CFuzzFolder& operator=(const CFuzzFolder&) = delete;

private:
    std::string m_strPath;
};
