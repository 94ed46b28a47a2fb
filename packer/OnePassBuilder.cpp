// The one-pass job: a temporary packet beside the packet, finished in place and
// renamed over it; files copied inside the kernel where the system can, or read into
// a ring that another thread writes out when asked for.
#include "packer/OnePassBuilder.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/Leftovers.h"

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
// A file the process had no descriptor for is opened again this many times, a little
// later each time (about 1.3 s in all), while descriptors of other programs come free.
constexpr int kDescriptorTries = 50;
// Looks for a free core before the job goes on without a second thread, and their spacing.
constexpr int kCoreLooks = 4;
constexpr std::chrono::microseconds kCoreLookGap(250);
}  // namespace

COnePassBuilder::COnePassBuilder() = default;

COnePassBuilder::~COnePassBuilder() = default;

bool COnePassBuilder::OpenOutput(const std::string& strPacket) {
    m_strTarget = FollowLinks(strPacket);
    m_idPacket = GetPathId(m_strTarget);  // an old packet inside the source is not packed into the new one
    m_nIndexSpilled = 0;
    m_nWritten = m_nWrittenBack = 0;
    m_bNamedInPlace = false;
    m_nIndexFlushSize = m_onePass.indexInMemory > 0 ? m_onePass.indexInMemory : 1;
    if (!MayReplace(m_strTarget)) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    // What earlier jobs on this packet left when they were killed outright goes first.
    RemoveLeftoversBeside(m_strTarget);
    if (!OpenTemporaryFiles()) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    // The header's place is held by spaces until the index's place is known.
    if (!m_fileData.Write(kHeaderRoom.data(), kHeaderRoom.size())) {
        AddMessage(kMsgDataError);
        return false;
    }
    Written(kPacketHeaderSize);
    m_bLastEmpty = false;
    m_nCoreLooks = 0;
    if (m_onePass.jobs > 1) StartHelperWhereCoreFree();
    return true;
}

// The second thread starts at once where no look is asked for; else once a look finds
// a core free of other work, up to a few looks a quarter of a millisecond apart (a task
// passing by does not count), taken at the start and as files begin: the job works
// meanwhile instead of waiting to look again. True when it started now.
bool COnePassBuilder::StartHelperWhereCoreFree() {
    if (m_onePass.coreFree) {
        const auto now = std::chrono::steady_clock::now();
        if (m_nCoreLooks > 0 && now - m_lastCoreLook < kCoreLookGap) return false;
        m_lastCoreLook = now;
        ++m_nCoreLooks;
        if (!m_onePass.coreFree()) return false;
    }
    m_nCoreLooks = kCoreLooks;
    if (!FlushData()) return false;  // what this thread buffered goes before what the other writes
    m_pHelper.reset(new CJobHelper(
        kStreamChunk, kStreamChunks, m_onePass.idleSpin,
        [this](const char* data, std::size_t size) {
            if (!m_fileData.Write(data, size)) return false;
            Written(static_cast<long long>(size));
            return true;
        },
        [this](CFile& file, const CFolder& folder, const char* name, std::uint64_t inode, SkipReason& reason) {
            return OpenSource(file, &folder, name, reason, inode);
        }));
    m_pHelper->SetEmptyRun(m_bLastEmpty);
    return true;
}

