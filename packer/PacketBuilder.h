// The packing job: scans a source folder into two work files, then writes the
// packet front to back (header, data, index) and checks every byte count.
// Progress reaches the host through a message queue and two counters. The scan
// and every decision on what the packet holds live here; where the data and index
// bytes go and how the packet is finished are hooks (OnePassBuilder.h).
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "packer/PacketFormat.h"
#include "platform/File.h"
#include "platform/FileFind.h"

// Texts the job queues or shows in a message box, byte for byte.
extern const char kMsgNoDataTemp[];       // "无法创建临时数据文件\r\n" (message box)
extern const char kMsgNoIndexTemp[];      // "无法创建临时索引文件\r\n" (message box)
extern const char kMsgCannotList[];       // "不能打开源文件夹,可能为空\r\n"
extern const char kMsgNoTarget[];         // "无法创建目标文件\r\n"
extern const char kMsgDataError[];        // "数据读写错误!\r\n"
extern const char kMsgIndexError[];       // "索引读写错误!\r\n"
extern const char kMsgTooLarge[];         // "打包数据超过 2GB 上限!\r\n"
extern const char kMsgBackslashName[];    // "名称含有反斜杠,已跳过: %s\r\n"
extern const char kMsgLineBreakName[];    // "名称含有换行符,已跳过: %s\r\n"
extern const char kMsgCodePageName[];     // "名称无法用当前代码页表示,已跳过: %s\r\n"
extern const char kMsgDriveName[];        // "名称以盘符开头,已跳过: %s\r\n"
extern const char kMsgFolderAgain[];      // "文件夹已经打包过, 不再进入: %s\r\n"
extern const char kMsgPacketItself[];     // "这是要替换的数据包本身,已跳过: %s\r\n"
extern const char kMsgNoDescriptor[];     // "进程已无可用的文件描述符, 无法打开: %s\r\n"
extern const char kMsgDone[];             // "打包完成!" (no line end)
// The job's two work files, in the folder WorkFolderOf gives.
extern const char kDataWorkFile[];        // "_data_temp.dat"
extern const char kIndexWorkFile[];       // "_index_temp.txt"
// The work folder for `workDir`: itself, or "data" in the program's folder when it is
// empty; without a trailing separator.
std::string WorkFolderOf(const std::string& workDir);

// Turns a name from the listing into the bytes the index stores; false when it cannot.
using NameConverter = std::function<bool(std::string& name)>;

struct PackOptions {
    std::string workDir;                    // folder of the work files; empty: program folder + "data"
    std::size_t bufferSize = 4096;          // every copy goes through a buffer of this size
    bool toStandardOutput = false;          // the packet goes to standard output, not to its path
    bool unnamedWorkFiles = false;          // the work files have no names in workDir (a private job's:
                                            // nothing of them outlives it) and are read back as they are
    long long sizeLimit = kPacketMaxNumber; // largest data offset or index length allowed
    bool sorted = false;                    // each folder's entries in byte order of their names
    bool sourceRequired = false;            // a source folder that cannot be listed fails the job
                                            // (else: an empty packet, as the dialog makes)
    bool indexTexts = true;                 // every index line is queued as a text too (a host that
                                            // shows none saves the copies)
    NameConverter convertName;              // empty: names are stored as the listing gives them
};

// Why an entry of the source tree is not in the packet.
enum class SkipReason {
    Unreadable, NotAFile, WorkFile, Unlistable, Backslash, LineBreak, Encoding, CodePage, DriveLetter,
    Packet,       // the packet the job replaces, met in the tree
    PathTooLong,  // the system cannot open a path that long
    NoDescriptor, // the process had no descriptor left to open it with, however long it waited
};

struct SkippedEntry {
    std::string path;  // full path in the source tree
    SkipReason reason;
};

