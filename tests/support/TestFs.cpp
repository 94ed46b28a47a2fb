// Temporary folders and whole-file helpers for the tests.
#include "tests/support/TestFs.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#undef FindNextFile  // CFileFind's member keeps its plain name
#endif

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

#ifdef _WIN32
bool MakeLinuxEntry(const std::string& folder, const std::string& name, bool isFolder) {
    // Wine's own: the Linux path of a Windows one, and a Linux program run to its end.
    using UnixFileName = char*(CDECL*)(const WCHAR*);
    using UnixSpawn = LONG(WINAPI*)(char* const* argv, int wait);
    auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    auto spawn = reinterpret_cast<UnixSpawn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll"), "__wine_unix_spawnvp")));
    wchar_t wide[MAX_PATH];
    char* unixFolder = nullptr;
    if (toUnix == nullptr || spawn == nullptr ||
        ::MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wide, MAX_PATH) == 0 ||
        (unixFolder = toUnix(wide)) == nullptr) {
        return false;  // not Wine
    }
    std::string program = isFolder ? "/usr/bin/mkdir" : "/usr/bin/touch";
    std::string path = std::string(unixFolder) + "/" + name;
    ::HeapFree(::GetProcessHeap(), 0, unixFolder);
    char* const argv[] = {&program[0], &path[0], nullptr};
    return spawn(argv, TRUE) == 0;
}
#else
bool MakeLinuxEntry(const std::string& folder, const std::string& name, bool isFolder) {
    const std::string path = WithOneTrailingChar(folder, kPathSep) + name;
    if (isFolder) return MakeDir(path);
    CFile file;
    return file.Open(path, CFile::modeCreateNew | CFile::modeWrite);
}
#endif
