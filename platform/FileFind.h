// Folder listing: every entry of one folder, "." and ".." and hidden entries
// included, in the order the file system delivers them.
#pragma once

#include <string>

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts listing. `pattern` is a folder path, a separator and "*.*"; any number of
    // separators may stand before the "*.*". False when the folder cannot be listed
    // or has no entry at all.
    bool FindFile(const std::string& pattern);
    // Advances to the next entry; false when there is none left (the listing is then closed).
    bool FindNextFile();
    void Close();

    // About the current entry. A link to a folder counts as a folder.
    bool IsDirectory() const { return m_bDirectory; }
    bool IsDots() const { return m_strName == "." || m_strName == ".."; }
    const std::string& GetFileName() const { return m_strName; }
    // The folder part of the pattern followed by the entry's name.
    std::string GetFilePath() const { return m_strRoot + m_strName; }

private:
    std::string m_strRoot;  // the pattern without "*.*", ends with a separator
    std::string m_strName;
    bool m_bDirectory = false;
#ifdef _WIN32
    void* m_hFind = nullptr;
    bool m_bHaveFirst = false;  // FindFirstFileA's entry has not been handed out yet
#else
    void* m_pDir = nullptr;
#endif
};
