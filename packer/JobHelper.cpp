// The second thread of the one-pass job and what it shares with the job's thread.
// Counters move through atomics; a side that has to wait sleeps at once, after saying
// so, and a side that moves a counter looks whether the other sleeps after it, so that
// no wake-up is lost. Each file ahead goes from one thread to the other through a
// compare-and-swap of its state, so that neither ever waits for the other's file.
#include "packer/JobHelper.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

// Files the second thread prepares ahead of the job's thread, at most (each one not read
// whole holds a descriptor); once it has prepared them it sleeps until the job's thread
// has taken half. Each wake-up costs both threads a system call or two and a switch (on
// 20,000 small files about 1,400 switches at 64 ahead, 2,800 at 32).
constexpr std::size_t kAhead = 64;
// Files shorter than this are read whole ahead, each into a piece of its own (file i into
// piece i % kAhead: the job's thread is done with a piece before the second thread may
// come round to it again).
constexpr std::size_t kAheadPiece = 16 * 1024;
// With no file to prepare, the second thread writes what the ring holds from this much on
// (a folder's last files): it is then free for the next folder's files when they come.
constexpr std::size_t kEarlyWrite = 32 * 1024;

// How often the job's thread looks again at a file the second thread is preparing before
// it handles the file itself: an open and a small read take a few microseconds, unless the
// second thread lost its core meanwhile (on a busy machine, for milliseconds). 400 pauses
// are about 6 us here; at 100 (1.4 us) one file in fourteen was opened by both. On Windows a
// file has one opener at a time: there the job's thread sleeps until the file is prepared.
constexpr int kSpins = 400;
#ifdef _WIN32
constexpr bool kOpenTwice = false;
#else
constexpr bool kOpenTwice = true;
#endif

// A file ahead: free; being prepared by the second thread; ready for the job's thread;
// taken by it (prepared or not); or left to the second thread to close, the job's thread
// having handled it itself meanwhile.
enum SlotState : int { kFree, kPreparing, kReady, kTaken, kAbandoned };

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

struct alignas(64) CJobHelper::Slot {  // a cache line each: the threads work on neighbours
    std::atomic<int> state{kFree};
    PreparedFile prepared;
};

// One folder's files; what is left open in it is closed with it.
struct CJobHelper::Work {
    std::string path;
    CFolder folder;        // the job's thread's
    CFolder helperFolder;  // the second thread's own: two threads opening files through one
                           // descriptor make its count bounce between their cores
    std::vector<std::string> names;  // empty when no file is prepared ahead
    std::vector<std::uint64_t> inodes;  // the names' listed inode numbers
    std::unique_ptr<Slot[]> slots;
    alignas(64) std::atomic<std::size_t> jobNext{0};     // the next file the job's thread takes
    alignas(64) std::atomic<std::size_t> helperNext{0};  // the next file the second thread may prepare
};

CJobHelper::CJobHelper(std::size_t chunkSize, int chunks, int idleSpin, Sink sink, Opener opener)
    : m_nChunkSize(chunkSize), m_nIdleSpin(idleSpin), m_nCapacity(chunkSize * static_cast<std::size_t>(chunks)),
      m_ring(new char[m_nCapacity]), m_ahead(new char[kAhead * kAheadPiece]), m_sink(std::move(sink)),
      m_opener(std::move(opener)) {}

CJobHelper::~CJobHelper() {
    if (!m_thread.joinable()) return;
    m_bQuit = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cvHelper.notify_one();
    }
    m_thread.join();
}

template <class Ready>
void CJobHelper::Sleep(Ready ready, std::condition_variable& cv, std::atomic<bool>& sleeping) {
    if (ready()) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    sleeping = true;
    cv.wait(lock, ready);
    sleeping = false;
}

