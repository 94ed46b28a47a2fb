// CFileFind on opendir/readdir. Every entry matches: the "*.*" of the pattern
// only marks where the folder part ends.
#include "platform/FileFind.h"

#include <dirent.h>
#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "platform/MbText.h"

namespace {
DIR* D(void* p) { return static_cast<DIR*>(p); }

std::string FolderOfPattern(const std::string& pattern) {
    std::string root = pattern;
    if (root.size() >= 3 && root.compare(root.size() - 3, 3, "*.*") == 0) root.resize(root.size() - 3);
    return WithOneTrailingChar(root, kPathSep);
}
}  // namespace

CFileFind::~CFileFind() { Close(); }

bool CFileFind::FindFile(const std::string& pattern) {
    Close();
    m_strRoot = FolderOfPattern(pattern);
    m_pDir = ::opendir(m_strRoot.c_str());
    return m_pDir != nullptr;
}

bool CFileFind::FindFileUtf8(const std::string& pattern) { return FindFile(pattern); }

bool CFileFind::FindNextFile() {
    if (m_pDir == nullptr) return false;
    struct dirent* entry = ::readdir(D(m_pDir));
    if (entry == nullptr) {
        Close();
        return false;
    }
    m_strName = entry->d_name;
    m_nInode = entry->d_type == DT_REG ? static_cast<std::uint64_t>(entry->d_ino) : 0;
    switch (entry->d_type) {
        case DT_DIR: m_kind = EntryKind::Folder; break;
        case DT_REG: m_kind = EntryKind::File; break;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat st;
            if (::stat(GetFilePath().c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
                m_kind = EntryKind::File;
            } else {
                m_kind = S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Other;
            }
            break;
        }
        default: m_kind = EntryKind::Other; break;
    }
    return true;
}

void CFileFind::Close() {
    if (m_pDir != nullptr) ::closedir(D(m_pDir));
    m_pDir = nullptr;
}
