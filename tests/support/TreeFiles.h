// Whole files and folder trees read, made and removed through the platform layer,
// for the tests and the fuzzers alike (nothing here needs GoogleTest).
#pragma once

#include <map>
#include <string>

// Reads the whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Makes every folder of `path` that is missing.
void MakeDirs(const std::string& path);
// Deletes the file or folder tree at `path`; links are removed as themselves.
void RemoveTree(const std::string& path);
// Every folder and file below `root` by relative path ("/"-joined, a folder's ending
// in "/"): "" for a folder, the content for a file. Links are followed.
std::map<std::string, std::string> ReadTree(const std::string& root);
// Moves `path` aside (to `path` + ".moved") and puts a link to `target` in its place,
// as another program on the machine would: natively by rename and symlink, under Wine
// through the Unix tools, which no Windows sharing rule holds back. False when it cannot.
bool ReplaceWithLink(const std::string& path, const std::string& target);
// Makes the folder or empty file `name` (UTF-8; a "/" separates folders) in `folder`
// as Linux itself names it, where a name may hold what no Windows name can (a
// backslash, a colon, characters outside the ANSI code page): directly on Linux,
// under Wine through Linux's own mkdir and touch. False when it cannot (Windows).
bool MakeLinuxEntry(const std::string& folder, const std::string& name, bool isFolder);
