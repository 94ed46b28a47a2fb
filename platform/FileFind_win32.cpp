// CFileFind on FindFirstFileA/FindNextFileA.
#include <windows.h>
#undef FindNextFile  // the member keeps its plain name

#include "platform/FileFind.h"

#include "platform/FileSystem.h"
#include "platform/MbText.h"

namespace {
std::string FolderOfPattern(const std::string& pattern) {
    std::string root = pattern;
    std::size_t sep = FindLastChar(root, '\\');
    root.resize(sep == std::string::npos ? 0 : sep);
    return WithOneTrailingChar(root, '\\');
}
}  // namespace

CFileFind::~CFileFind() { Close(); }

bool CFileFind::FindFile(const std::string& pattern) {
    Close();
    WIN32_FIND_DATAA data;
    HANDLE h = ::FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_hFind = h;
    m_strRoot = FolderOfPattern(pattern);
    m_strName = data.cFileName;
    m_bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    m_bHaveFirst = true;
    return true;
}

bool CFileFind::FindNextFile() {
    if (m_hFind == nullptr) return false;
    if (m_bHaveFirst) {
        m_bHaveFirst = false;
        return true;
    }
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(static_cast<HANDLE>(m_hFind), &data)) {
        Close();
        return false;
    }
    m_strName = data.cFileName;
    m_bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

void CFileFind::Close() {
    if (m_hFind != nullptr) ::FindClose(static_cast<HANDLE>(m_hFind));
    m_hFind = nullptr;
    m_bHaveFirst = false;
}
