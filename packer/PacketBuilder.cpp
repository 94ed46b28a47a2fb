// The packing job: a scan into two work files, then the packet written front to back.
#include "packer/PacketBuilder.h"

#include <algorithm>

#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"
#include "platform/SignalGuard.h"
#include "settings/ProgramDir.h"

const char kDataWorkFile[] = "_data_temp.dat";
const char kIndexWorkFile[] = "_index_temp.txt";
const char kMsgNoDataTemp[] = "无法创建临时数据文件\r\n";
const char kMsgNoIndexTemp[] = "无法创建临时索引文件\r\n";
const char kMsgCannotList[] = "不能打开源文件夹,可能为空\r\n";
const char kMsgNoTarget[] = "无法创建目标文件\r\n";
const char kMsgDataError[] = "数据读写错误!\r\n";
const char kMsgIndexError[] = "索引读写错误!\r\n";
const char kMsgTooLarge[] = "打包数据超过 2GB 上限!\r\n";
const char kMsgBackslashName[] = "名称含有反斜杠,已跳过: %s\r\n";
const char kMsgLineBreakName[] = "名称含有换行符,已跳过: %s\r\n";
const char kMsgCodePageName[] = "名称无法用当前代码页表示,已跳过: %s\r\n";
const char kMsgDriveName[] = "名称以盘符开头,已跳过: %s\r\n";
const char kMsgFolderAgain[] = "文件夹已经打包过, 不再进入: %s\r\n";
const char kMsgPacketItself[] = "这是要替换的数据包本身,已跳过: %s\r\n";
const char kMsgNoDescriptor[] = "进程已无可用的文件描述符, 无法打开: %s\r\n";
const char kMsgDone[] = "打包完成!";

namespace {

// Index lines are gathered and written to the work file in pieces of about this size.
constexpr std::size_t kIndexFlushSize = 64 * 1024;

// The work files and the packet are the job's alone while it holds them: on POSIX
// through a lock taken before anything is truncated (a second job is refused, the
// other's files stay whole). A link planted at a work file's name is never followed.
constexpr unsigned kWorkFileMode = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::modeNoLink;
constexpr unsigned kPacketMode = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;

// A CR or LF in a name would end its index line early.
bool NameHoldsLineBreak(const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; }

std::string FormatSkipMessage(const char* format, const std::string& path) {
    std::string message = format;
    message.replace(message.find("%s"), 2, path);
    return message;
}

}  // namespace

CPacketBuilder::CPacketBuilder() : m_nIndexFlushSize(kIndexFlushSize) {}

CPacketBuilder::~CPacketBuilder() = default;

bool CPacketBuilder::BuildPacket(const std::string& strSource, const std::string& strPacket) {
    if (m_bRunning) return false;
    m_bRunning = true;
    bool ok = RunJob(strSource, strPacket);
    CloseOutput();
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_bRunning = false;
    return ok;
}

bool CPacketBuilder::TakeMessage(std::string& strMessage) {
    if (m_lstMessages.empty()) return false;
    strMessage = std::move(m_lstMessages.front());
    m_lstMessages.pop_front();
    return true;
}

bool CPacketBuilder::RunJob(const std::string& strSource, const std::string& strPacket) {
    m_nOffset = kPacketHeaderSize;
    m_nFiles = 0;
    m_nFolders = 0;
    m_nIndexLength = 0;
    m_nBuffered = 0;
    m_strIndexPending.clear();
    m_setEntered.clear();
    m_arrSkipped.clear();
    m_failure = Failure::None;
    m_buffer.assign(m_options.bufferSize > 0 ? m_options.bufferSize : 4096, '\0');

    m_idData = FileId();
    m_idIndex = FileId();
    m_idPacket = FileId();
    if (!OpenOutput(strPacket)) return false;
    ScanFolder(strSource, "");
    return FinishOutput(strPacket);
}

bool CPacketBuilder::OpenOutput(const std::string&) { return OpenWorkFiles(); }

bool CPacketBuilder::FinishOutput(const std::string& strPacket) {
    FlushData();
    FlushIndex();
    long long nData = m_fileData.GetLength();
    long long nIndex = m_fileIndex.GetLength();
    // Named work files are opened again for the copy; unnamed ones are read as they are.
    const bool close = !m_options.unnamedWorkFiles;
    if ((close && !m_fileData.Close()) || nData < 0) Fail(Failure::Data);
    if ((close && !m_fileIndex.Close()) || nIndex < 0) Fail(Failure::Index);
    return QueueFailure() && WritePacket(strPacket, nData, nIndex);
}

