// Whole files and folder trees for the tests and the fuzzers.
#include "tests/support/TreeFiles.h"

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
