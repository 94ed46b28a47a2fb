// CFile on Win32 handles, opened with share mode 0: nobody else may hold the file
// meanwhile, so shareExclusive asks for nothing more and a hold has nothing to keep.
#include "platform/File.h"

#include <windows.h>
#undef ReplaceFile  // ours, not the Win32 macro

#include "platform/FileSystem.h"
#include "platform/WidePath_win32.h"

namespace {
HANDLE H(void* h) { return static_cast<HANDLE>(h); }
}

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, unsigned flags) {
    Close();
    const bool utf8 = (flags & modeUtf8Path) != 0;
    std::wstring wide;
    if (utf8 && !WideOfUtf8(path, wide)) {
        m_lastError = OpenError::Other;
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // What Windows refuses, refused the same under Wine, which has no such limit.
    if (utf8 ? WidePathTooLong(wide) : PathTooLongToOpen(path)) {
        m_lastError = OpenError::Other;
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const bool writes = (flags & (modeWrite | modeReadWrite)) != 0;
    DWORD access = (flags & modeReadWrite) ? GENERIC_READ | GENERIC_WRITE : writes ? GENERIC_WRITE : GENERIC_READ;
    DWORD disposition = (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    if (writes && (flags & modeCreateNew)) disposition = CREATE_NEW;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if ((flags & modeTemporary) && disposition == CREATE_NEW) {
        attributes = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
    }
    // A file of our own making may be deleted while open (the cleanup after Ctrl+C
    // does); nobody may read or write it meanwhile.
    DWORD share = disposition == CREATE_NEW ? FILE_SHARE_DELETE : 0;
    HANDLE h = utf8 ? ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, attributes, nullptr)
                    : ::CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        m_lastError = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? OpenError::Exists
                      : error == ERROR_ACCESS_DENIED                            ? OpenError::Denied
                      : error == ERROR_TOO_MANY_OPEN_FILES                      ? OpenError::NoDescriptors
                                                                                : OpenError::Other;
        return false;
    }
    m_lastError = OpenError::None;
    m_hFile = h;
    LARGE_INTEGER size;
    m_nOpenedLength = ::GetFileSizeEx(h, &size) ? size.QuadPart : -1;
    return true;
}

// Windows lists no inode numbers: every file is looked at when opened.
bool CFile::OpenListedAt(const CFolder& folder, const char* name, std::uint64_t) {
    return OpenAt(folder, name, modeRead);
}

long long CFile::LookAtLength() { return m_nOpenedLength; }

bool CFile::OpenAt(const CFolder& folder, const char* name, unsigned flags) {
    return Open(folder.m_strPath + name, flags);
}

bool CFile::OpenStandardOutput() {
    Close();
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE self = ::GetCurrentProcess();
    HANDLE h = nullptr;
    if (out == nullptr || out == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(self, out, self, &h, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return false;
    }
    m_hFile = h;
    m_nOpenedLength = -1;
    return true;
}

void CFile::TakeModeOf(const std::string&) {}

bool CFile::OpenUnnamedIn(const std::string&, unsigned) { return false; }

bool CFile::LinkAs(const std::string&) { return false; }

bool CFile::IsOpen() const { return m_hFile != nullptr; }

long long CFile::Read(void* buffer, std::size_t size) {
    DWORD got = 0;
    if (!::ReadFile(H(m_hFile), buffer, static_cast<DWORD>(size), &got, nullptr)) {
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got;
}

bool WriteAll(void* handle, const void* buffer, std::size_t size) {
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        DWORD put = 0;
        if (!::WriteFile(H(handle), p, static_cast<DWORD>(size), &put, nullptr) || put == 0) return false;
        p += put;
        size -= put;
    }
    return true;
}

bool CFile::Write(const void* buffer, std::size_t size) { return WriteAll(m_hFile, buffer, size); }

CFile::CopyResult CFile::CopyFrom(CFile&, long long, long long& copied) {
    copied = 0;
    return CopyResult::Refused;
}

void CFile::StartWriteBack(long long, long long) {}

bool CFile::Seek(long long offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return m_hFile != nullptr && offset >= 0 && ::SetFilePointerEx(H(m_hFile), to, nullptr, FILE_BEGIN);
}

long long CFile::GetLength() const {
    LARGE_INTEGER size;
    if (m_hFile == nullptr || !::GetFileSizeEx(H(m_hFile), &size)) return -1;
    return size.QuadPart;
}

bool CFile::IsRegular() const {
    BY_HANDLE_FILE_INFORMATION info;
    return m_hFile != nullptr && ::GetFileType(H(m_hFile)) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(H(m_hFile), &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileId CFile::GetId() const {
    FileId id;
    BY_HANDLE_FILE_INFORMATION info;
    if (m_hFile != nullptr && ::GetFileInformationByHandle(H(m_hFile), &info)) {
        id.volume = info.dwVolumeSerialNumber;
        id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.valid = true;
    }
    return id;
}

bool CFile::Flush() { return m_hFile != nullptr && ::FlushFileBuffers(H(m_hFile)) != 0; }

bool CFile::Close() {
    if (m_hFile == nullptr) return true;
    BOOL ok = ::CloseHandle(H(m_hFile));
    m_hFile = nullptr;
    return ok != 0;
}

bool CFileHold::Take(const CFile& file) { return file.IsOpen(); }

void CFileHold::Release() {}

bool CFolder::Open(const std::string& path) {
    m_strPath = path;
    return true;
}

void CFolder::Close() {}

// The listing knows lengths here, but the job opens every file on Windows.
bool CFolder::HoldsEmptyFile(const char*, FileId&) const { return false; }