// The job's view of one listed entry, decided before anything is opened. Kept for a
// whole folder at a time, so it holds no path: the index's path is the folder's
// prefix and the stored name.
struct EntryPlan {
    enum class Action { Folder, File, LeaveOut, Skip };
    Action action = Action::Skip;
    SkipReason reason = SkipReason::Unreadable;  // LeaveOut, Skip
    const char* message = nullptr;               // LeaveOut: the text queued with the entry's path
    std::string stored;                          // Folder, File: the name the index stores, when it
                                                 // differs from the listed one (else empty)
};

class CPacketBuilder {
public:
    CPacketBuilder();
    virtual ~CPacketBuilder();
    CPacketBuilder(const CPacketBuilder&) = delete;
    CPacketBuilder& operator=(const CPacketBuilder&) = delete;

    // Packs the folder `strSource` (ending with one separator) into the file
    // `strPacket`, on the calling thread. True when the packet was written and every
    // byte count checked; false otherwise, the reason queued or shown in a message
    // box. False at once, changing nothing, while a job already runs on this builder.
    bool BuildPacket(const std::string& strSource, const std::string& strPacket);
    // Moves the oldest queued text into `strMessage`; false, leaving it as it was,
    // when the queue is empty.
    bool TakeMessage(std::string& strMessage);
    // Options for the jobs to come.
    void SetOptions(const PackOptions& options) { m_options = options; }
    bool IsRunning() const { return m_bRunning; }
    // Entries of the current or last job that are not in its packet, in scan order.
    const std::vector<SkippedEntry>& Skipped() const { return m_arrSkipped; }
    // True when the last job failed because its source folder could not be listed
    // (only with PackOptions::sourceRequired).
    bool SourceFailed() const { return m_failure == Failure::Source; }

    int m_nFiles = 0;    // file lines of the current or last job
    int m_nFolders = 0;  // folder lines of the current or last job

protected:
    enum class Failure { None, Data, Index, TooLarge, Source, Descriptors };
    struct ListedEntry {  // an entry kept for sorting, or for the reading thread
        std::string name;
        EntryKind kind;
        bool exact;  // the name is the entry's own (CFileFind::IsNameExact)
        std::uint64_t inode;  // CFileFind::GetListedInode
    };

    // Hooks for where the bytes go; as given here they are the dialog's job: two work
    // files, then the packet written front to back from them.
    // Makes ready what the scan writes into; false (the reason shown) ends the job.
    virtual bool OpenOutput(const std::string& strPacket);
    // After the scan: the packet made whole at `strPacket`, "打包完成!" queued; false
    // with the reason queued.
    virtual bool FinishOutput(const std::string& strPacket);
    // On every way out of the job: closes (and removes what must not stay).
    virtual void CloseOutput();
    // Moves the pending index lines to where they are kept; false on a write error.
    virtual bool FlushIndex();
    // True when every folder is listed whole before its first entry is handled.
    virtual bool ListsFolderFirst() const { return false; }
    // Around the entries of one folder listed whole: `entries` and `plans` side by side.
    virtual void BeginFolder(const std::string&, const std::vector<ListedEntry>&, const std::vector<EntryPlan>&) {}
    virtual void EndFolder() {}
    // Appends the content of the file `name` of `folder` (which ends with a separator)
    // to the data; its length, or -1 when it is not packed (the skip or failure recorded).
    virtual long long AppendFileData(const std::string& folder, const std::string& name);

