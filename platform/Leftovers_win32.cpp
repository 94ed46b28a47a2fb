// Leftovers on Windows: a process that no longer runs is one OpenProcess does not find,
// or finds ended; every file a job writes is open without sharing, so a file that opens
// without sharing is in no job's hands. Files are listed and removed relative to an open
// folder handle, so that an extract's held folder is swept as itself.
#include "platform/Leftovers.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

extern "C" {
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                    FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
}

namespace {

UNICODE_STRING Counted(const std::wstring& text) {
    UNICODE_STRING counted;
    counted.Buffer = const_cast<PWSTR>(text.c_str());
    counted.Length = counted.MaximumLength = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    return counted;
}

// NtCreateFile of the existing `name` in the folder `dir` (an empty name: `dir` again), as itself.
NTSTATUS OpenIn(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options, HANDLE& handle) {
    UNICODE_STRING text = Counted(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io;
    handle = nullptr;
    return ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share, FILE_OPEN,
                          options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

// `name` in the ANSI code page, as the names of temporary files are made; false when it
// has no exact form there.
bool Narrow(const std::wstring& name, std::string& narrow) {
    narrow.assign(name.size() * 2, '\0');
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &narrow[0],
                                        static_cast<int>(narrow.size()), nullptr, &lossy);
    narrow.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n > 0 && !lossy;
}

// The entries of the folder `dir` that are leftovers' names for `stem`.
std::vector<std::wstring> Candidates(HANDLE dir, const std::string& stem) {
    std::vector<std::wstring> names;
    HANDLE listing;  // a search pattern holds for a handle's first query only: a fresh one
    if (OpenIn(dir, std::wstring(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
               FILE_DIRECTORY_FILE, listing) != 0) {
        return names;
    }
    alignas(8) char buffer[16384];
    const std::wstring mask = L"*.velkaron-*.tmp";
    UNICODE_STRING pattern = Counted(mask);
    IO_STATUS_BLOCK io;
    std::string narrow;
    for (BOOLEAN first = TRUE; ::NtQueryDirectoryFile(listing, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                                      FileDirectoryInformation, FALSE, first ? &pattern : nullptr,
                                                      first) == 0;
         first = FALSE) {
        for (const char* at = buffer;;) {
            const FILE_DIRECTORY_INFORMATION* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(WCHAR));
            if (Narrow(name, narrow) && IsLeftoverName(narrow, stem)) names.push_back(name);
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    ::CloseHandle(listing);
    return names;
}

// Removes `name` from `dir` when it is a plain file that nobody holds: opened as itself
// (never through a reparse point) without sharing, then marked for deletion on that handle.
bool RemoveIfFree(HANDLE dir, const std::wstring& name) {
    HANDLE file;
    if (OpenIn(dir, name, DELETE | FILE_READ_ATTRIBUTES, 0, FILE_NON_DIRECTORY_FILE, file) != 0) return false;
    FILE_ATTRIBUTE_TAG_INFORMATION tag;
    FILE_DISPOSITION_INFORMATION disposition = {TRUE};
    IO_STATUS_BLOCK io;
    const bool removed =
        ::NtQueryInformationFile(file, &io, &tag, sizeof tag, FileAttributeTagInformation) == 0 &&
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        ::NtSetInformationFile(file, &io, &disposition, sizeof disposition, FileDispositionInformation) == 0;
    ::CloseHandle(file);
    return removed;
}

}  // namespace

unsigned long ThisProcessId() { return ::GetCurrentProcessId(); }

bool ProcessRuns(unsigned long pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // denied: it runs
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

int RemoveLeftoversAt(void* dir, const std::string& stem) {
    int removed = 0;
    for (const std::wstring& name : Candidates(dir, stem)) removed += RemoveIfFree(dir, name) ? 1 : 0;
    return removed;
}

int RemoveLeftovers(const std::string& folder, const std::string& stem) {
    HANDLE dir = ::CreateFileA(folder.empty() ? "." : folder.c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return 0;
    const int removed = RemoveLeftoversAt(dir, stem);
    ::CloseHandle(dir);
    return removed;
}
