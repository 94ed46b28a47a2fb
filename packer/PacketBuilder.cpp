// The packing job: a scan into two work files, then the packet written front to back.
#include "packer/PacketBuilder.h"

#include <algorithm>

#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"
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
const char kMsgDone[] = "打包完成!";

namespace {

// Index lines are gathered and written to the work file in pieces of about this size.
constexpr std::size_t kIndexFlushSize = 64 * 1024;

// A CR or LF in a name would end its index line early.
bool NameHoldsLineBreak(const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; }

std::string FormatSkipMessage(const char* format, const std::string& path) {
    std::string message = format;
    message.replace(message.find("%s"), 2, path);
    return message;
}

}  // namespace

CPacketBuilder::CPacketBuilder() = default;

CPacketBuilder::~CPacketBuilder() = default;

bool CPacketBuilder::BuildPacket(const std::string& strSource, const std::string& strPacket) {
    if (m_bRunning) return false;
    m_bRunning = true;
    bool ok = RunJob(strSource, strPacket);
    m_fileData.Close();
    m_fileIndex.Close();
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
    m_stackFolders.clear();
    m_arrSkipped.clear();
    m_failure = Failure::None;
    m_buffer.assign(m_options.bufferSize > 0 ? m_options.bufferSize : 4096, '\0');

    if (!OpenWorkFiles()) return false;

    ScanFolder(strSource, "");
    FlushData();
    FlushIndex();
    long long nData = m_fileData.GetLength();
    long long nIndex = m_fileIndex.GetLength();
    if (!m_fileData.Close() || nData < 0) Fail(Failure::Data);
    if (!m_fileIndex.Close() || nIndex < 0) Fail(Failure::Index);

    switch (m_failure) {
        case Failure::None: break;
        case Failure::Data: AddMessage(kMsgDataError); return false;
        case Failure::Index: AddMessage(kMsgIndexError); return false;
        case Failure::TooLarge: AddMessage(kMsgTooLarge); return false;
    }
    return WritePacket(strPacket, nData, nIndex);
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

    if (!m_fileData.Open(m_strDataPath, CFile::modeCreate | CFile::modeWrite)) {
        ShowMessageBox(kMsgNoDataTemp);
        return false;
    }
    if (!m_fileIndex.Open(m_strIndexPath, CFile::modeCreate | CFile::modeWrite)) {
        m_fileData.Close();
        ShowMessageBox(kMsgNoIndexTemp);
        return false;
    }
    m_idData = m_fileData.GetId();
    m_idIndex = m_fileIndex.GetId();
    return true;
}

bool CPacketBuilder::ScanFolder(const std::string& strFolder, const std::string& strPrefix) {
    if (m_failure != Failure::None) return false;
    const std::string folder = WithOneTrailingChar(strFolder, kPathSep);
    // The prefix is made of stored names, which may be in another code page than the
    // process's: it is extended, never trimmed.
    const std::string prefix = strPrefix.empty() ? strPrefix : strPrefix + '\\';

    // A link back to a folder on the current path is recorded but not entered.
    FileId id = GetPathId(folder);
    for (const FileId& open : m_stackFolders) {
        if (open == id) return true;
    }

    std::vector<Subfolder> subfolders;
    {
        CFileFind find;
        if (!find.FindFile(folder + kPathSep + "*.*")) {
            AddMessage(kMsgCannotList);
            if (!strPrefix.empty()) Skip(folder, SkipReason::Unlistable);
            return false;
        }
        std::vector<std::pair<std::string, bool>> entries;  // only when sorting
        while (m_failure == Failure::None && find.FindNextFile()) {
            PumpMessages();
            if (find.IsDirectory() && find.IsDots()) continue;
            if (m_options.sorted) {
                entries.emplace_back(find.GetFileName(), find.IsDirectory());
            } else {
                HandleEntry(folder, prefix, find.GetFileName(), find.IsDirectory(), subfolders);
            }
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            if (m_failure != Failure::None) break;
            HandleEntry(folder, prefix, entry.first, entry.second, subfolders);
        }
    }

    m_stackFolders.push_back(id);
    for (const Subfolder& sub : subfolders) {
        if (m_failure != Failure::None) break;
        ScanFolder(folder + sub.name, prefix + sub.stored);
    }
    m_stackFolders.pop_back();
    return true;
}

