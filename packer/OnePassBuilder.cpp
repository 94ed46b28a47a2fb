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
// The stream's ring, written out a chunk at a time: small enough to stay in the
// processor's cache, in chunks that keep both threads busy from a file's first bytes.
constexpr std::size_t kStreamChunk = 256 * 1024;
constexpr int kStreamChunks = 4;
}  // namespace

COnePassBuilder::COnePassBuilder() = default;

COnePassBuilder::~COnePassBuilder() = default;

bool COnePassBuilder::OpenOutput(const std::string& strPacket) {
    m_strTarget = FollowLinks(strPacket);
    m_idPacket = GetPathId(m_strTarget);  // an old packet inside the source is not packed into the new one
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
    if (m_onePass.jobs > 1) {
        m_pStream.reset(new CFileStream(
            kStreamChunk, kStreamChunks, Options().sizeLimit - kPacketHeaderSize,
            [this](CFile& file, const CFolder& folder, const char* name, SkipReason& reason) {
                return OpenSource(file, &folder, name, reason);
            },
            [this](const char* data, std::size_t size) {
                if (!m_fileData.Write(data, size)) return false;
                Written(static_cast<long long>(size));
                return true;
            }));
        if (!m_pStream->Running()) m_pStream.reset();  // the job's thread reads on its own
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
// disk, until the end. Neither has a name where the system allows (nothing of them
// outlives the process, however it ends); else the packet has a fresh one, guarded
// from its creation on, and the index one only for an instant. Both exist before the
// scan, so that the job knows them when it meets them in the tree.
bool COnePassBuilder::OpenTemporaryFiles() {
    CSignalsHeld held;  // a signal between a file's creation and its guard would leave it behind
    if (m_fileData.OpenTempBeside(m_strTarget, m_strTempPath, CFile::modeUnnamed) != CFile::TempResult::Opened) {
        m_strTempPath.clear();
        return false;
    }
    if (!m_strTempPath.empty()) m_guard.Arm(m_strTempPath);
    std::string indexPath;
    if (m_fileIndex.OpenTempBeside(m_strTarget, indexPath,
                                   CFile::modeReadWrite | CFile::modeTemporary | CFile::modeUnnamed) !=
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
    if (!m_pStream) return;
    std::vector<const std::string*> files;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (plans[i].action == EntryPlan::Action::File) files.push_back(&entries[i].name);
    }
    m_pStream->Begin(m_folder, std::move(files));
}

void COnePassBuilder::EndFolder() {
    if (m_pStream) m_pStream->Drain();
    m_item.Close();
    m_folder.Close();
}

long long COnePassBuilder::AppendFileData(const std::string& strPath) {
    if (m_pStream) return TakeStreamed(strPath);
    m_item.Close();
    SkipReason reason = SkipReason::Unreadable;
    const char* name = strPath.c_str() + m_nFolderLength;
    bool opened = OpenSource(m_item, &m_folder, name, reason);
    for (int attempt = 1; !opened && reason == SkipReason::NoDescriptor && AwaitDescriptor(attempt); ++attempt) {
        opened = OpenSource(m_item, &m_folder, name, reason);
    }
    if (!opened) return NotPacked(strPath, reason);
    if (m_item.GetOpenedLength() >= m_onePass.kernelCopyFrom) return CopyInKernel(m_item, 0);
    return CopyFileData(m_item, 0);
}

// The reading thread has put the file into the stream, or says why not.
long long COnePassBuilder::TakeStreamed(const std::string& strPath) {
    const StreamedFile* file = m_pStream->Next();
    if (file == nullptr) {  // the packet could not be written (or more files asked for than listed: never so)
        Fail(Failure::Data);
        return -1;
    }
    switch (file->outcome) {
        case StreamedFile::Outcome::Read: return file->length;
        case StreamedFile::Outcome::Skipped: return NotPacked(strPath, file->reason);
        case StreamedFile::Outcome::TooLarge: Fail(Failure::TooLarge); return -1;
        case StreamedFile::Outcome::ReadError: break;
    }
    Fail(Failure::Data);
    return -1;
}

// A file that is not packed is skipped, unless the process had no descriptor left to
// open it with however long it waited: a readable file is never left out for that,
// the job fails instead.
long long COnePassBuilder::NotPacked(const std::string& strPath, SkipReason reason) {
    if (reason != SkipReason::NoDescriptor) {
        Skip(strPath, reason);
    } else {
        Tell(kMsgNoDescriptor, strPath);
        Fail(Failure::Descriptors);
    }
    return -1;
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
    if (m_pStream && !m_pStream->Flush()) Fail(Failure::Data);
    m_pStream.reset();
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
              m_fileData.Write(header.data(), header.size()) && (!m_onePass.sync || m_fileData.Flush()) &&
              NameTemporary();
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

// A packet made without a name gets a fresh one beside the packet now that it is
// whole, guarded until it replaces the packet.
bool COnePassBuilder::NameTemporary() {
    for (int attempt = 0; m_strTempPath.empty() && attempt < 100; ++attempt) {
        CSignalsHeld held;
        const std::string path = TempNameBeside(m_strTarget);
        if (m_fileData.LinkAs(path)) {
            m_strTempPath = path;
            m_guard.Arm(path);
        } else if (GetPathKind(path) == PathKind::Missing) {
            return false;  // refused for another reason than the name
        }
    }
    return !m_strTempPath.empty();
}

void COnePassBuilder::CloseOutput() {
    m_pStream.reset();
    m_item.Close();
    m_folder.Close();
    CPacketBuilder::CloseOutput();
    if (!m_strTempPath.empty()) RemoveFile(m_strTempPath);
    m_strTempPath.clear();
    m_guard.Disarm();
}
