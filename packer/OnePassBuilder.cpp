// The one-pass job: a temporary packet beside the packet, finished in place and
// renamed over it; files copied inside the kernel where the system can, and read
// ahead on other threads when asked for.
#include "packer/OnePassBuilder.h"

#include <algorithm>

#include "platform/FileSystem.h"

namespace {
const std::string kHeaderRoom(kPacketHeaderSize, ' ');
// A job that syncs asks the disk to take what was written each time this much more
// has been: the packet goes to the disk while it is made, and the flush at the end
// has little left to wait for. Other jobs do not wait for the disk at all (asking
// for write-back slows the copy down by as much as it saves, see docs/benchmarks.md).
constexpr long long kWriteBackStep = 8 * 1024 * 1024;
// Large files are copied inside the kernel this much at a time.
constexpr long long kKernelCopyStep = 16 * 1024 * 1024;
// The pipe's ring: small chunks keep both threads busy from the file's first bytes.
constexpr std::size_t kPipeChunk = 256 * 1024;
constexpr int kPipeChunks = 4;
}  // namespace

COnePassBuilder::COnePassBuilder() = default;

COnePassBuilder::~COnePassBuilder() = default;

bool COnePassBuilder::OpenOutput(const std::string& strPacket) {
    m_strTarget = FollowLinks(strPacket);
    m_nIndexSpilled = 0;
    m_nWritten = m_nWrittenBack = 0;
    m_nIndexFlushSize = m_onePass.indexInMemory > 0 ? m_onePass.indexInMemory : 1;
    if (!MayReplace(m_strTarget) || !OpenTemporaryFiles()) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    // The header's place is held by spaces until the index's place is known.
    if (!m_fileData.Write(kHeaderRoom.data(), kHeaderRoom.size())) {
        AddMessage(kMsgDataError);
        return false;
    }
    Written(kPacketHeaderSize);
    if (m_onePass.jobs > 1) {  // the job's thread reads too
        m_pReadAhead.reset(new CReadAhead(
            m_onePass.jobs - 1, m_onePass.readAheadBytes, m_onePass.pipeFrom,
            [this](CFile& file, const CFolder& folder, const char* name, SkipReason& reason) {
                return OpenSource(file, &folder, name, reason);
            }));
        if (m_pReadAhead->Threads() == 0) m_pReadAhead.reset();
    }
    return true;
}

// A folder, or a file this user may not write, is never replaced by a packet; nor is
// anything but a plain file (the command line writes into devices in two passes).
bool COnePassBuilder::MayReplace(const std::string& target) const {
    switch (GetTargetKind(target)) {
        case PathKind::Missing: return true;
        case PathKind::File: {
            CFile probe;
            return probe.Open(target, CFile::modeWrite);
        }
        default: return false;
    }
}

// The packet and the index beyond what memory holds live beside the packet, on its
// disk, until the end; the index file has no name (or none that lasts). Both exist
// before the scan, so that the job knows them when it meets them in the tree.
bool COnePassBuilder::OpenTemporaryFiles() {
    if (m_fileData.OpenTempBeside(m_strTarget, m_strTempPath) != CFile::TempResult::Opened) {
        m_strTempPath.clear();
        return false;
    }
    m_guard.Arm(m_strTempPath);
    std::string indexPath;
    if (m_fileIndex.OpenTempBeside(m_strTarget, indexPath, CFile::modeReadWrite | CFile::modeTemporary) !=
        CFile::TempResult::Opened) {
        return false;
    }
    m_idData = m_fileData.GetId();
    m_idIndex = m_fileIndex.GetId();
    return true;
}

bool COnePassBuilder::FlushIndex() {
    if (m_strIndexPending.empty()) return true;
    bool ok = m_fileIndex.Write(m_strIndexPending.data(), m_strIndexPending.size());
    m_nIndexSpilled += static_cast<long long>(m_strIndexPending.size());
    m_strIndexPending.clear();
    if (!ok) Fail(Failure::Index);
    return ok;
}

