// Folder listing: every entry of one folder, "." and ".." and hidden entries
// included, in the order the file system delivers them.
#pragma once

#include <cstdint>
#include <string>

// What a listed entry is, as the listing tells it (links followed).
enum class EntryKind { File, Folder, Other };  // Other: FIFOs, sockets, devices

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
    // As FindFile, the pattern and every name listed in UTF-8, for a program whose names
    // need not fit the code page: on Windows through the wide API, IsNameExact false for
    // a name UTF-8 cannot hold (a lone surrogate); elsewhere the file system's bytes.
    bool FindFileUtf8(const std::string& pattern);
    // Advances to the next entry; false when there is none left (the listing is then closed).
    bool FindNextFile();
    void Close();

    // About the current entry. A link to a folder counts as a folder. The kind comes
    // from the listing itself, or from a look at the entry that opens nothing; an
    // entry that cannot be looked at (a dangling link) counts as a file.
    bool IsDirectory() const { return m_kind == EntryKind::Folder; }
    EntryKind GetKind() const { return m_kind; }
    // The inode number the listing gives an entry it calls a plain file itself (no link,
    // nothing looked at); 0 for any other entry, and always on Windows.
    std::uint64_t GetListedInode() const { return m_nInode; }
    // False when the name given stands for no file: on Windows, the ANSI code page
    // cannot hold some character of the real name, or it holds a "?" (which no
    // Windows name can). Always true elsewhere.
    bool IsNameExact() const { return m_bNameExact; }
    bool IsDots() const { return m_strName == "." || m_strName == ".."; }
    const std::string& GetFileName() const { return m_strName; }
    // The folder part of the pattern followed by the entry's name.
    std::string GetFilePath() const { return m_strRoot + m_strName; }

private:
    std::string m_strRoot;  // the pattern without "*.*", ends with a separator
    std::string m_strName;
    EntryKind m_kind = EntryKind::File;
    std::uint64_t m_nInode = 0;
    bool m_bNameExact = true;
#ifdef _WIN32
    bool Start(const wchar_t* widePattern, const std::string& pattern);
    void Take(const void* found);  // the entry a WIN32_FIND_DATAW describes
    bool m_bUtf8 = false;          // names given in UTF-8, not the code page
    void* m_hFind = nullptr;
    bool m_bHaveFirst = false;  // FindFirstFileW's entry has not been handed out yet
#else
    void* m_pDir = nullptr;
#endif
};