// Looks whether `ready` comes true within the idle spin: the next folder, listed by the
// job's thread in some tens of microseconds, is met awake instead of after a sleep and a
// wake-up, which cost both threads more than that.
template <class Ready>
bool CJobHelper::LookFor(Ready ready) const {
    if (m_nIdleSpin <= 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(m_nIdleSpin);
    do {
        for (int i = 0; i < 16; ++i) {
            if (ready()) return true;
            Pause();
        }
    } while (std::chrono::steady_clock::now() < until);
    return ready();
}

void CJobHelper::Wake(std::atomic<bool>& sleeping, std::condition_variable& cv) {
    if (!sleeping) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    cv.notify_one();
}

bool CJobHelper::StartThread() {
    try {
        m_thread = std::thread(&CJobHelper::Run, this);
        return true;
    } catch (const std::system_error&) {
        m_bAlone = true;  // the job's thread does it all
        m_bAheadOff = true;
        return false;
    }
}

char* CJobHelper::Room(std::size_t& size) {
    const long long capacity = static_cast<long long>(m_nCapacity);
    while (!m_bFailed && m_nProduced - m_nConsumed == capacity) {
        // Full. When the second thread is not writing (asleep, or waiting for a core on a
        // busy machine) the job's thread writes a chunk itself; else it sleeps until half
        // the ring is free, and so is woken once for half a ring's worth of work.
        std::unique_lock<std::mutex> write(m_writeMutex, std::try_to_lock);
        if (write.owns_lock()) {
            WriteChunk(false);
            continue;
        }
        Sleep([&] { return m_bFailed || m_nProduced - m_nConsumed <= capacity / 2; }, m_cvJob, m_bJobSleeps);
    }
    if (m_bFailed) return nullptr;
    const long long produced = m_nProduced;
    const std::size_t offset = static_cast<std::size_t>(produced % capacity);
    size = std::min(m_nCapacity - offset, static_cast<std::size_t>(capacity - (produced - m_nConsumed)));
    return m_ring.get() + offset;
}

void CJobHelper::Commit(std::size_t size) {
    m_nProduced += static_cast<long long>(size);
    if (m_nProduced - m_nConsumed < static_cast<long long>(m_nChunkSize)) return;
    if (m_bAlone || (!m_thread.joinable() && !StartThread())) {
        std::lock_guard<std::mutex> write(m_writeMutex);
        while (WriteChunk(false)) {
        }
        return;
    }
    Wake(m_bHelperSleeps, m_cvHelper);
}

bool CJobHelper::Flush() {
    m_bEnd = true;
    if (m_thread.joinable()) {
        Wake(m_bHelperSleeps, m_cvHelper);
        Sleep([&] { return m_bFailed || m_nConsumed == m_nProduced; }, m_cvJob, m_bJobSleeps);
    } else {
        std::lock_guard<std::mutex> write(m_writeMutex);
        while (WriteChunk(true)) {
        }
    }
    return !m_bFailed;
}

void CJobHelper::BeginFolder(const std::string& path, const std::vector<const std::string*>& names,
                             const std::vector<std::uint64_t>& inodes, std::size_t first) {
    std::shared_ptr<Work> work = std::make_shared<Work>();
    work->path = path;
    work->jobNext = first;
    work->folder.Open(path);
    if (!m_bAheadOff && !m_bEmptyRun && !names.empty()) {
        work->names.reserve(names.size());
        for (const std::string* name : names) work->names.push_back(*name);
        work->inodes = inodes;
        work->slots.reset(new Slot[names.size()]);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pWork = std::move(work);
        ++m_nGeneration;
        if (m_bHelperSleeps) m_cvHelper.notify_one();
    }
}

const CFolder& CJobHelper::Folder() const { return m_pWork->folder; }

void CJobHelper::EndFolder() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pWork.reset();  // the second thread may hold it a little longer
    ++m_nGeneration;
}

PreparedFile* CJobHelper::Take(std::size_t index) {
    Work& work = *m_pWork;
    if (index >= work.names.size()) return nullptr;
    Slot& slot = work.slots[index];
    work.jobNext = index + 1;
    PreparedFile* prepared = nullptr;
    // While the second thread prepares this file, the job's thread prepares one at the far
    // end of the window, where the second thread comes last: work instead of a wait.
    for (int spin = 0; slot.state == kPreparing && spin < kSpins;) {
        if (!PrepareFar(work, index)) {
            Pause();
            ++spin;
        }
    }
    for (;;) {
        int state = slot.state;
        if (state == kPreparing && !kOpenTwice) {
            Sleep([&] { return slot.state != kPreparing; }, m_cvJob, m_bJobSleeps);
            continue;
        }
        if (slot.state.compare_exchange_strong(state, state == kPreparing ? kAbandoned : kTaken)) {
            if (state == kReady) prepared = &slot.prepared;
            break;
        }
    }
    // The second thread sleeps once it is far enough ahead: woken when half of it is taken.
    if (m_bHelperSleeps && work.helperNext <= index + 1 + kAhead / 2 && CanPrepare(work)) {
        Wake(m_bHelperSleeps, m_cvHelper);
    }
    return prepared;
}

