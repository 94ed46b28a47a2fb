// Temporary folders and whole-file helpers for the tests.
#include "tests/support/TestFs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>

#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/MbText.h"

std::string NativePath(const std::string& relative) {
    std::string path = relative;
    for (char& c : path) {
        if (c == '/') c = kPathSep;
    }
    return path;
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_path = GetTempFolder() + "velkaron-test-" + std::to_string(rd()) + "-" + std::to_string(stamp % 100000) +
                 "-" + std::to_string(counter++);
        if (MakeDir(m_path)) {
            m_path += kPathSep;
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temporary folder";
}

TempDir::~TempDir() { RemoveTree(m_path); }

std::string TempDir::operator/(const std::string& relative) const { return m_path + NativePath(relative); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite)) << path;
    ASSERT_TRUE(file.Write(bytes.data(), bytes.size())) << path;
    ASSERT_TRUE(file.Close());
}

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    CFileFind find;
    if (find.FindFile(WithOneTrailingChar(folder, kPathSep) + "*.*")) {
        while (find.FindNextFile()) {
            if (!find.IsDots()) names.push_back(find.GetFileName());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
