// The one-pass job's look ahead. Files are claimed and handed over through atomics,
// so that no thread waits for a lock on its way (a waiter on a lock is woken far
// too late on shared virtual cores); a mutex serves only for sleeping.
#include "packer/ReadAhead.h"

#include <system_error>

namespace {

// Open files held ahead at most, whatever their size: descriptors are finite.
constexpr std::size_t kMaxFilesAhead = 128;
// What a file that reports no length (procfs) gets for its first read.
constexpr std::size_t kUnknownLengthRoom = 4096;
// How often the job's thread looks again for a file being read before it sleeps:
// a small file takes a few microseconds, a sleep and a wake-up longer.
constexpr int kReadySpins = 4000;
// How often a thread out of files looks for the next folder's before it sleeps:
// about as long as the job takes to list and plan that folder.
constexpr int kIdleSpins = 5000;
// m_nNextTask between Drain and Begin: no claim can succeed.
constexpr std::size_t kClosed = static_cast<std::size_t>(-1) / 2;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

void ReadHead(ReadItem& item, long long limit) {
    const long long opened = item.file.GetOpenedLength();
    if (opened < 0 || opened >= limit) return;
    // One byte more than the file holds, so that its one read comes back short.
    const std::size_t room = opened > 0 ? static_cast<std::size_t>(opened) + 1 : kUnknownLengthRoom;
    item.head.resize(room);
    std::size_t total = 0;
    while (total < room) {
        const std::size_t asked = room - total;
        long long n = item.file.Read(item.head.data() + total, asked);
        if (n <= 0) {
            (n == 0 ? item.complete : item.readError) = true;
            break;
        }
        total += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < asked && opened > 0 && static_cast<long long>(total) == opened) {
            item.complete = true;
            break;
        }
    }
    item.head.resize(total);
    if (item.complete || item.readError) item.file.Close();
}

CReadAhead::CReadAhead(int threads, std::size_t maxBytes, long long headLimit, Opener opener)
    : m_nMaxBytes(maxBytes), m_nHeadLimit(headLimit), m_opener(std::move(opener)) {
    m_nNextTask = kClosed;
    for (int i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back(&CReadAhead::Work, this);
        } catch (const std::system_error&) {
            break;  // fewer threads, or none: the job's thread reads the rest
        }
    }
}

CReadAhead::~CReadAhead() {
    Drain();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvWork.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void CReadAhead::Begin(const CFolder& folder, std::vector<const std::string*> names) {
    m_slots.reset(new Slot[names.size()]);
    for (std::size_t i = 0; i < names.size(); ++i) m_slots[i].name = names[i];
    m_pFolder = &folder;
    m_nSlots = names.size();
    m_nNextItem = 0;
    m_nBytes = 0;
    m_nNextTask = 0;
    m_bOpen = true;
    ++m_nGeneration;
    if (m_nSleepers > 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cvWork.notify_all();
    }
}

ReadItem* CReadAhead::Next() {
    const std::size_t index = m_nNextItem;
    if (index > 0) Release(m_slots[index - 1]);
    if (index >= m_nSlots) return nullptr;
    Slot& slot = m_slots[index];
    m_nNextItem = index + 1;
    std::size_t expected = index;
    const bool mine = m_nNextTask == index && m_nNextTask.compare_exchange_strong(expected, index + 1);
    if (m_nSleepers > 0 && HasRoom()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cvWork.notify_one();
    }
    if (mine) {
        Read(slot);  // no thread has taken it
    } else {
        WaitReady(slot);
    }
    return &slot.item;
}

void CReadAhead::Drain() {
    m_bOpen = false;
    m_nNextTask = kClosed;
    while (m_nClaiming > 0) std::this_thread::yield();  // a file being read is soon done
    m_slots.reset();  // closes every file still open
    m_nSlots = 0;
    m_nNextItem = 0;
    m_nBytes = 0;
    m_pFolder = nullptr;
}

bool CReadAhead::MayTake(std::size_t task) const {
    return m_bOpen && task < m_nSlots && task < m_nNextItem + kMaxFilesAhead && m_nBytes < m_nMaxBytes;
}

bool CReadAhead::HasRoom() const {
    return m_nNextTask + kMaxFilesAhead / 2 <= m_nNextItem + kMaxFilesAhead && m_nBytes <= m_nMaxBytes / 2;
}

// A claim counts in m_nClaiming from before the file is looked at, so that Drain,
// once it has closed the files and seen no claim, knows none is made.
CReadAhead::Claim CReadAhead::Take(std::size_t& task) {
    ++m_nClaiming;
    task = m_nNextTask;
    if (MayTake(task)) {
        if (m_nNextTask.compare_exchange_strong(task, task + 1)) return Claim::Taken;
        --m_nClaiming;
        return Claim::Lost;
    }
    --m_nClaiming;
    return Claim::None;
}

void CReadAhead::Read(Slot& slot) {
    ReadItem& item = slot.item;
    item.opened = m_opener(item.file, *m_pFolder, slot.name->c_str(), item.reason);
    if (item.opened) ReadHead(item, m_nHeadLimit);
    m_nBytes += item.head.size();
}

void CReadAhead::ReadTaken(std::size_t task) {
    Slot& slot = m_slots[task];
    Read(slot);
    slot.ready = true;
    --m_nClaiming;
    if (m_bWaiting) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cvReady.notify_all();
    }
}

// The head of a file handed back no longer counts against the cap; its memory goes.
void CReadAhead::Release(Slot& slot) {
    m_nBytes -= slot.item.head.size();
    std::vector<char>().swap(slot.item.head);
    slot.item.file.Close();
}

// While another thread reads the file it waits for, the job's thread reads later ones.
void CReadAhead::WaitReady(Slot& slot) {
    for (int spin = 0; spin < kReadySpins;) {
        if (slot.ready) return;
        std::size_t task = 0;
        if (Take(task) == Claim::Taken) {
            ReadTaken(task);
            continue;
        }
        Pause();
        ++spin;
    }
    if (slot.ready) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_bWaiting = true;
    m_cvReady.wait(lock, [&] { return slot.ready.load(); });
    m_bWaiting = false;
}

// Out of files, a thread looks for the next folder's for a while, then sleeps until
// a folder begins, room is free again, or the end.
void CReadAhead::Sleep(unsigned generation) {
    if (!m_bOpen || m_nNextTask >= m_nSlots) {
        for (int spin = 0; spin < kIdleSpins && m_nGeneration == generation && !m_bStop; ++spin) Pause();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_nSleepers;
    m_cvWork.wait(lock, [&] {
        return m_bStop || m_nGeneration != generation || (MayTake(m_nNextTask) && HasRoom());
    });
    --m_nSleepers;
}

void CReadAhead::Work() {
    while (!m_bStop) {
        const unsigned generation = m_nGeneration;
        std::size_t task = 0;
        switch (Take(task)) {
            case Claim::Taken: ReadTaken(task); break;
            case Claim::Lost: break;
            case Claim::None: Sleep(generation); break;
        }
    }
}
