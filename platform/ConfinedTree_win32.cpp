// The confined tree on Win32 handles. Every folder and file is opened by NtCreateFile
// relative to its parent's handle, names in their wide form; each folder on the
// current path is held without FILE_SHARE_DELETE, so that it cannot be renamed or
// removed meanwhile; reparse points are opened as themselves and refused. Names come
// in the system's ANSI code page or, for a tree opened with TreeNames::Utf8, as UTF-8.
#include "platform/ConfinedTree.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>

#include "platform/File.h"
#include "platform/Leftovers.h"
#include "platform/WidePath_win32.h"

#undef CreateFile  // ours, not the Win32 macro

extern "C" {
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                    FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
}

namespace {

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr ULONG kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;  // never FILE_SHARE_DELETE

struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[MAX_PATH];
};

UINT CodePageOf(TreeNames names) { return names == TreeNames::Utf8 ? CP_UTF8 : CP_ACP; }

bool Wide(const std::string& text, std::wstring& wide, TreeNames names = TreeNames::Local) {
    return WideOf(CodePageOf(names), text, wide);
}

// The folder at `path` opened as a tree's root is: links followed, folders alone.
HANDLE OpenRootFolder(const std::string& path, TreeNames names) {
    std::wstring wide;
    if (names == TreeNames::Utf8 && (!Wide(path, wide, names) || wide.empty())) return INVALID_HANDLE_VALUE;
    HANDLE h = names == TreeNames::Utf8 ? ::CreateFileW(wide.c_str(), kFolderAccess, kFolderShare, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                                        : ::CreateFileA(path.c_str(), kFolderAccess, kFolderShare, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// NtCreateFile of `name` relative to the folder `dir`; an empty name opens `dir` again.
NTSTATUS CreateRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                        ULONG options, HANDLE& handle) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io;
    handle = nullptr;
    return ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                          disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

// The entry that folder `dir` lists under `name`: Wine opens what a Unix link leads to
// and shows the link as a reparse point only there.
bool ListedEntry(HANDLE dir, const std::wstring& name, DWORD& attributes, LONGLONG& id) {
    HANDLE listing;  // a search pattern holds for a handle's first query only: a fresh one
    if (CreateRelative(dir, std::wstring(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_OPEN, FILE_DIRECTORY_FILE, listing) != 0) {
        return false;
    }
    alignas(8) char buffer[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + MAX_PATH * sizeof(WCHAR)];
    UNICODE_STRING pattern;
    pattern.Buffer = const_cast<PWSTR>(name.c_str());
    pattern.Length = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    pattern.MaximumLength = pattern.Length;
    IO_STATUS_BLOCK io;
    NTSTATUS status = ::NtQueryDirectoryFile(listing, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                             FileIdBothDirectoryInformation, TRUE, &pattern, TRUE);
    ::CloseHandle(listing);
    if (status != 0) return false;
    const FILE_ID_BOTH_DIR_INFORMATION* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(buffer);
    attributes = entry->FileAttributes;
    id = entry->FileId.QuadPart;
    return true;
}

// The attributes and file index of an open file, from its handle alone (Wine answers
// GetFileInformationByHandle by the path the handle was opened under).
bool HandleIdentity(HANDLE handle, DWORD& attributes, LONGLONG& id) {
    FILE_ATTRIBUTE_TAG_INFORMATION tag;
    FILE_INTERNAL_INFORMATION internal;
    IO_STATUS_BLOCK io;
    if (::NtQueryInformationFile(handle, &io, &tag, sizeof tag, FileAttributeTagInformation) != 0 ||
        ::NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation) != 0) {
        return false;
    }
    attributes = tag.FileAttributes;
    id = internal.IndexNumber.QuadPart;
    return true;
}

void SetDeleted(HANDLE file, BOOLEAN deleted) {
    struct {
        BOOLEAN deleteFile;
    } disposition = {deleted};
    IO_STATUS_BLOCK io;
    ::NtSetInformationFile(file, &io, &disposition, sizeof disposition, FileDispositionInformation);
}

}  // namespace

TreeStatus CConfinedTree::OpenFolder(HANDLE dir, const std::string& name, HANDLE& folder) const {
    std::wstring wide;
    if (!Wide(name, wide, m_names)) return TreeStatus::Failed;
    NTSTATUS status = CreateRelative(dir, wide, kFolderAccess, kFolderShare, FILE_OPEN,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, folder);
    if (status == kNotADirectory) return TreeStatus::NotFolder;
    if (status != 0) return TreeStatus::Failed;
    DWORD attributes = 0, listedAttributes = 0;
    LONGLONG id = 0, listedId = 0;
    TreeStatus result = TreeStatus::Ok;
    if (!HandleIdentity(folder, attributes, id) || !ListedEntry(dir, wide, listedAttributes, listedId)) {
        result = TreeStatus::Failed;
    } else if ((attributes | listedAttributes) & FILE_ATTRIBUTE_REPARSE_POINT) {
        result = TreeStatus::Link;
    } else if (listedId != 0 && listedId != id) {
        result = TreeStatus::Changed;
    }
    if (result != TreeStatus::Ok) ::CloseHandle(folder);
    return result;
}

void CConfinedTree::Release(HANDLE handle) { ::CloseHandle(handle); }

bool CConfinedTree::Open(const std::string& root, TreeNames names) {
    CloseDownTo(0);
    m_names = names;
    HANDLE h = OpenRootFolder(root, names);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_stack.push_back({std::string(), h});
    return true;
}

TreeStatus CConfinedTree::MakeFolder(const std::string& name, bool mayExist) {
    std::wstring wide;
    if (m_stack.empty() || !Wide(name, wide, m_names)) return TreeStatus::Failed;
    HANDLE folder;
    NTSTATUS status = CreateRelative(m_stack.back().handle, wide, FILE_LIST_DIRECTORY, kFolderShare, FILE_CREATE,
                                     FILE_DIRECTORY_FILE, folder);
    if (status == 0) {
        ::CloseHandle(folder);
        return TreeStatus::Ok;
    }
    if (status != kNameCollision) return TreeStatus::Failed;
    if (!mayExist) return TreeStatus::Exists;
    TreeStatus kind = OpenFolder(m_stack.back().handle, name, folder);
    if (kind == TreeStatus::Ok) ::CloseHandle(folder);
    return kind;
}

TreeStatus CConfinedTree::CreateFile(const std::string& name, bool replace, CTreeFile& file) {
    file.Drop();
    std::wstring wide;
    if (m_stack.empty() || !Wide(name, wide, m_names) || wide.size() >= MAX_PATH) return TreeStatus::Failed;
    HANDLE dir = m_stack.back().handle;
    if (!m_stack.back().swept) RemoveLeftoversAt(dir, std::string());
    m_stack.back().swept = true;
    // A new file is made under its own name (nobody may open it meanwhile, see below);
    // a replacement under a temporary one that Commit renames over the name.
    static unsigned counter = 0;
    std::wstring created = wide;
    for (int attempt = 0;; ++attempt) {
        if (replace) {
            const std::string temporary = TemporaryName(std::string(), std::to_string(counter++));
            created.assign(temporary.begin(), temporary.end());
        }
        NTSTATUS status = CreateRelative(dir, created, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                                         FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, file.m_hFile);
        if (status == 0) break;
        file.m_hFile = nullptr;
        if (status != kNameCollision) return TreeStatus::Failed;
        if (!replace) return TreeStatus::Exists;
        if (attempt == 100) return TreeStatus::Failed;
    }
    // Marked for deletion from the start: however the process ends (Ctrl+C, a kill, a
    // full disk), the system removes the file with its last handle, and no other
    // program may open it meanwhile; Commit takes the mark away.
    SetDeleted(file.m_hFile, TRUE);
    file.m_hFolder = dir;
    file.m_strName = name;
    file.m_names = m_names;
    file.m_bReplace = replace;
    return TreeStatus::Ok;
}

CTreeFile::~CTreeFile() { Drop(); }

bool CTreeFile::Write(const void* data, std::size_t size) { return WriteAll(m_hFile, data, size); }

TreeStatus CTreeFile::Commit() {
    if (m_hFile == nullptr) return TreeStatus::Failed;
    SetDeleted(m_hFile, FALSE);
    if (m_bReplace) {
        // Renaming through the open handle replaces the entry itself, whatever it is.
        RenameInformation rename = {};
        std::wstring wide;
        Wide(m_strName, wide, m_names);
        rename.replaceIfExists = TRUE;
        rename.rootDirectory = m_hFolder;
        rename.fileNameLength = static_cast<ULONG>(wide.size() * sizeof(WCHAR));
        wide.copy(rename.fileName, wide.size());
        IO_STATUS_BLOCK io;
        if (::NtSetInformationFile(m_hFile, &io, &rename, sizeof rename, FileRenameInformation) != 0) {
            Drop();
            return TreeStatus::Failed;
        }
    }
    BOOL closed = ::CloseHandle(m_hFile);
    m_hFile = nullptr;
    return closed != 0 ? TreeStatus::Ok : TreeStatus::Failed;
}

void CTreeFile::Drop() {
    if (m_hFile == nullptr) return;
    SetDeleted(m_hFile, TRUE);
    ::CloseHandle(m_hFile);
    m_hFile = nullptr;
}

std::string FullFolderPath(const std::string& folder, TreeNames names) {
    if (names == TreeNames::Local) {
        char buffer[4 * MAX_PATH];
        DWORD n = ::GetFullPathNameA(folder.c_str(), sizeof buffer, buffer, nullptr);
        return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
    }
    std::wstring wide;
    if (!Wide(folder, wide, names) || wide.empty()) return std::string();
    wchar_t buffer[4 * MAX_PATH];
    DWORD n = ::GetFullPathNameW(wide.c_str(), 4 * MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= 4 * MAX_PATH) return std::string();
    int size = ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string full(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 ||
        ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), &full[0], size, nullptr, nullptr) != size) {
        return std::string();
    }
    return full;
}

