// Writing folders and files below one root folder without ever leaving it, whatever
// changes in the tree meanwhile: each folder is opened relative to its open parent
// and held while anything in or below it is written, a link below the root is never
// followed, and an existing file is replaced by renaming a new one over its name.
// Also what the system's file system can hold: name limits and name comparison.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/SignalGuard.h"

// How one step went.
enum class TreeStatus {
    Ok,
    Exists,     // something already has the name
    Link,       // the name is a link (or reparse point), which is never followed
    NotFolder,  // the name is no folder
    Changed,    // what the name leads to is not the entry the folder lists under it
    Failed,     // the system refused: no such folder, no permission, full disk, ...
};

class CTreeFile;

// How a tree's root and names are written: in the system's code page (Local), or as
// UTF-8 for a program whose names need not fit that code page. Windows converts each
// by its code page; elsewhere names are the file system's bytes either way.
enum class TreeNames { Local, Utf8 };

class CConfinedTree {
public:
    CConfinedTree() = default;
    ~CConfinedTree();
    CConfinedTree(const CConfinedTree&) = delete;
    CConfinedTree& operator=(const CConfinedTree&) = delete;

    // Opens the existing folder `root` as the top of the tree; a link to a folder is
    // followed here, the root being the user's own choice. `names` holds for the root
    // and every name given later. False when it cannot be.
    bool Open(const std::string& root, TreeNames names = TreeNames::Local);
    // Makes the folder at `path` (names below the root) the one written into: held
    // folders off that path are closed, the missing ones opened one by one below the
    // deepest still held, each refused when it is a link or no folder.
    TreeStatus Enter(const std::vector<std::string>& path);
    // Makes folder `name` in the current folder; with `mayExist` an existing plain
    // folder is accepted too, else it is Exists.
    TreeStatus MakeFolder(const std::string& name, bool mayExist);
    // Starts file `name` in the current folder, so that nothing of it is left under
    // `name` unless Commit succeeds: on POSIX its content goes to a new file without a
    // name (Linux: O_TMPFILE), else under a unique temporary name beside it, removed
    // should a signal end the process, and Commit puts it under `name`; on Windows the
    // file is marked for deletion (which the system carries out however the process
    // ends, and which keeps others from opening it) until Commit, a replacement written
    // under a temporary name. Whatever stands at `name` is never opened. Without
    // `replace` nothing may have the name (else Exists, now or at Commit); with it,
    // what has the name is replaced. The file must be committed or dropped before the
    // next Enter. The first file made in a folder first removes from it the temporary
    // files of killed extracts (see RemoveLeftovers); on POSIX every file is locked
    // until it has its name.
    TreeStatus CreateFile(const std::string& name, bool replace, CTreeFile& file);

private:
#ifdef _WIN32
    using Handle = void*;
#else
    using Handle = int;
#endif
    struct Held {
        std::string name;
        Handle handle;
        bool swept = false;  // leftovers of killed extracts removed from it
    };
    // Opens folder `name` in `dir` as itself, refusing a link; each system's own.
    TreeStatus OpenFolder(Handle dir, const std::string& name, Handle& folder) const;
    static void Release(Handle handle);
    void CloseDownTo(std::size_t depth);

    std::string FolderPath() const;  // the current folder's path, ending with a separator

    std::vector<Held> m_stack;  // the root first, then each folder on the current path
    std::string m_strRoot;      // as Open was given it, ending with a separator
    TreeNames m_names = TreeNames::Local;
};

// A file being written by CConfinedTree::CreateFile.
class CTreeFile {
public:
    CTreeFile() = default;
    // Without a successful Commit, removes what it created.
    ~CTreeFile();
    CTreeFile(const CTreeFile&) = delete;
    CTreeFile& operator=(const CTreeFile&) = delete;

    // Writes all `size` bytes; false when the system wrote fewer (full disk).
    bool Write(const void* data, std::size_t size);
    // Puts the file under its name and closes it: Ok; Exists when something has taken
    // the name meanwhile (without `replace`); Failed when its content could not be
    // stored or the name not given. Nothing of it is left unless Ok.
    TreeStatus Commit();

private:
    friend class CConfinedTree;
    void Drop();

#ifdef _WIN32
    void* m_hFile = nullptr;
    void* m_hFolder = nullptr;  // borrowed from the tree
    TreeNames m_names = TreeNames::Local;
#else
    int m_fd = -1;
    int m_dirFd = -1;          // borrowed from the tree
    std::string m_strCreated;  // the name the file was created under; empty when it has none
    CRemoveOnSignal m_guard;   // removes a file created under a name should a signal end the process
#endif
    std::string m_strName;  // the name it goes under
    bool m_bReplace = false;
};

// `folder` (ending with a separator) as the system completes it to a full path: the
// current folder put before a relative one. Empty when the system cannot tell.
std::string FullFolderPath(const std::string& folder, TreeNames names = TreeNames::Local);
// Why the system cannot hold the folder or file `path` (names below `fullRoot`, a
// full path from FullFolderPath, both written as `names` says): a name not valid in
// its encoding, a name or the whole path past the system's limits. nullptr when it can.
const char* TargetPathProblem(const std::string& fullRoot, const std::vector<std::string>& path, bool folder,
                              TreeNames names = TreeNames::Local);
// Makes the folder `path` and every missing folder above it (a link to a folder is
// followed, as a root's is). False when one cannot be made or `path` is no folder.
bool MakeFolderPath(const std::string& path, TreeNames names = TreeNames::Local);

