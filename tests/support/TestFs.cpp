// Temporary folders and whole-file helpers for the tests.
#include "tests/support/TestFs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#ifdef _WIN32
#include <windows.h>

#include <vector>
#else
#include <cstdio>
#include <unistd.h>
#endif

#include "platform/File.h"

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

#ifdef _WIN32

namespace {

// The Unix path Wine keeps `path` under.
std::string UnixPath(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = n > 0 && toUnix != nullptr ? toUnix(wide.c_str()) : nullptr;
    if (unix == nullptr) return std::string();
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// Runs a Unix program to its end, as Wine's own tools do.
bool RunUnix(std::vector<std::string> args) {
    using Spawn = LONG(CDECL*)(char* const argv[], int wait);
    auto spawn = reinterpret_cast<Spawn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp")));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return spawn != nullptr && spawn(argv.data(), TRUE) == 0;
}

}  // namespace

bool ReplaceWithLink(const std::string& path, const std::string& target) {
    std::string from = UnixPath(path), to = UnixPath(target);
    return !from.empty() && !to.empty() && RunUnix({"/bin/mv", from, from + ".moved"}) &&
           RunUnix({"/bin/ln", "-s", to, from}) && PathExists(path + ".moved");
}

#else

bool ReplaceWithLink(const std::string& path, const std::string& target) {
    return std::rename(path.c_str(), (path + ".moved").c_str()) == 0 && ::symlink(target.c_str(), path.c_str()) == 0;
}

#endif
