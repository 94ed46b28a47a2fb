// Temporary folders and whole-file helpers for the tests.
#include "tests/support/TestFs.h"

#include <gtest/gtest.h>

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

std::string ReadFileBytes(const std::string& path) {
    CFile file;
    std::string bytes;
    if (!file.Open(path, CFile::modeRead)) return bytes;
    char buffer[65536];
    long long n;
    while ((n = file.Read(buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
}

void MakeDirs(const std::string& path) {
    for (std::size_t pos = FindChar(path, kPathSep, 1);; pos = FindChar(path, kPathSep, pos + 1)) {
        std::string part = path.substr(0, pos);
        if (!PathExists(part)) MakeDir(part);
        if (pos == std::string::npos) return;
    }
}

void RemoveTree(const std::string& path) {
    std::string folder = path;
    TrimRightChar(folder, kPathSep);
    if (folder.empty()) return;
    if (RemoveFile(folder)) return;
    CFileFind find;
    if (find.FindFile(folder + kPathSep + "*.*")) {
        while (find.FindNextFile()) {
            if (find.IsDots()) continue;
            std::string child = folder + kPathSep + find.GetFileName();
            // A link is removed as itself, never followed.
            if (!RemoveFile(child) && !RemoveDir(child)) RemoveTree(child);
        }
    }
    RemoveDir(folder);
}
