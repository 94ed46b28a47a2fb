// The packing job: scans a source folder into two work files, then writes the
// packet front to back (header, data, index) and checks every byte count.
// Progress reaches the host through a message queue and two counters.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
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
    long long sizeLimit = kPacketMaxNumber; // largest data offset or index length allowed
    bool sorted = false;                    // each folder's entries in byte order of their names
    NameConverter convertName;              // empty: names are stored as the listing gives them
};

// Why an entry of the source tree is not in the packet.
enum class SkipReason { Unreadable, NotAFile, WorkFile, Unlistable, Backslash, LineBreak, Encoding, CodePage, DriveLetter };

struct SkippedEntry {
    std::string path;  // full path in the source tree
    SkipReason reason;
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

    int m_nFiles = 0;    // file lines of the current or last job
    int m_nFolders = 0;  // folder lines of the current or last job

private:
    enum class Failure { None, Data, Index, TooLarge };
    struct Subfolder {
        std::string name;    // as listed, for the path
        std::string stored;  // as the index holds it
    };
    struct ListedEntry {  // an entry kept for sorting
        std::string name;
        EntryKind kind;
        bool exact;  // the name is the entry's own (CFileFind::IsNameExact)
    };

    bool ScanFolder(const std::string& strFolder, const std::string& strPrefix);
    long long AppendFileData(const std::string& strPath);
    void AddMessage(std::string strMessage);
    void PumpMessages();

    void HandleEntry(const std::string& folder, const std::string& prefix, const std::string& name, EntryKind kind,
                     bool exact, std::vector<Subfolder>& subfolders);
    void LeaveOut(const char* format, const std::string& path, SkipReason reason);
    bool RunJob(const std::string& strSource, const std::string& strPacket);
    bool OpenWorkFiles();
    bool WriteIndexLine(const std::string& strLine);
    bool FlushIndex();
    bool FlushData();
    bool WritePacket(const std::string& strPacket, long long nData, long long nIndex);
    bool CopyWorkFile(const std::string& strPath, const FileId& id, CFile& packet, long long nExpected);
    bool IsWorkFile(const CFile& file) const;
    void Skip(const std::string& strPath, SkipReason reason);
    void Fail(Failure failure);

    std::deque<std::string> m_lstMessages;

public:
    int m_nOffset = 0;  // packet offset at which the next packed file's content will stand

private:
    CFile m_fileData;
    CFile m_fileIndex;
    CFileHold m_holdData;   // the work files stay ours from their creation to the job's end,
    CFileHold m_holdIndex;  // closed and re-opened for the copy or not

    PackOptions m_options;
    std::string m_strDataPath;
    std::string m_strIndexPath;
    FileId m_idData;
    FileId m_idIndex;
    std::vector<FileId> m_stackFolders;  // identities of the folders on the path being scanned
    std::size_t m_nRootLength = 0;       // of the source folder's path, with its separator
    std::vector<char> m_buffer;          // copy buffer, allocated once per job
    std::size_t m_nBuffered = 0;         // file contents in m_buffer not yet in the data work file
    std::string m_strIndexPending;       // index lines not yet written to the work file
    std::vector<SkippedEntry> m_arrSkipped;
    long long m_nIndexLength = 0;
    Failure m_failure = Failure::None;
    bool m_bRunning = false;
};