    // Opens the source file `name` of `folder` (without a folder, `name` is its whole
    // path) for the copy, without a look at it when the listing gave its `inode` (see
    // CFile::OpenListedAt); false with the reason it is not packed, the file closed.
    // Changes nothing of the job's, so it may run on another thread.
    bool OpenSource(CFile& source, const CFolder* folder, const char* name, SkipReason& reason,
                    std::uint64_t inode = 0) const;
    // Appends `source` from its position on (`total` of its bytes already in) until
    // its end, through the copy buffer; the file's length in all, -1 (failure set), or
    // kNotPlain (see ReadFailed).
    long long CopyFileData(CFile& source, long long total);
    // What a copy returns for a file that its first read found to be no plain file (one
    // opened without a look, replaced since the listing: see CFile::Read). Nothing of it
    // was copied; it is skipped as not a file, and the job goes on.
    static constexpr long long kNotPlain = -3;
    // The copy's result once a read of `source` failed: kNotPlain for a file that is no
    // plain file, else -1 with the job's failure set.
    long long ReadFailed(const CFile& source);
    // A copy's result `length` for the file `name` of `folder` as AppendFileData returns
    // it: kNotPlain skipped as not a file (-1), anything else as it is. The path is made
    // only for a file skipped, not for every file packed.
    long long PackedOrSkipped(long long length, const std::string& folder, const std::string& name);
    // Adds `size` bytes to the data through the copy buffer; false (failure set) past the limit or on a write error.
    bool AppendBytes(const char* bytes, std::size_t size, long long total);
    // Writes the copy buffer's contents to m_fileData; false (failure set) on a write error.
    virtual bool FlushData();
    // Queues the message of the failure met during the scan; true when there is none.
    bool QueueFailure();
    void AddMessage(std::string strMessage);
    void Skip(const std::string& strPath, SkipReason reason);
    // Queues `format` with `path` (below the source) in its "%s".
    void Tell(const char* format, const std::string& path);
    void Fail(Failure failure);
    bool Failed() const { return m_failure != Failure::None; }
    const PackOptions& Options() const { return m_options; }

    CFile m_fileData;   // where the data goes: the data work file
    CFile m_fileIndex;  // where index lines go once flushed: the index work file
    FileId m_idData;    // the job's own files, never packed
    FileId m_idIndex;
    FileId m_idPacket;  // the packet the job replaces, when it exists: never packed either
    std::vector<char> m_buffer;     // copy buffer, allocated once per job
    std::size_t m_nBuffered = 0;    // file contents in m_buffer not yet in m_fileData
    std::string m_strIndexPending;  // index lines not yet written to m_fileIndex
    std::string m_strLine;          // the index line being made, its room kept from entry to entry
    std::size_t m_nIndexFlushSize;  // pending index lines are flushed at this size
    long long m_nIndexLength = 0;

private:
    struct Subfolder {
        std::string name;    // as listed, for the path
        std::string stored;  // as the index holds it
    };

    bool ScanFolder(const std::string& strFolder, const std::string& strPrefix);
    void PumpMessages();

    EntryPlan PlanEntry(const std::string& prefix, const std::string& name, EntryKind kind, bool exact) const;
    void HandleEntry(const std::string& folder, const std::string& prefix, const std::string& name,
                     const EntryPlan& plan, std::vector<Subfolder>& subfolders);
    void LeaveOut(const char* format, const std::string& path, SkipReason reason);
    bool RunJob(const std::string& strSource, const std::string& strPacket);
    bool OpenWorkFiles();
    bool WriteIndexLine(const std::string& strLine);
    bool WritePacket(const std::string& strPacket, long long nData, long long nIndex);
    bool OpenUnnamedWorkFile(CFile& file, const std::string& folder);
    bool CopyWorkFile(CFile& kept, const std::string& strPath, const FileId& id, CFile& packet, long long nExpected);
    bool IsWorkFile(const CFile& file) const;

    std::deque<std::string> m_lstMessages;

public:
    int m_nOffset = 0;  // packet offset at which the next packed file's content will stand

private:
    CFileHold m_holdData;   // the work files stay ours from their creation to the job's end,
    CFileHold m_holdIndex;  // closed and re-opened for the copy or not

    PackOptions m_options;
    std::string m_strDataPath;
    std::string m_strIndexPath;
    std::unordered_set<FileId, FileIdHash> m_setEntered;  // every folder the job has listed: none twice
    std::size_t m_nRootLength = 0;       // of the source folder's path, with its separator
    std::vector<SkippedEntry> m_arrSkipped;
    Failure m_failure = Failure::None;
    bool m_bRunning = false;
};
