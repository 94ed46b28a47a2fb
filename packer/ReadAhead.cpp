// The one-pass job's look ahead: a few threads and one mutex, held only to take a
// file and to put it down; nobody is woken who does not wait.
#include "packer/ReadAhead.h"

#include <system_error>

namespace {
// Open files held ahead at most, whatever their size: descriptors are finite.
constexpr std::size_t kMaxFilesAhead = 128;
// What a file that reports no length (procfs) gets for its first read.
constexpr std::size_t kUnknownLengthRoom = 4096;
// How often the job's thread looks again before it sleeps: a small file takes a
// few microseconds to read, a sleep and a wake-up about as long.
constexpr int kSpins = 4000;

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
    std::unique_ptr<Slot[]> slots(new Slot[names.size()]);
    for (std::size_t i = 0; i < names.size(); ++i) slots[i].name = names[i];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pFolder = &folder;
        m_slots = std::move(slots);
        m_nSlots = names.size();
        m_nNextTask = m_nNextItem = m_nBytes = 0;
    }
    m_cvWork.notify_all();
}

ReadItem* CReadAhead::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_nNextItem > 0) Release(m_slots[m_nNextItem - 1]);
    if (m_nNextItem >= m_nSlots) return nullptr;
    Slot& slot = m_slots[m_nNextItem++];
    const bool mine = m_nNextTask < m_nNextItem;  // no thread has taken it
    if (mine) ++m_nNextTask;
    if (m_nSleepers > 0 && HasRoomToWake()) m_cvWork.notify_one();
    lock.unlock();
    if (mine) {
        Read(slot);
        return &slot.item;
    }
    for (int spin = 0; spin < kSpins && !slot.ready.load(std::memory_order_acquire); ++spin) Pause();
    if (!slot.ready.load(std::memory_order_acquire)) {
        lock.lock();
        m_bWaiting = true;
        m_cvReady.wait(lock, [&] { return slot.ready.load(); });
        m_bWaiting = false;
    }
    return &slot.item;
}

void CReadAhead::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_nNextTask = m_nSlots;
    m_bWaiting = true;
    m_cvReady.wait(lock, [&] { return m_nRunning == 0; });
    m_bWaiting = false;
    m_slots.reset();  // closes every file still open
    m_nSlots = m_nNextTask = m_nNextItem = m_nBytes = 0;
    m_pFolder = nullptr;
}

// A sleeping thread is woken only once half the room ahead is free: woken for every
// file, it would sleep and wake once per file.
bool CReadAhead::HasRoomToWake() const {
    return m_nNextTask < m_nSlots && m_nBytes <= m_nMaxBytes / 2 && m_nNextTask + kMaxFilesAhead / 2 <= m_nNextItem + kMaxFilesAhead;
}

bool CReadAhead::MayTakeNext() const {
    return m_nNextTask < m_nSlots && m_nBytes < m_nMaxBytes && m_nNextTask < m_nNextItem + kMaxFilesAhead;
}

void CReadAhead::Read(Slot& slot) {
    ReadItem& item = slot.item;
    item.opened = m_opener(item.file, *m_pFolder, slot.name->c_str(), item.reason);
    if (item.opened) ReadHead(item, m_nHeadLimit);
}

// The head of a file handed back no longer counts against the cap; its memory goes.
void CReadAhead::Release(Slot& slot) {
    m_nBytes -= slot.item.head.size();
    std::vector<char>().swap(slot.item.head);
    slot.item.file.Close();
}

void CReadAhead::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!MayTakeNext()) {
            ++m_nSleepers;
            m_cvWork.wait(lock, [&] { return m_bStop || MayTakeNext(); });
            --m_nSleepers;
        }
        if (m_bStop) return;
        Slot& slot = m_slots[m_nNextTask++];
        ++m_nRunning;
        lock.unlock();
        Read(slot);
        lock.lock();
        --m_nRunning;
        m_nBytes += slot.item.head.size();
        slot.ready.store(true, std::memory_order_release);
        if (m_bWaiting) m_cvReady.notify_all();
    }
}
