// FolderTrust from the file system's kind (statfs) and the system's mount table: the
// kinds are listed by name, anything else is trusted with nothing.
#include "platform/FolderTrust.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/File.h"
#ifdef __linux__
#include <sys/vfs.h>
#endif

namespace {

#ifdef __linux__
// File systems whose files hold exactly as many bytes as their length says: a file of
// length 0 there is empty. Pseudo file systems (procfs, sysfs...), FUSE and network file
// systems are left out: their files may report 0, or a stale length, and hold bytes.
// Of those, the ones whose listing gives every file the inode number it has when opened
// (not vfat and its kin, which may make one up for the listing).
FolderTrust TrustKind(unsigned long type) {
    FolderTrust trust;
    switch (type & 0xFFFFFFFFul) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // xfs
        case 0x9123683E:  // btrfs
        case 0x01021994:  // tmpfs
        case 0x858458F6:  // ramfs
        case 0xF2F52010:  // f2fs
        case 0x2FC12FC1:  // zfs
        case 0xCA451A4E:  // bcachefs
        case 0x3153464A:  // jfs
            trust.listedIds = true;
            trust.trueLengths = true;
            break;
        case 0x4D44:      // vfat
        case 0x2011BAB0:  // exfat
        case 0x7366746E:  // ntfs3
        case 0x9660:      // iso9660
        case 0x15013346:  // udf
        case 0x73717368:  // squashfs
        case 0xE0F5E1E2:  // erofs
            trust.trueLengths = true;
            break;
        default: break;
    }
    return trust;
}

// A mount point as the mount table writes it: space, tab, newline and backslash as
// three octal digits after a backslash.
std::string Unescaped(const char* field, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        if (field[i] == '\\' && i + 3 < length) {
            out += static_cast<char>(std::strtol(std::string(field + i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The folders in which a single file is mounted (bind mounts of files): there the
// listing's inode number is the hidden file's, not the mounted one's. Read once per
// process; `known` false when the mount table cannot be read.
struct FileMounts {
    bool known = false;
    std::unordered_set<FileId, FileIdHash> folders;
};

const FileMounts& MountedFiles() {
    static const FileMounts* mounts = [] {
        FileMounts* found = new FileMounts;
        FILE* table = std::fopen("/proc/self/mountinfo", "re");
        if (table == nullptr) return found;
        char* line = nullptr;
        std::size_t capacity = 0;
        while (::getline(&line, &capacity, table) > 0) {
            // The fifth field is the mount point.
            const char* field = line;
            for (int skip = 0; skip < 4 && field != nullptr; ++skip) {
                field = std::strchr(field, ' ');
                if (field != nullptr) ++field;
            }
            if (field == nullptr) continue;
            const char* end = std::strchr(field, ' ');
            const std::string point = Unescaped(field, end != nullptr ? static_cast<std::size_t>(end - field)
                                                                     : std::strlen(field));
            struct stat st;
            if (::stat(point.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
            const std::string folder = point.substr(0, point.find_last_of('/') + 1);
            if (::stat(folder.empty() ? "/" : folder.c_str(), &st) != 0) continue;
            found->folders.insert(
                FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true});
        }
        std::free(line);
        found->known = std::ferror(table) == 0;
        std::fclose(table);
        return found;
    }();
    return *mounts;
}
#endif

}  // namespace

FolderTrust TrustFolder(int fd, const struct stat& st) {
#ifdef __linux__
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return FolderTrust();
    FolderTrust trust = TrustKind(static_cast<unsigned long>(fs.f_type));
    if (trust.listedIds) {
        const FileMounts& mounts = MountedFiles();
        const FileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
        trust.listedIds = mounts.known && mounts.folders.count(id) == 0;
    }
    return trust;
#else
    (void)fd;
    (void)st;
    return FolderTrust();
#endif
}
