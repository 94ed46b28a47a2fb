// The reader's file access on Win32: ReadFile at the offset an OVERLAPPED names (each
// such read is whole on a synchronous handle, whatever other threads do), a file
// mapping for the view, and names compared as the file systems compare them.
#include "reader/platform/PacketFile.h"

#include <windows.h>

namespace velkaron_reader {

namespace {
HANDLE H(void* h) { return static_cast<HANDLE>(h); }

// `text` in UTF-16 from code page `page`, refusing what is not well formed; false when it cannot.
bool ToWide(UINT page, const char* text, int size, std::wstring& wide) {
    if (size == 0) return wide.clear(), true;
    int n = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text, size, nullptr, 0);
    if (n <= 0) return false;
    wide.assign(static_cast<std::size_t>(n), L'\0');
    return ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text, size, &wide[0], n) == n;
}

HANDLE OpenForReading(const std::string& path, DWORD share, bool utf8Path) {
    if (!utf8Path) {
        return ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::wstring wide;
    if (path.size() > 0x7FFFFFFF || !ToWide(CP_UTF8, path.data(), static_cast<int>(path.size()), wide) ||
        wide.find(L'\0') != std::wstring::npos) {
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

bool CPacketFile::Open(const std::string& path, Sharing sharing, bool utf8Path) {
    Close();
    const DWORD share =
        sharing == Sharing::Anyone ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
    HANDLE h = OpenForReading(path, share, utf8Path);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !::GetFileSizeEx(h, &size)) {
        ::CloseHandle(h);
        return false;
    }
    m_hFile = h;
    m_nSize = size.QuadPart;
    return true;
}

bool CPacketFile::IsOpen() const { return m_hFile != nullptr; }

long long CPacketFile::SystemReadAt(long long offset, char* buffer, std::size_t size) const {
    std::size_t total = 0;
    while (total < size) {
        const std::size_t rest = size - total;
        const DWORD want = rest > 0x40000000u ? 0x40000000u : static_cast<DWORD>(rest);
        const unsigned long long at = static_cast<unsigned long long>(offset) + total;
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!::ReadFile(H(m_hFile), buffer + total, want, &got, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (got == 0) break;
        total += got;
    }
    return static_cast<long long>(total);
}

bool CPacketFile::Map() {
    if (m_hFile == nullptr || m_nSize <= 0 || static_cast<unsigned long long>(m_nSize) > SIZE_MAX) return false;
    if (m_pData != nullptr) return true;
    HANDLE mapping = ::CreateFileMappingA(H(m_hFile), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    void* p = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (p == nullptr) {
        ::CloseHandle(mapping);
        return false;
    }
    m_hMapping = mapping;
    m_pData = static_cast<const char*>(p);
    return true;
}

void CPacketFile::Unmap() {
    if (m_pData != nullptr) ::UnmapViewOfFile(m_pData);
    if (m_hMapping != nullptr) ::CloseHandle(H(m_hMapping));
    m_pData = nullptr;
    m_hMapping = nullptr;
}

void CPacketFile::Close() {
    Unmap();
    if (m_hFile != nullptr) ::CloseHandle(H(m_hFile));
    m_hFile = nullptr;
    m_nSize = -1;
}

bool IsLocalLeadByte(unsigned char c) { return ::IsDBCSLeadByteEx(CP_ACP, c) != 0; }

// The trail bytes of the double-byte ANSI code pages: DEL never follows a lead byte.
bool IsLocalTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// The table the file systems upper-case names by, taken from ntdll (always loaded) at
// run time, so that programs linking the static library need not name ntdll.
bool FoldLocalName(const std::string& path, std::string& key) {
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    static const Upcase upcase = reinterpret_cast<Upcase>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlUpcaseUnicodeChar")));
    std::wstring wide;
    if (upcase == nullptr || path.size() > 0x7FFFFFFF ||
        !ToWide(CP_ACP, path.data(), static_cast<int>(path.size()), wide)) {
        return false;
    }
    key.resize(wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const WCHAR upper = upcase(wide[i]);
        key[2 * i] = static_cast<char>(upper & 0xFF);
        key[2 * i + 1] = static_cast<char>(upper >> 8);
    }
    return true;
}

}  // namespace velkaron_reader