void CPacketBuilder::CloseOutput() {
    m_fileData.Close();
    m_fileIndex.Close();
    m_holdData.Release();
    m_holdIndex.Release();
}

bool CPacketBuilder::QueueFailure() {
    switch (m_failure) {
        case Failure::None: return true;
        case Failure::Data: AddMessage(kMsgDataError); return false;
        case Failure::Index: AddMessage(kMsgIndexError); return false;
        case Failure::TooLarge: AddMessage(kMsgTooLarge); return false;
        case Failure::Source: return false;       // the host names the source
        case Failure::Descriptors: return false;  // queued with the file's path
    }
    return false;
}

std::string WorkFolderOf(const std::string& workDir) {
    std::string folder = workDir;
    if (folder.empty()) {
        GetProgramDir(folder);
        folder += "data";
    }
    return folder;
}

bool CPacketBuilder::OpenWorkFiles() {
    std::string folder = WorkFolderOf(m_options.workDir);
    MakeDir(folder);  // usually there already
    folder = WithOneTrailingChar(folder, kPathSep);
    m_strDataPath = folder + kDataWorkFile;
    m_strIndexPath = folder + kIndexWorkFile;
    if (m_options.unnamedWorkFiles) {
        if (!OpenUnnamedWorkFile(m_fileData, folder)) {
            ShowMessageBox(kMsgNoDataTemp);
            return false;
        }
        if (!OpenUnnamedWorkFile(m_fileIndex, folder)) {
            m_fileData.Close();
            ShowMessageBox(kMsgNoIndexTemp);
            return false;
        }
        m_idData = m_fileData.GetId();
        m_idIndex = m_fileIndex.GetId();
        return true;
    }

    if (!m_fileData.Open(m_strDataPath, kWorkFileMode) || !m_holdData.Take(m_fileData)) {
        m_fileData.Close();
        ShowMessageBox(kMsgNoDataTemp);
        return false;
    }
    if (!m_fileIndex.Open(m_strIndexPath, kWorkFileMode) || !m_holdIndex.Take(m_fileIndex)) {
        m_fileIndex.Close();
        m_fileData.Close();
        m_holdData.Release();
        ShowMessageBox(kMsgNoIndexTemp);
        return false;
    }
    m_idData = m_fileData.GetId();
    m_idIndex = m_fileIndex.GetId();
    return true;
}

// A work file without a name (or whose name goes at once, signals held meanwhile),
// open for writing and reading back.
bool CPacketBuilder::OpenUnnamedWorkFile(CFile& file, const std::string& folder) {
    CSignalsHeld held;
    std::string path;
    return file.OpenTempBeside(folder + "velkaron-pack", path,
                               CFile::modeReadWrite | CFile::modeTemporary | CFile::modeUnnamed) ==
           CFile::TempResult::Opened;
}

