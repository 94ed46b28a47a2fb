// Whole files and folder trees for the tests and the fuzzers.
#include "tests/support/TreeFiles.h"

#ifdef _WIN32
#include <windows.h>
#undef FindNextFile  // CFileFind's member keeps its plain name

#include <vector>
#else
#include <unistd.h>

#include <cstdio>
#endif

#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"

namespace {

void ReadInto(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>& tree) {
    CFileFind find;
    if (!find.FindFile(folder + kPathSep + "*.*")) return;
    while (find.FindNextFile()) {
        if (find.IsDots()) continue;
        std::string relative = prefix + find.GetFileName();
        std::string path = folder + kPathSep + find.GetFileName();
        if (find.IsDirectory()) {
            tree[relative + "/"] = "";
            ReadInto(path, relative + "/", tree);
        } else {
            tree[relative] = ReadFileBytes(path);
        }
    }
}

}  // namespace

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

std::map<std::string, std::string> ReadTree(const std::string& root) {
    std::map<std::string, std::string> tree;
    std::string folder = root;
    while (!folder.empty() && folder.back() == kPathSep) folder.pop_back();
    ReadInto(folder, "", tree);
    return tree;
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

bool MakeLinuxEntry(const std::string& folder, const std::string& name, bool isFolder) {
    std::string unixFolder = UnixPath(folder);
    if (unixFolder.empty()) return false;  // not Wine
    return RunUnix({isFolder ? "/usr/bin/mkdir" : "/usr/bin/touch", unixFolder + "/" + name});
}

bool ReplaceWithLink(const std::string& path, const std::string& target) {
    std::string from = UnixPath(path), to = UnixPath(target);
    return !from.empty() && !to.empty() && RunUnix({"/bin/mv", from, from + ".moved"}) &&
           RunUnix({"/bin/ln", "-s", to, from}) && PathExists(path + ".moved");
}

#else

bool MakeLinuxEntry(const std::string& folder, const std::string& name, bool isFolder) {
    const std::string path = WithOneTrailingChar(folder, kPathSep) + name;
    if (isFolder) return MakeDir(path);
    CFile file;
    return file.Open(path, CFile::modeCreateNew | CFile::modeWrite);
}

bool ReplaceWithLink(const std::string& path, const std::string& target) {
    return std::rename(path.c_str(), (path + ".moved").c_str()) == 0 && ::symlink(target.c_str(), path.c_str()) == 0;
}

#endif