// Without a manifest that asks for long paths, Windows takes paths of up to MAX_PATH
// characters, the closing NUL counted; a folder must leave room for an 8.3 name in
// it (CreateDirectory's 248). Each name may have 255 characters.
const char* TargetPathProblem(const std::string& fullRoot, const std::vector<std::string>& path, bool folder,
                              TreeNames names) {
    std::wstring wide;
    if (fullRoot.empty() || !Wide(fullRoot, wide, names)) return "无法确定目标文件夹的完整路径";
    std::size_t length = wide.size();  // it ends with a separator
    for (const std::string& name : path) {
        if (!Wide(name, wide, names)) {
            return names == TreeNames::Utf8 ? "名称不是有效的 UTF-8" : "名称含有本系统代码页中没有的文字";
        }
        if (wide.size() > 255) return "名称超过 Windows 的 255 个字符上限";
        length += wide.size() + 1;
    }
    if (path.empty()) return nullptr;
    if (folder && length - 1 > MAX_PATH - 13) return "完整路径超过 Windows 文件夹路径的 247 个字符上限";
    if (length - 1 > MAX_PATH - 1) return "完整路径超过 Windows 的 259 个字符上限 (MAX_PATH)";
    return nullptr;
}

// Folder by folder from the top, through the wide API for UTF-8 paths: an existing
// one is passed over, a missing one made.
bool MakeFolderPath(const std::string& path, TreeNames names) {
    std::wstring wide;
    if (!Wide(path, wide, names) || wide.empty()) return false;
    while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    for (std::size_t pos = 0;; ++pos) {
        pos = wide.find_first_of(L"\\/", pos);
        const std::wstring part = wide.substr(0, pos);
        // Skips the drive ("C:") and the server and share of a UNC path, which no call makes.
        const bool drive = part.size() == 2 && part[1] == L':';
        const bool unc = part.empty() || part == L"\\" ||
                         (part.compare(0, 2, L"\\\\") == 0 && std::count(part.begin(), part.end(), L'\\') < 4);
        if (!drive && !unc) {
            DWORD attributes = ::GetFileAttributesW(part.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
                    return false;
                }
                attributes = ::GetFileAttributesW(part.c_str());
            }
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        }
        if (pos == std::wstring::npos) return true;
    }
}
