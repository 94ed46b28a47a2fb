// What the POSIX file layer may take on trust about the files of one open folder: the
// lengths they report, and the inode numbers its listing gives them. CFolder asks once
// per folder; nothing of it exists on Windows.
#pragma once

#include <sys/stat.h>

struct FolderTrust {
    bool trueLengths = false;  // a file's length counts every byte it holds
    bool listedIds = false;    // a listed plain file's inode number is the opened file's own
};

// Judges the open folder `fd`, whose fstat is `st`, by its file system and by the
// system's mounts; false members wherever that cannot be told.
FolderTrust TrustFolder(int fd, const struct stat& st);