void CJobHelper::GiveBackAhead(std::size_t index) {
    m_bAheadOff = true;
    Work& work = *m_pWork;
    for (std::size_t i = index + 1; i < work.names.size(); ++i) {
        Slot& slot = work.slots[i];
        int ready = kReady;
        if (!slot.state.compare_exchange_strong(ready, kTaken)) continue;
        slot.prepared.file.Close();
        slot.state = kFree;  // the job's thread takes it as unprepared
    }
}

// The next file the second thread may prepare, leaving the job's thread the one it is
// about to take; false when there is none now. The job's thread moves on meanwhile, so
// its position is read once.
bool CJobHelper::NextToPrepare(const Work& work, std::size_t& index) const {
    const std::size_t job = work.jobNext;
    index = std::max<std::size_t>(work.helperNext, job + 1);
    // File `job` - 1 may still be in use by the job's thread, with its piece.
    return !m_bAheadOff && !m_bEmptyRun && index < work.names.size() && index + 1 < job + kAhead;
}

// True when every file of the folder is prepared or taken (or there is no folder).
bool CJobHelper::FolderDone(const Work* work) {
    return work == nullptr || std::max<std::size_t>(work->helperNext, work->jobNext + 1) >= work->names.size();
}

bool CJobHelper::CanPrepare(const Work& work) const {
    std::size_t index = 0;
    return NextToPrepare(work, index);
}

void CJobHelper::SetEmptyRun(bool empty) {
    if (m_bEmptyRun == empty) return;
    m_bEmptyRun = empty;
    if (!empty) Wake(m_bHelperSleeps, m_cvHelper);
}

// Prepares the next file the job's thread has not taken; false when there is none to
// prepare now.
bool CJobHelper::PrepareNext(Work& work) {
    std::size_t index = 0;
    if (!NextToPrepare(work, index)) return false;
    work.helperNext = index + 1;
    if (work.helperFolder.Path().empty()) work.helperFolder.Open(work.path);
    Prepare(work, index, work.helperFolder);
    return true;
}

// Claims file `index` and prepares it through `folder`; nothing when the other thread has it.
void CJobHelper::Prepare(Work& work, std::size_t index, const CFolder& folder) {
    Slot& slot = work.slots[index];
    int state = kFree;
    if (!slot.state.compare_exchange_strong(state, kPreparing)) return;
    PreparedFile& file = slot.prepared;
    if (m_opener(file.file, folder, work.names[index].c_str(), work.inodes[index], file.reason)) {
        file.kind = PreparedFile::Kind::Opened;
        file.size = 0;
        file.whole = false;
        const long long length = file.file.GetOpenedLength();
        // Empty files are the job's thread's: a look costs it less than taking them from here.
        // A file opened without a look (length unknown) is read ahead as far as its piece goes.
        if (length < 0 || (length > 0 && length < static_cast<long long>(kAheadPiece))) ReadAhead(file, index);
        if (length == 0 || (file.whole && file.size == 0)) m_bEmptyRun = true;
    } else {
        file.kind = PreparedFile::Kind::Failed;
        if (file.reason == SkipReason::NoDescriptor) m_bAheadOff = true;
    }
    int preparing = kPreparing;
    if (!slot.state.compare_exchange_strong(preparing, kReady)) {
        file.file.Close();  // the job's thread handled it meanwhile
        return;
    }
    if (!kOpenTwice) Wake(m_bJobSleeps, m_cvJob);  // the job's thread may be waiting for it
}

// Prepares, on the job's thread, the farthest unclaimed file of the window ahead of file
// `index`, which the second thread is preparing; false when there is none.
bool CJobHelper::PrepareFar(Work& work, std::size_t index) {
    if (m_bAheadOff || m_bEmptyRun) return false;
    const std::size_t from = work.helperNext;
    for (std::size_t i = std::min(work.names.size(), index + kAhead - 1); i > std::max(from, index + 1);) {
        --i;
        if (work.slots[i].state != kFree) continue;
        Prepare(work, i, work.folder);  // claimed by the second thread meanwhile: done all the same
        return true;
    }
    return false;
}