void COnePassBuilder::BeginFolder(const std::string& folder, const std::vector<ListedEntry>& entries,
                                  const std::vector<EntryPlan>& plans) {
    m_folder.Open(folder);
    m_nFolderLength = folder.size();
    if (!m_pReadAhead) return;
    std::vector<const std::string*> files;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (plans[i].action == EntryPlan::Action::File) files.push_back(&entries[i].name);
    }
    m_pReadAhead->Begin(m_folder, std::move(files));
}

void COnePassBuilder::EndFolder() {
    if (m_pReadAhead) m_pReadAhead->Drain();
    m_item.file.Close();
    m_folder.Close();
}

long long COnePassBuilder::AppendFileData(const std::string& strPath) {
    ReadItem* item = &m_item;
    if (m_pReadAhead) {
        item = m_pReadAhead->Next();
        if (item == nullptr) {  // more files asked for than were handed in: never so
            Fail(Failure::Data);
            return -1;
        }
    } else {
        m_item.file.Close();
        m_item.opened = OpenSource(m_item.file, &m_folder, strPath.c_str() + m_nFolderLength, m_item.reason);
    }
    if (!item->opened) {
        Skip(strPath, item->reason);
        return -1;
    }
    if (item->readError) {
        Fail(Failure::Data);
        return -1;
    }
    const long long head = static_cast<long long>(item->head.size());
    if (head > 0 && !AppendHead(item->head)) return -1;
    if (item->complete) return head;
    const long long opened = item->file.GetOpenedLength();
    if (opened >= m_onePass.pipeFrom && Pipe() != nullptr) return CopyThroughPipe(item->file, head);
    if (opened >= m_onePass.kernelCopyFrom) return CopyInKernel(item->file, head);
    return CopyFileData(item->file, head);
}

// A head as long as the buffer goes out from where it was read, not through the buffer.
bool COnePassBuilder::AppendHead(const std::vector<char>& head) {
    if (head.size() < m_buffer.size()) return AppendBytes(head.data(), head.size(), 0);
    if (m_nOffset + static_cast<long long>(head.size()) > Options().sizeLimit) {
        Fail(Failure::TooLarge);
        return false;
    }
    if (!FlushData()) return false;
    if (!m_fileData.Write(head.data(), head.size())) {
        Fail(Failure::Data);
        return false;
    }
    Written(static_cast<long long>(head.size()));
    return true;
}

long long COnePassBuilder::CopyInKernel(CFile& source, long long total) {
    if (!FlushData()) return -1;
    const long long room = Options().sizeLimit - m_nOffset - total;  // bytes the packet may still take
    long long copied = 0;
    CFile::CopyResult result = CFile::CopyResult::Limit;
    while (result == CFile::CopyResult::Limit && copied <= room) {
        long long step = 0;
        result = m_fileData.CopyFrom(source, std::min(kKernelCopyStep, room + 1 - copied), step);
        copied += step;
        Written(step);
    }
    total += copied;
    if (copied > room) {
        Fail(Failure::TooLarge);
        return -1;
    }
    if (result == CFile::CopyResult::Failed) {
        Fail(Failure::Data);
        return -1;
    }
    if (result == CFile::CopyResult::End && total >= source.GetOpenedLength()) return total;
    // Refused, or ended before the length the file had (files of procfs and sysfs
    // may): the rest is read until a read returns 0.
    return CopyFileData(source, total);
}

// Reading and writing the page cache both take a core: with a thread to spare, the
// file is read on it while the job's thread writes, which beats one copy inside the
// kernel (the packet's 64-byte header leaves no file's data aligned to a page).
long long COnePassBuilder::CopyThroughPipe(CFile& source, long long total) {
    if (!FlushData()) return -1;
    m_pPipe->Start(source, total);
    bool ok = true;
    for (;;) {
        const char* data = nullptr;
        const long long n = m_pPipe->Next(data);
        if (n == 0) break;
        if (n > 0 && m_nOffset + total + n > Options().sizeLimit) {
            Fail(Failure::TooLarge);
            ok = false;
            break;
        }
        if (n < 0 || !m_fileData.Write(data, static_cast<std::size_t>(n))) {
            Fail(Failure::Data);
            ok = false;
            break;
        }
        total += n;
        Written(n);
    }
    m_pPipe->Stop();
    return ok ? total : -1;
}