// A folder, or a file this user may not write, is never replaced by a packet; nor is
// anything but a plain file (the command line writes into devices in two passes).
bool COnePassBuilder::MayReplace(const std::string& target) const {
    switch (GetTargetKind(target)) {
        case PathKind::Missing: return GetPathKind(target) != PathKind::Link;  // a link that loops
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
// scan, so that the job knows them when it meets them in the tree, and both are locked
// while they have a name, so that no other job takes them for leftovers.
bool COnePassBuilder::OpenTemporaryFiles() {
    CSignalsHeld held;  // a signal between a file's creation and its guard would leave it behind
    if (m_fileData.OpenTempBeside(m_strTarget, m_strTempPath, CFile::modeUnnamed | CFile::shareExclusive) !=
        CFile::TempResult::Opened) {
        m_strTempPath.clear();
        return false;
    }
    if (!m_strTempPath.empty()) m_guard.Arm(m_strTempPath);
    std::string indexPath;
    if (m_fileIndex.OpenTempBeside(m_strTarget, indexPath,
                                   CFile::modeReadWrite | CFile::modeTemporary | CFile::modeUnnamed |
                                       CFile::shareExclusive) !=
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
    if (m_onePass.listed) m_onePass.listed(folder);
    m_nFileIndex = 0;
    m_strFolder = folder;
    m_names.clear();
    m_inodes.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (plans[i].action != EntryPlan::Action::File) continue;
        m_names.push_back(&entries[i].name);
        m_inodes.push_back(entries[i].inode);
    }
    if (m_pHelper) {
        m_pHelper->BeginFolder(folder, m_names, m_inodes, 0);
    } else {
        m_folder.Open(folder);
    }
}

void COnePassBuilder::EndFolder() {
    if (m_pHelper) m_pHelper->EndFolder();
    m_folder.Close();
}

long long COnePassBuilder::AppendFileData(const std::string& folder, const std::string& name) {
    const std::size_t index = m_nFileIndex++;
    if (!m_pHelper && m_onePass.jobs > 1 && m_nCoreLooks < kCoreLooks && StartHelperWhereCoreFree()) {
        m_pHelper->BeginFolder(m_strFolder, m_names, m_inodes, index);
    }
    if (m_pHelper) {
        PreparedFile* prepared = m_pHelper->Take(index);
        if (prepared != nullptr) {
            const long long length = TakePrepared(*prepared, folder, name);
            if (length != -2) return length;
        }
    }
    // Where files come empty in runs, an empty one costs a look instead of an open, a
    // read and a close; any other file costs one look more, so the look is taken only
    // after an empty file.
    if (m_bLastEmpty && IsPlainlyEmpty(Folder(), name)) return 0;
    SkipReason reason = SkipReason::Unreadable;
    if (!OpenItem(name, reason)) {
        NoteEmpty(false);
        return NotPacked(folder + name, reason);
    }
    const long long length = m_pHelper                                              ? StreamFileData(m_item, 0)
                             : m_item.GetOpenedLength() < 0                         ? CopyUnlooked(m_item)
                             : m_item.GetOpenedLength() >= m_onePass.kernelCopyFrom ? CopyInKernel(m_item, 0)
                                                                                   : CopyFileData(m_item, 0);
    m_item.Close();
    NoteEmpty(length == 0);
    // A file its first read found to be no plain file (put at the name since the listing)
    // is skipped, as the scan skips what the listing calls no file; the job goes on.
    return PackedOrSkipped(length, folder, name);
}

// A file the second thread prepared: its length, -1 when it is not packed, -2 when the
// job's thread is to handle it after all (no descriptor was left to open it with).
long long COnePassBuilder::TakePrepared(PreparedFile& prepared, const std::string& folder,
                                        const std::string& name) {
    switch (prepared.kind) {
        case PreparedFile::Kind::Failed:
            if (prepared.reason == SkipReason::NoDescriptor) return -2;
            NoteEmpty(false);
            Skip(folder + name, prepared.reason);
            return -1;
        case PreparedFile::Kind::ReadError:
            Fail(Failure::Data);
            return -1;
        case PreparedFile::Kind::Opened: break;
    }
    long long length = StreamBytes(prepared.data, prepared.size);
    if (length >= 0 && !prepared.whole) length = StreamFileData(prepared.file, length);
    prepared.file.Close();
    NoteEmpty(length == 0);
    return PackedOrSkipped(length, folder, name);
}

// Puts the first bytes of a file, read ahead, into the ring; their count, or -1 (failure set).
long long COnePassBuilder::StreamBytes(const char* data, std::size_t size) {
    if (m_nOffset + static_cast<long long>(size) > Options().sizeLimit) {
        Fail(Failure::TooLarge);
        return -1;
    }
    for (std::size_t done = 0; done < size;) {
        std::size_t room = 0;
        char* into = m_pHelper->Room(room);
        if (into == nullptr) {
            Fail(Failure::Data);
            return -1;
        }
        room = std::min(room, size - done);
        std::copy(data + done, data + done + room, into);
        m_pHelper->Commit(room);
        done += room;
    }
    return static_cast<long long>(size);
}

// The second thread opens no file ahead while files come empty.
void COnePassBuilder::NoteEmpty(bool empty) {
    m_bLastEmpty = empty;
    if (m_pHelper) m_pHelper->SetEmptyRun(empty);
}

// An empty file that anyone may read holds nothing an open would find: it is packed
// as read at this moment. The job's own files are opened, which names them.
bool COnePassBuilder::IsPlainlyEmpty(const CFolder& folder, const std::string& name) const {
    FileId id;
    return folder.HoldsEmptyFile(name.c_str(), id) && id != m_idPacket && id != m_idData && id != m_idIndex;
}

// Running out of descriptors is no reason to leave a readable file out: the files the
// second thread opened ahead are given back, and the open is tried again while
// descriptors held elsewhere may come free.
bool COnePassBuilder::OpenItem(const std::string& name, SkipReason& reason) {
    for (int attempt = 0;; ++attempt) {
        if (OpenSource(m_item, &Folder(), name.c_str(), reason, m_inodes[m_nFileIndex - 1])) return true;
        if (reason != SkipReason::NoDescriptor || attempt == kDescriptorTries) return false;
        if (m_pHelper) m_pHelper->GiveBackAhead(m_nFileIndex - 1);
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(attempt));
    }
}

// Reads `source` into the ring as CopyFileData copies it, from its position on (`total`
// of its bytes already in) to its end (see CFile::ReadReachedEnd).
long long COnePassBuilder::StreamFileData(CFile& source, long long total) {
    for (;;) {
        std::size_t room = 0;
        char* into = m_pHelper->Room(room);
        if (into == nullptr) {
            Fail(Failure::Data);
            return -1;
        }
        room = source.ReadSize(total, room);
        const long long n = source.Read(into, room);
        if (n == 0) break;
        if (n < 0) return ReadFailed(source);
        if (m_nOffset + total + n > Options().sizeLimit) {
            Fail(Failure::TooLarge);
            return -1;
        }
        total += n;
        m_pHelper->Commit(static_cast<std::size_t>(n));
        if (source.ReadReachedEnd(room, n, total)) break;
    }
    return total;
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

// A file opened without a look at its length: what the copy buffer has room for is read
// first; a short read there ends it, and only a file that filled the room (which that
// read looked at) has its length asked, to be copied inside the kernel when it is large.
long long COnePassBuilder::CopyUnlooked(CFile& source) {
    if (m_nBuffered == m_buffer.size() && !FlushData()) return -1;
    const std::size_t room = m_buffer.size() - m_nBuffered;
    const long long n = source.Read(m_buffer.data() + m_nBuffered, room);
    if (n < 0) return ReadFailed(source);
    if (m_nOffset + n > Options().sizeLimit) {
        Fail(Failure::TooLarge);
        return -1;
    }
    m_nBuffered += static_cast<std::size_t>(n);
    if (static_cast<std::size_t>(n) < room) return n;
    if (!FlushData()) return -1;  // full
    return source.LookAtLength() >= m_onePass.kernelCopyFrom ? CopyInKernel(source, n) : CopyFileData(source, n);
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
    if (m_pHelper && !Failed() && !m_pHelper->Flush()) Fail(Failure::Data);
    m_pHelper.reset();
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
    CFileHold lock;  // the packet's lock outlasts its descriptor until it has PACKET's name
    bool ok = m_fileData.GetLength() == m_nOffset + nIndex && m_fileData.Seek(0) &&
              m_fileData.Write(header.data(), header.size()) && (!m_onePass.sync || m_fileData.Flush()) &&
              lock.Take(m_fileData) && NameTemporary();
    ok = m_fileData.Close() && ok;
    if (!ok) {
        if (m_bNamedInPlace) RemoveFile(m_strTarget);  // made by this job a moment ago, and not stored
        AddMessage(kMsgDataError);
        return false;
    }
    if (!m_bNamedInPlace && m_onePass.named) m_onePass.named(m_strTempPath);
    if (!m_bNamedInPlace && !ReplaceFile(m_strTempPath, m_strTarget)) {
        AddMessage(kMsgNoTarget);
        return false;
    }
    m_strTempPath.clear();
    m_guard.Disarm();
    lock.Release();
    if (m_onePass.sync && !SyncFolderOf(m_strTarget)) {
        AddMessage(kMsgDataError);
        return false;
    }
    AddMessage(kMsgDone);
    return true;
}

// A packet made without a name takes PACKET's own where nothing has it yet, in one
// step that no kill can split; else a fresh name beside the packet, guarded until it
// replaces the packet (a kill in between leaves it under that name, which the next
// job on the packet removes).
bool COnePassBuilder::NameTemporary() {
    m_bNamedInPlace = m_strTempPath.empty() && GetPathKind(m_strTarget) == PathKind::Missing &&
                      m_fileData.LinkAs(m_strTarget);
    if (m_bNamedInPlace) return true;
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
    m_pHelper.reset();
    m_item.Close();
    m_folder.Close();
    CPacketBuilder::CloseOutput();
    if (!m_strTempPath.empty()) RemoveFile(m_strTempPath);
    m_strTempPath.clear();
    m_guard.Disarm();
}
