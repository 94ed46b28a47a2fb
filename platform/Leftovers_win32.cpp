// Leftovers on Windows: a process that no longer runs is one OpenProcess does not find,
// or finds ended; every file a job writes is open without sharing, so a file that opens
// without sharing is in no job's hands.
#include "platform/Leftovers.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace {

// Removes `path` when it is a plain file that nobody holds: opened as itself (never
// through a reparse point) without sharing, then marked for deletion on that handle.
bool RemoveIfFree(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool removed = ::GetFileInformationByHandle(file, &info) &&
                   !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    if (removed) {
        struct {
            BOOLEAN deleteFile;
        } disposition = {TRUE};
        IO_STATUS_BLOCK io;
        removed = ::NtSetInformationFile(file, &io, &disposition, sizeof disposition, FileDispositionInformation) == 0;
    }
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

int RemoveLeftovers(const std::string& folder, const std::string& stem) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((folder + "*.tmp").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (IsLeftoverName(entry.cFileName, stem)) names.push_back(entry.cFileName);
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    int removed = 0;
    for (const std::string& name : names) removed += RemoveIfFree(folder + name) ? 1 : 0;
    return removed;
}