void CPacketBuilder::HandleEntry(const std::string& folder, const std::string& prefix, const std::string& name,
                                 bool isDirectory, std::vector<Subfolder>& subfolders) {
    if (NameHoldsBackslash(name)) {
        AddMessage(FormatSkipMessage(kMsgBackslashName, prefix + name));
        Skip(folder + name, SkipReason::Backslash);
        return;
    }
    if (NameHoldsLineBreak(name)) {
        AddMessage(FormatSkipMessage(kMsgLineBreakName, prefix + name));
        Skip(folder + name, SkipReason::LineBreak);
        return;
    }
    std::string stored = name;
    if (m_options.convertName && !m_options.convertName(stored)) {
        Skip(folder + name, SkipReason::Encoding);
        return;
    }
    if (isDirectory) {
        std::string line = FormatFolderLine(m_nOffset, prefix + stored);
        if (!WriteIndexLine(line)) return;
        subfolders.push_back({name, std::move(stored)});
        AddMessage(std::move(line));
        ++m_nFolders;
        return;
    }
    long long length = AppendFileData(folder + name);
    if (length < 0) return;
    std::string line = FormatFileLine(m_nOffset, static_cast<int>(length), prefix + stored);
    m_nOffset += static_cast<int>(length);
    if (!WriteIndexLine(line)) return;
    AddMessage(std::move(line));
    ++m_nFiles;
}

long long CPacketBuilder::AppendFileData(const std::string& strPath) {
    CFile source;
    if (!source.Open(strPath, CFile::modeRead)) {
        // On Windows the job's own work files fail here, held exclusively by the job.
        FileId id = GetPathId(strPath);
        Skip(strPath, id == m_idData || id == m_idIndex ? SkipReason::WorkFile : SkipReason::Unreadable);
        return -1;
    }
    // FIFOs, devices and the job's own open work files are skipped like unreadable files.
    if (!source.IsRegular()) {
        Skip(strPath, SkipReason::NotAFile);
        return -1;
    }
    if (IsWorkFile(source)) {
        Skip(strPath, SkipReason::WorkFile);
        return -1;
    }

    // Contents gather in the copy buffer and reach the data work file a full buffer
    // at a time, so a run of small files costs no write each.
    long long total = 0;
    for (;;) {
        std::size_t room = m_buffer.size() - m_nBuffered;
        long long n = source.Read(m_buffer.data() + m_nBuffered, room);
        if (n == 0) break;
        if (n < 0) {
            Fail(Failure::Data);
            return -1;
        }
        if (m_nOffset + total + n > m_options.sizeLimit) {
            Fail(Failure::TooLarge);
            return -1;
        }
        total += n;
        m_nBuffered += static_cast<std::size_t>(n);
        if (m_nBuffered == m_buffer.size() && !FlushData()) return -1;
        // A short read that reaches the length the file had when opened is its end;
        // no further read is needed to learn so.
        if (static_cast<std::size_t>(n) < room && total >= source.GetOpenedLength()) break;
    }
    return total;
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
    m_strIndexPending += strLine;
    m_nIndexLength += static_cast<long long>(strLine.size());
    return m_strIndexPending.size() < kIndexFlushSize || FlushIndex();
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
    CFile packet;
    if (!packet.Open(strPacket, CFile::modeCreate | CFile::modeWrite)) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    std::string header = FormatPacketHeader(static_cast<int>(nData + kPacketHeaderSize), static_cast<int>(nIndex));
    if (!packet.Write(header.data(), header.size()) || !CopyWorkFile(m_strDataPath, packet, nData)) {
        AddMessage(kMsgDataError);
        return false;
    }
    if (!CopyWorkFile(m_strIndexPath, packet, nIndex) || !packet.Close()) {
        AddMessage(kMsgIndexError);
        return false;
    }
    AddMessage(kMsgDone);
    return true;
}

bool CPacketBuilder::CopyWorkFile(const std::string& strPath, CFile& packet, long long nExpected) {
    CFile work;
    if (!work.Open(strPath, CFile::modeRead)) return false;
    long long total = 0;
    for (;;) {
        long long n = work.Read(m_buffer.data(), m_buffer.size());
        if (n == 0) break;
        if (n < 0 || !packet.Write(m_buffer.data(), static_cast<std::size_t>(n))) return false;
        total += n;
    }
    return total == nExpected;
}

bool CPacketBuilder::IsWorkFile(const CFile& file) const {
    FileId id = file.GetId();
    return id == m_idData || id == m_idIndex;
}

void CPacketBuilder::Skip(const std::string& strPath, SkipReason reason) { m_arrSkipped.push_back({strPath, reason}); }

void CPacketBuilder::Fail(Failure failure) {
    if (m_failure == Failure::None) m_failure = failure;
}
