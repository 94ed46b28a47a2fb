// CFileFind on FindFirstFileW/FindNextFileW, with each name turned into the ANSI
// code page here: the wide name tells which names that code page cannot hold, where
// the ANSI listing would silently give "?" (or a look-alike) in their place.
#include <windows.h>
#undef FindNextFile  // the member keeps its plain name

#include "platform/FileFind.h"

#include "platform/FileSystem.h"
#include "platform/MbText.h"

namespace {

// The reparse tag of a Unix domain socket, which Windows lists as a file.
constexpr DWORD kReparseTagAfUnix = 0x80000023;

std::string FolderOfPattern(const std::string& pattern) {
    std::string root = pattern;
    std::size_t sep = FindLastChar(root, '\\');
    root.resize(sep == std::string::npos ? 0 : sep);
    return WithOneTrailingChar(root, '\\');
}

// `wide` in the ANSI code page; false when that cannot hold it exactly.
bool ToAnsi(const wchar_t* wide, std::string& name) {
    BOOL usedDefault = FALSE;
    char buffer[4 * MAX_PATH];
    int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, sizeof buffer, nullptr,
                                  &usedDefault);
    if (n == 0) {
        // Code pages such as UTF-8 take neither the flag nor the question; they hold every name.
        usedDefault = FALSE;
        n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof buffer, nullptr, nullptr);
    }
    name.assign(buffer, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return n > 0 && !usedDefault && name.find('?') == std::string::npos;
}

EntryKind KindOf(const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && data.dwReserved0 == kReparseTagAfUnix) {
        return EntryKind::Other;
    }
    return EntryKind::File;
}

}  // namespace

CFileFind::~CFileFind() { Close(); }

bool CFileFind::FindFile(const std::string& pattern) {
    Close();
    if (PathTooLongToOpen(pattern)) return false;  // as Windows, also under Wine
    wchar_t widePattern[4 * MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, widePattern, 4 * MAX_PATH) == 0) return false;
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(widePattern, &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_hFind = h;
    m_strRoot = FolderOfPattern(pattern);
    m_bNameExact = ToAnsi(data.cFileName, m_strName);
    m_kind = KindOf(data);
    m_bHaveFirst = true;
    return true;
}

bool CFileFind::FindNextFile() {
    if (m_hFind == nullptr) return false;
    if (m_bHaveFirst) {
        m_bHaveFirst = false;
        return true;
    }
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(static_cast<HANDLE>(m_hFind), &data)) {
        Close();
        return false;
    }
    m_bNameExact = ToAnsi(data.cFileName, m_strName);
    m_kind = KindOf(data);
    return true;
}

void CFileFind::Close() {
    if (m_hFind != nullptr) ::FindClose(static_cast<HANDLE>(m_hFind));
    m_hFind = nullptr;
    m_bHaveFirst = false;
}