bool CPacketBuilder::ScanFolder(const std::string& strFolder, const std::string& strPrefix) {
    if (m_failure != Failure::None) return false;
    const std::string folder = WithOneTrailingChar(strFolder, kPathSep);
    // The prefix is made of stored names, which may be in another code page than the
    // process's: it is extended, never trimmed.
    const std::string prefix = strPrefix.empty() ? strPrefix : strPrefix + '\\';
    if (strPrefix.empty()) m_nRootLength = folder.size();

    // Every real folder is entered once: a link to one already entered (or being
    // entered: a loop) keeps its folder line and adds nothing, so links fanning out
    // cannot multiply the tree.
    const FileId id = GetPathId(folder);
    if (id.valid && !m_setEntered.insert(id).second) {
        Tell(kMsgFolderAgain, folder.substr(0, folder.size() - 1));
        return true;
    }

    std::vector<Subfolder> subfolders;
    {
        CFileFind find;
        const std::string pattern = folder + kPathSep + "*.*";
        if (!find.FindFile(pattern)) {
            if (strPrefix.empty() && m_options.sourceRequired) {
                Fail(Failure::Source);
                return false;
            }
            AddMessage(kMsgCannotList);
            if (!strPrefix.empty()) {
                Skip(folder, PathTooLongToOpen(pattern) ? SkipReason::PathTooLong : SkipReason::Unlistable);
            }
            return false;
        }
        const bool listFirst = m_options.sorted || ListsFolderFirst();
        std::vector<ListedEntry> entries;  // only when listed first
        // One pump per entry: as it is listed, or, for a folder listed first, as it is handled.
        while (m_failure == Failure::None && find.FindNextFile()) {
            const bool dots = find.IsDirectory() && find.IsDots();
            if (!listFirst || dots) PumpMessages();
            if (dots) continue;
            if (listFirst) {
                entries.push_back({find.GetFileName(), find.GetKind(), find.IsNameExact(), find.GetListedInode()});
            } else {
                const std::string& name = find.GetFileName();
                HandleEntry(folder, prefix, name, PlanEntry(prefix, name, find.GetKind(), find.IsNameExact()),
                            subfolders);
            }
        }
        if (m_options.sorted) {
            std::sort(entries.begin(), entries.end(),
                      [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
        }
        std::vector<EntryPlan> plans;
        plans.reserve(entries.size());
        for (const ListedEntry& entry : entries) plans.push_back(PlanEntry(prefix, entry.name, entry.kind, entry.exact));
        BeginFolder(folder, entries, plans);
        for (std::size_t i = 0; i < entries.size() && m_failure == Failure::None; ++i) {
            PumpMessages();
            HandleEntry(folder, prefix, entries[i].name, plans[i], subfolders);
        }
        EndFolder();
    }

    for (const Subfolder& sub : subfolders) {
        if (m_failure != Failure::None) break;
        ScanFolder(folder + sub.name, prefix + sub.stored);
    }
    return true;
}

// Every decision on what the packet leaves out is made here, before anything is opened:
// names it cannot hold or that readers would misread, and entries that are no files.
EntryPlan CPacketBuilder::PlanEntry(const std::string& prefix, const std::string& name, EntryKind kind,
                                    bool exact) const {
    EntryPlan plan;
    auto leaveOut = [&plan](const char* message, SkipReason reason) {
        plan.action = EntryPlan::Action::LeaveOut;
        plan.message = message;
        plan.reason = reason;
        return plan;
    };
    if (!exact) return leaveOut(kMsgCodePageName, SkipReason::CodePage);
    if (NameHoldsBackslash(name)) return leaveOut(kMsgBackslashName, SkipReason::Backslash);
    if (NameHoldsLineBreak(name)) return leaveOut(kMsgLineBreakName, SkipReason::LineBreak);
    if (m_options.convertName) {
        std::string stored = name;
        if (!m_options.convertName(stored)) {
            plan.reason = SkipReason::Encoding;
            return plan;
        }
        if (stored != name) plan.stored = std::move(stored);
    }
    // Below the top, the path begins with the prefix, which passed this already.
    if (prefix.empty() && PathLooksAbsolute(plan.stored.empty() ? name : plan.stored)) {
        return leaveOut(kMsgDriveName, SkipReason::DriveLetter);
    }
    // Opening a FIFO or a device may have effects of its own: they are never opened.
    if (kind == EntryKind::Other) {
        plan.reason = SkipReason::NotAFile;
        return plan;
    }
    plan.action = kind == EntryKind::Folder ? EntryPlan::Action::Folder : EntryPlan::Action::File;
    return plan;
}

void CPacketBuilder::HandleEntry(const std::string& folder, const std::string& prefix, const std::string& name,
                                 const EntryPlan& plan, std::vector<Subfolder>& subfolders) {
    const std::string& stored = plan.stored.empty() ? name : plan.stored;
    switch (plan.action) {
        case EntryPlan::Action::LeaveOut: return LeaveOut(plan.message, folder + name, plan.reason);
        case EntryPlan::Action::Skip: return Skip(folder + name, plan.reason);
        case EntryPlan::Action::Folder: {
            FormatIndexLine(m_strLine, 'D', m_nOffset, 0, prefix, stored);
            if (!WriteIndexLine(m_strLine)) return;
            subfolders.push_back({name, stored});
            if (m_options.indexTexts) AddMessage(m_strLine);
            ++m_nFolders;
            return;
        }
        case EntryPlan::Action::File: break;
    }
    long long length = AppendFileData(folder, name);
    if (length < 0) return;
    FormatIndexLine(m_strLine, 'F', m_nOffset, static_cast<int>(length), prefix, stored);
    m_nOffset += static_cast<int>(length);
    if (!WriteIndexLine(m_strLine)) return;
    if (m_options.indexTexts) AddMessage(m_strLine);
    ++m_nFiles;
}

// Queues `format` with the entry's path below the source, as the user knows it (in the
// local encoding, whatever the index stores).
void CPacketBuilder::Tell(const char* format, const std::string& path) {
    std::string shown = path.size() > m_nRootLength ? path.substr(m_nRootLength) : path;
    std::replace(shown.begin(), shown.end(), kPathSep, '\\');
    AddMessage(FormatSkipMessage(format, shown));
}

void CPacketBuilder::LeaveOut(const char* format, const std::string& path, SkipReason reason) {
    Tell(format, path);
    Skip(path, reason);
}

long long CPacketBuilder::AppendFileData(const std::string& folder, const std::string& name) {
    const std::string path = folder + name;
    CFile source;
    SkipReason reason;
    if (!OpenSource(source, nullptr, path.c_str(), reason)) {
        Skip(path, reason);
        return -1;
    }
    return PackedOrSkipped(CopyFileData(source, 0), folder, name);
}

bool CPacketBuilder::OpenSource(CFile& source, const CFolder* folder, const char* name, SkipReason& reason,
                                std::uint64_t inode) const {
    const bool opened = folder != nullptr ? source.OpenListedAt(*folder, name, inode)
                                          : source.Open(name, CFile::modeRead);
    if (!opened) {
        // On Windows the job's own open files fail here, held exclusively by the job.
        const std::string path = folder != nullptr ? folder->Path() + name : std::string(name);
        FileId id = GetPathId(path);
        reason = id == m_idData || id == m_idIndex ? SkipReason::WorkFile
                 : source.OutOfDescriptors()        ? SkipReason::NoDescriptor
                 : source.FoundFolder()             ? SkipReason::NotAFile
                 : PathTooLongToOpen(path)          ? SkipReason::PathTooLong
                                                    : SkipReason::Unreadable;
        return false;
    }
    // What the listing took for a file but is none (Wine lists FIFOs as files), and the
    // job's own open files, are skipped like unreadable files; none is held open (on
    // Windows an open packet could not be replaced).
    if (!source.IsRegular()) {
        reason = SkipReason::NotAFile;
    } else if (IsWorkFile(source)) {
        reason = SkipReason::WorkFile;
    } else if (source.GetId() == m_idPacket) {
        reason = SkipReason::Packet;
    } else {
        return true;
    }
    source.Close();
    return false;
}

long long CPacketBuilder::CopyFileData(CFile& source, long long total) {
    // Contents gather in the copy buffer and reach the data file a full buffer at a
    // time, so a run of small files costs no write each.
    for (;;) {
        std::size_t room = m_buffer.size() - m_nBuffered;
        long long n = source.Read(m_buffer.data() + m_nBuffered, room);
        if (n == 0) break;
        if (n < 0) return ReadFailed(source);
        if (m_nOffset + total + n > m_options.sizeLimit) {
            Fail(Failure::TooLarge);
            return -1;
        }
        total += n;
        m_nBuffered += static_cast<std::size_t>(n);
        if (m_nBuffered == m_buffer.size() && !FlushData()) return -1;
        // A short read at the end saves a read that returns 0.
        if (source.ReadReachedEnd(room, n, total)) break;
    }
    return total;
}

long long CPacketBuilder::PackedOrSkipped(long long length, const std::string& folder, const std::string& name) {
    if (length != kNotPlain) return length;
    Skip(folder + name, SkipReason::NotAFile);
    return -1;
}

long long CPacketBuilder::ReadFailed(const CFile& source) {
    if (!source.IsRegular()) return kNotPlain;
    Fail(Failure::Data);
    return -1;
}

bool CPacketBuilder::AppendBytes(const char* bytes, std::size_t size, long long total) {
    if (m_nOffset + total + static_cast<long long>(size) > m_options.sizeLimit) {
        Fail(Failure::TooLarge);
        return false;
    }
    while (size > 0) {
        std::size_t n = std::min(size, m_buffer.size() - m_nBuffered);
        std::copy(bytes, bytes + n, m_buffer.data() + m_nBuffered);
        m_nBuffered += n;
        bytes += n;
        size -= n;
        if (m_nBuffered == m_buffer.size() && !FlushData()) return false;
    }
    return true;
}

bool CPacketBuilder::FlushData() {
    if (m_nBuffered == 0) return true;
    bool ok = m_fileData.Write(m_buffer.data(), m_nBuffered);
    m_nBuffered = 0;
    if (!ok) Fail(Failure::Data);
    return ok;
}

void CPacketBuilder::AddMessage(std::string strMessage) { m_lstMessages.push_back(std::move(strMessage)); }

void CPacketBuilder::PumpMessages() { ::PumpMessages(); }

bool CPacketBuilder::WriteIndexLine(const std::string& strLine) {
    if (m_nIndexLength + static_cast<long long>(strLine.size()) > m_options.sizeLimit) {
        Fail(Failure::TooLarge);
        return false;
    }
    // Flushed before the line would take the pending lines past their size, so that
    // they never hold more than that.
    if (m_strIndexPending.size() + strLine.size() > m_nIndexFlushSize && !FlushIndex()) return false;
    m_strIndexPending += strLine;
    m_nIndexLength += static_cast<long long>(strLine.size());
    return true;
}

bool CPacketBuilder::FlushIndex() {
    if (m_strIndexPending.empty()) return true;
    bool ok = m_fileIndex.Write(m_strIndexPending.data(), m_strIndexPending.size());
    m_strIndexPending.clear();
    if (!ok) Fail(Failure::Index);
    return ok;
}

bool CPacketBuilder::WritePacket(const std::string& strPacket, long long nData, long long nIndex) {
    if (nData + kPacketHeaderSize > m_options.sizeLimit || nIndex > m_options.sizeLimit) {
        AddMessage(kMsgTooLarge);
        return false;
    }
    // A packet path that names a work file (through a link, or a work folder at the
    // packet's folder) would have the copy read what it appends: it fails as that copy.
    // Standard output is looked at once it is ours: opening it changes nothing.
    CFile packet;
    if (m_options.toStandardOutput && !packet.OpenStandardOutput()) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    const FileId packetId = m_options.toStandardOutput ? packet.GetId() : GetPathId(strPacket);
    if (packetId == m_idData || packetId == m_idIndex) {
        AddMessage(packetId == m_idData ? kMsgDataError : kMsgIndexError);
        return false;
    }
    if (!m_options.toStandardOutput && !packet.Open(strPacket, kPacketMode)) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    std::string header = FormatPacketHeader(static_cast<int>(nData + kPacketHeaderSize), static_cast<int>(nIndex));
    if (!packet.Write(header.data(), header.size()) ||
        !CopyWorkFile(m_fileData, m_strDataPath, m_idData, packet, nData)) {
        AddMessage(kMsgDataError);
        return false;
    }
    if (!CopyWorkFile(m_fileIndex, m_strIndexPath, m_idIndex, packet, nIndex) || !packet.Close()) {
        AddMessage(kMsgIndexError);
        return false;
    }
    AddMessage(kMsgDone);
    return true;
}

// Copies the work file that the scan wrote, and no other: never more than its length,
// so that a file growing under the copy (the packet itself, whatever way it got there)
// ends it with an error instead of filling the disk.
// A work file still open (one without a name) is read from its start instead.
bool CPacketBuilder::CopyWorkFile(CFile& kept, const std::string& strPath, const FileId& id, CFile& packet,
                                  long long nExpected) {
    CFile reopened;
    if (!kept.IsOpen() && (!reopened.Open(strPath, CFile::modeRead | CFile::modeNoLink) || reopened.GetId() != id)) {
        return false;
    }
    CFile& work = kept.IsOpen() ? kept : reopened;
    if (kept.IsOpen() && !kept.Seek(0)) return false;
    long long total = 0;
    for (;;) {
        long long n = work.Read(m_buffer.data(), m_buffer.size());
        if (n == 0) break;
        if (n < 0 || total + n > nExpected) return false;
        if (!packet.Write(m_buffer.data(), static_cast<std::size_t>(n))) return false;
        total += n;
    }
    return total == nExpected;
}

bool CPacketBuilder::IsWorkFile(const CFile& file) const {
    FileId id = file.GetId();
    return id == m_idData || id == m_idIndex;
}

void CPacketBuilder::Skip(const std::string& strPath, SkipReason reason) {
    if (reason == SkipReason::Packet) Tell(kMsgPacketItself, strPath);
    m_arrSkipped.push_back({strPath, reason});
}

void CPacketBuilder::Fail(Failure failure) {
    if (m_failure == Failure::None) m_failure = failure;
}
