// Real folder trees in temporary folders for the tests, built through the platform layer.
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "tests/support/TreeFiles.h"

// A fresh, uniquely named folder under the temporary folder, removed with
// everything below it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's path, ending with a separator.
    const std::string& Path() const { return m_path; }
    // Path() followed by `relative`, whose "/" are turned into the platform's separator.
    std::string operator/(const std::string& relative) const;

private:
    std::string m_path;
};

// Turns the "/" of a relative test path into the platform's separator.
std::string NativePath(const std::string& relative);
// Writes `bytes` to `path` (created or truncated); fails the test when it cannot.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The names in `folder`, sorted, without "." and "..".
std::vector<std::string> NamesIn(const std::string& folder);