// Null without threads, or when the system refused the pipe its own.
CChunkPipe* COnePassBuilder::Pipe() {
    if (!m_pPipe && m_onePass.jobs > 1) m_pPipe.reset(new CChunkPipe(kPipeChunk, kPipeChunks));
    return m_pPipe && m_pPipe->Running() ? m_pPipe.get() : nullptr;
}

bool COnePassBuilder::FlushData() {
    const long long bytes = static_cast<long long>(m_nBuffered);
    if (!CPacketBuilder::FlushData()) return false;
    Written(bytes);
    return true;
}

void COnePassBuilder::Written(long long bytes) {
    m_nWritten += bytes;
    if (!m_onePass.sync || m_nWritten - m_nWrittenBack < kWriteBackStep) return;
    m_fileData.StartWriteBack(m_nWrittenBack, m_nWritten - m_nWrittenBack);
    m_nWrittenBack = m_nWritten;
}

bool COnePassBuilder::FinishOutput(const std::string&) {
    m_pReadAhead.reset();
    m_pPipe.reset();
    FlushData();
    if (!QueueFailure()) return false;
    if (!AppendIndex()) {
        AddMessage(kMsgIndexError);
        return false;
    }
    return Complete();
}

// The index after the data: what went to its temporary file, then what memory holds.
bool COnePassBuilder::AppendIndex() {
    if (m_nIndexSpilled > 0) {
        if (!m_fileIndex.Seek(0)) return false;
        long long copied = 0;
        if (m_fileData.CopyFrom(m_fileIndex, m_nIndexSpilled, copied) == CFile::CopyResult::Failed) return false;
        while (copied < m_nIndexSpilled) {
            std::size_t want = static_cast<std::size_t>(
                std::min<long long>(static_cast<long long>(m_buffer.size()), m_nIndexSpilled - copied));
            long long n = m_fileIndex.Read(m_buffer.data(), want);
            if (n <= 0 || !m_fileData.Write(m_buffer.data(), static_cast<std::size_t>(n))) return false;
            copied += n;
        }
    }
    bool ok = m_fileData.Write(m_strIndexPending.data(), m_strIndexPending.size());
    m_strIndexPending.clear();
    return ok;
}

// The header in its place and every byte count checked, then the packet takes its name.
bool COnePassBuilder::Complete() {
    const long long nIndex = m_nIndexLength;
    const std::string header = FormatPacketHeader(m_nOffset, static_cast<int>(nIndex));
    bool ok = m_fileData.GetLength() == m_nOffset + nIndex && m_fileData.Seek(0) &&
              m_fileData.Write(header.data(), header.size()) && (!m_onePass.sync || m_fileData.Flush());
    ok = m_fileData.Close() && ok;
    if (!ok) {
        AddMessage(kMsgDataError);
        return false;
    }
    if (!ReplaceFile(m_strTempPath, m_strTarget)) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    m_strTempPath.clear();
    m_guard.Disarm();
    if (m_onePass.sync && !SyncFolderOf(m_strTarget)) {
        AddMessage(kMsgDataError);
        return false;
    }
    AddMessage(kMsgDone);
    return true;
}

void COnePassBuilder::CloseOutput() {
    m_pReadAhead.reset();
    m_pPipe.reset();
    m_item.file.Close();
    m_folder.Close();
    CPacketBuilder::CloseOutput();
    if (!m_strTempPath.empty()) RemoveFile(m_strTempPath);
    m_strTempPath.clear();
    m_guard.Disarm();
}
