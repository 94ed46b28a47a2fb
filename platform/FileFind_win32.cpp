// CFileFind on FindFirstFileW/FindNextFileW, with each name turned into the ANSI
// code page here (or UTF-8, for FindFileUtf8): the wide name tells which names that
// code page cannot hold, where the ANSI listing would silently give "?" (or a
// look-alike) in their place.
#include <windows.h>
#undef FindNextFile  // the member keeps its plain name

#include "platform/FileFind.h"

#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/WidePath_win32.h"

namespace {

// The reparse tag of a Unix domain socket, which Windows lists as a file.
constexpr DWORD kReparseTagAfUnix = 0x80000023;

// The folder part of `pattern`; a UTF-8 one is searched byte by byte, as no byte of a
// UTF-8 character is ASCII (the code page's search could take "\\" for a trail byte).
std::string FolderOfPattern(const std::string& pattern, bool utf8) {
    std::string root = pattern;
    std::size_t sep = utf8 ? root.rfind('\\') : FindLastChar(root, '\\');
    root.resize(sep == std::string::npos ? 0 : sep);
    if (!utf8) return WithOneTrailingChar(root, '\\');
    while (!root.empty() && root.back() == '\\') root.pop_back();
    return root + '\\';
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

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// `wide` in UTF-8; false when it holds what UTF-8 cannot (a lone surrogate), which is
// given as the replacement character. Told apart here: the systems the programs run on
// include some whose conversion has no flag to refuse it.
bool ToUtf8(const wchar_t* wide, std::string& name) {
    bool exact = true;
    for (const wchar_t* at = wide; *at != L'\0'; ++at) {
        if (IsHighSurrogate(at[0]) && IsLowSurrogate(at[1])) {
            ++at;
        } else if (IsHighSurrogate(at[0]) || IsLowSurrogate(at[0])) {
            exact = false;
        }
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    name.assign(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, &name[0], n, nullptr, nullptr);
    name.resize(name.size() - 1);
    return exact && n > 0;
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
    m_bUtf8 = false;
    return Start(widePattern, pattern);
}

bool CFileFind::FindFileUtf8(const std::string& pattern) {
    Close();
    std::wstring widePattern;
    if (!WideOfUtf8(pattern, widePattern) || WidePathTooLong(widePattern)) return false;
    m_bUtf8 = true;
    return Start(widePattern.c_str(), pattern);
}

bool CFileFind::Start(const wchar_t* widePattern, const std::string& pattern) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(widePattern, &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_hFind = h;
    m_strRoot = FolderOfPattern(pattern, m_bUtf8);
    Take(&data);
    m_bHaveFirst = true;
    return true;
}

void CFileFind::Take(const void* found) {
    const WIN32_FIND_DATAW& data = *static_cast<const WIN32_FIND_DATAW*>(found);
    m_bNameExact = m_bUtf8 ? ToUtf8(data.cFileName, m_strName) : ToAnsi(data.cFileName, m_strName);
    m_kind = KindOf(data);
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
    Take(&data);
    return true;
}

void CFileFind::Close() {
    if (m_hFind != nullptr) ::FindClose(static_cast<HANDLE>(m_hFind));
    m_hFind = nullptr;
    m_bHaveFirst = false;
}