bool CJobHelper::WriterReady() const {
    const long long held = m_nProduced - m_nConsumed;
    return held >= static_cast<long long>(m_nChunkSize) || (m_bEnd && held > 0);
}

// Reads a small file into its piece as the job's copy reads, to its end (see
// CFile::ReadReachedEnd); closed when read whole.
// A file that grew past its piece is left open where the reading stopped. One that its
// first read found to be no plain file (replaced since the listing) is not packed.
void CJobHelper::ReadAhead(PreparedFile& file, std::size_t index) {
    char* piece = m_ahead.get() + (index % kAhead) * kAheadPiece;
    std::size_t total = 0;
    while (total < kAheadPiece) {
        const std::size_t want = file.file.ReadSize(static_cast<long long>(total), kAheadPiece - total);
        const long long n = file.file.Read(piece + total, want);
        if (n < 0 && !file.file.IsRegular()) {
            file.kind = PreparedFile::Kind::Failed;
            file.reason = SkipReason::NotAFile;
            file.file.Close();
            return;
        }
        if (n < 0) {
            file.kind = PreparedFile::Kind::ReadError;
            return;
        }
        total += static_cast<std::size_t>(n);
        if (file.file.ReadReachedEnd(want, n, static_cast<long long>(total))) {
            file.whole = true;
            break;
        }
    }
    file.data = piece;
    file.size = total;
    if (file.whole) file.file.Close();
}

// Writing comes first (the job's thread may be waiting for room); files are prepared
// while there is nothing to write.
void CJobHelper::Run() {
    std::shared_ptr<Work> work;
    unsigned seen = 0;
    bool first = true;
    for (;;) {
        if (m_bQuit) return;
        if (WriterReady()) {
            std::lock_guard<std::mutex> write(m_writeMutex);
            WriteChunk(m_bEnd);
            if (m_bFailed) return;
            continue;
        }
        if (first || m_nGeneration != seen) {
            std::lock_guard<std::mutex> lock(m_mutex);
            work = m_pWork;
            seen = m_nGeneration;
            first = false;
        }
        if (work && PrepareNext(*work)) continue;
        // Nothing to prepare now: what the ring holds goes out at once, not while the next
        // folder's files want preparing.
        if (m_nProduced - m_nConsumed >= static_cast<long long>(kEarlyWrite)) {
            std::lock_guard<std::mutex> write(m_writeMutex);
            WriteChunk(false, kEarlyWrite);
            if (m_bFailed) return;
            continue;
        }
        auto more = [&] { return m_bQuit || WriterReady() || m_nGeneration != seen || (work && CanPrepare(*work)); };
        // Awake only for the next folder: far enough ahead, it waits for tens of files to be taken.
        if (!(FolderDone(work.get()) && LookFor(more))) Sleep(more, m_cvHelper, m_bHelperSleeps);
    }
}

// Gives the sink the next chunk: a full one, at least `least` bytes or, with `all` (the
// stream's end), what is left; a piece never wraps (it ends at the ring's end). The
// caller holds the write lock, so that the chunks go out one at a time and in order,
// whichever thread writes them. False when there was nothing to write or the sink failed.
bool CJobHelper::WriteChunk(bool all, std::size_t least) {
    if (m_bFailed) return false;
    const long long consumed = m_nConsumed;
    const long long held = m_nProduced - consumed;
    if (held == 0 || (!all && held < static_cast<long long>(std::min(least, m_nChunkSize)))) return false;
    const std::size_t offset = static_cast<std::size_t>(consumed % static_cast<long long>(m_nCapacity));
    const std::size_t size = std::min({static_cast<std::size_t>(held), m_nChunkSize, m_nCapacity - offset});
    if (!m_sink(m_ring.get() + offset, size)) {
        m_bFailed = true;
        Wake(m_bJobSleeps, m_cvJob);
        return false;
    }
    m_nConsumed = consumed + static_cast<long long>(size);
    if (m_nProduced - m_nConsumed <= static_cast<long long>(m_nCapacity / 2)) Wake(m_bJobSleeps, m_cvJob);
    return true;
}
