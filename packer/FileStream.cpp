// The stream between the reading thread and the job's. Counters move through
// atomics and each side spins a while before it sleeps: a sleeper on a shared
// virtual core is woken far too late for files that take microseconds. A side
// that sleeps says so first, and a side that moves a counter looks whether the
// other sleeps after it, so that no wake-up is lost.
#include "packer/FileStream.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

namespace {

// How often a side looks again before it sleeps: about 0.15 ms here, longer than the
// job takes to list and plan a folder (the reading thread's wait between two), far
// longer than a small file takes. A quarter of it let the reading thread fall asleep
// between folders: 5 to 20 % slower on trees of many folders.
constexpr int kSpins = 16000;
// Files the job's thread opens ahead of the one being read, at most. Further ahead, on
// tiny files, it would open them all while the reading thread waits for its opens;
// this close, the reading thread takes the next open itself when it is the faster.
constexpr std::size_t kOpenAhead = 16;
// A file the process had no descriptor for is opened again this many times, a little
// later each time (about 1.2 s in all), while descriptors of other programs or threads
// come free.
constexpr int kDescriptorTries = 50;

bool LackedDescriptor(const StreamedFile& file) {
    return file.outcome == StreamedFile::Outcome::Skipped && file.reason == SkipReason::NoDescriptor;
}

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

template <class Ready>
void Await(Ready ready, std::mutex& mutex, std::condition_variable& cv, std::atomic<bool>& sleeping) {
    for (int spin = 0; spin < kSpins; ++spin) {
        if (ready()) return;
        Pause();
    }
    std::unique_lock<std::mutex> lock(mutex);
    sleeping = true;
    cv.wait(lock, ready);
    sleeping = false;
}

}  // namespace

bool AwaitDescriptor(int attempt) {
    if (attempt >= kDescriptorTries) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt));
    return true;
}

CFileStream::CFileStream(std::size_t chunkSize, int chunks, long long room, Opener opener, Sink sink)
    : m_nChunkSize(chunkSize), m_nCapacity(chunkSize * static_cast<std::size_t>(chunks)), m_nRoom(room),
      m_ring(new char[m_nCapacity]), m_opener(std::move(opener)), m_sink(std::move(sink)) {
    try {
        m_thread = std::thread(&CFileStream::Work, this);
    } catch (const std::system_error&) {
        // No thread: the job reads on its own.
    }
}

CFileStream::~CFileStream() {
    if (!Running()) return;
    m_bQuit = true;
    m_bStop = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cvReader.notify_one();
    }
    m_thread.join();
}

void CFileStream::Wake(std::atomic<bool>& sleeping, std::condition_variable& cv) {
    if (!sleeping) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    cv.notify_one();
}

void CFileStream::Begin(const CFolder& folder, std::vector<const std::string*> names) {
    m_pFolder = &folder;
    m_nSlots = names.size();
    m_slots.reset(new Slot[m_nSlots]);
    for (std::size_t i = 0; i < m_nSlots; ++i) m_slots[i].name = names[i];
    m_nNextOpen = 0;
    m_nDone = 0;
    m_nHanded = 0;
    m_bStop = false;
    m_bBusy = true;
    ++m_nGeneration;
    Wake(m_bReaderSleeps, m_cvReader);
}

const StreamedFile* CFileStream::Next() {
    if (m_nHanded >= m_nSlots) return nullptr;
    const std::size_t index = m_nHanded;
    for (;;) {
        if (!WriteChunks(false)) return nullptr;
        if (m_nDone > index) break;
        if (OpenAhead()) continue;
        Await([&] { return m_nDone > index || m_nProduced - m_nConsumed >= static_cast<long long>(m_nChunkSize); },
              m_mutex, m_cvWriter, m_bWriterSleeps);
    }
    ++m_nHanded;
    return &m_slots[index].result;
}

bool CFileStream::Claim(std::size_t index) {
    std::size_t expected = index;
    return m_nNextOpen.compare_exchange_strong(expected, index + 1);
}

void CFileStream::Open(Slot& slot) {
    slot.result.outcome = m_opener(slot.file, *m_pFolder, slot.name->c_str(), slot.result.reason)
                              ? StreamedFile::Outcome::Read
                              : StreamedFile::Outcome::Skipped;
    slot.opened = true;
}

// Opens the next file no thread has claimed, when few are held open; false when none.
bool CFileStream::OpenAhead() {
    if (m_bAheadOff) return false;
    const std::size_t next = m_nNextOpen;
    if (next >= m_nSlots || next >= m_nDone + kOpenAhead || !Claim(next)) return false;
    Open(m_slots[next]);
    return true;
}

void CFileStream::Drain() {
    m_bStop = true;
    Wake(m_bReaderSleeps, m_cvReader);
    Await([&] { return !m_bBusy; }, m_mutex, m_cvWriter, m_bWriterSleeps);
    m_pFolder = nullptr;
    m_slots.reset();  // closes the files opened ahead and never read
    m_nSlots = 0;
    m_nDone = 0;
    m_nHanded = 0;
}

bool CFileStream::Flush() { return WriteChunks(true); }

// Full chunks only, or (at the end) all the ring holds; the ring's end cuts a piece short.
bool CFileStream::WriteChunks(bool all) {
    for (;;) {
        const long long consumed = m_nConsumed;
        const long long held = m_nProduced - consumed;
        if (held == 0 || (!all && held < static_cast<long long>(m_nChunkSize))) return true;
        const std::size_t offset = static_cast<std::size_t>(consumed % static_cast<long long>(m_nCapacity));
        const std::size_t size =
            std::min({static_cast<std::size_t>(held), m_nChunkSize, m_nCapacity - offset});
        if (m_bSinkFailed || !m_sink(m_ring.get() + offset, size)) {
            m_bSinkFailed = true;
            return false;
        }
        m_nConsumed = consumed + static_cast<long long>(size);
        Wake(m_bReaderSleeps, m_cvReader);
    }
}

void CFileStream::Work() {
    unsigned seen = 0;
    for (;;) {
        Await([&] { return m_bQuit || m_nGeneration != seen; }, m_mutex, m_cvReader, m_bReaderSleeps);
        if (m_bQuit) return;
        seen = m_nGeneration;
        ReadFolder();
        m_bBusy = false;
        Wake(m_bWriterSleeps, m_cvWriter);
    }
}

// A file that fails the job ends the folder: the job stops at it.
void CFileStream::ReadFolder() {
    std::size_t selfFrom = SIZE_MAX;  // from this file on, the reading thread opens every one itself
    for (std::size_t i = 0; i < m_nSlots && !m_bStop; ++i) {
        Slot& slot = m_slots[i];
        if (i >= selfFrom || Claim(i)) {
            Open(slot);
        } else {
            // The job's thread is opening it: a matter of microseconds, unless it lost its core.
            for (int spin = 0; !slot.opened; ++spin) spin < kSpins ? Pause() : std::this_thread::yield();
            if (slot.reopen) Open(slot);
        }
        if (LackedDescriptor(slot.result)) WaitForDescriptor(i, selfFrom);
        if (slot.result.outcome == StreamedFile::Outcome::Read) ReadFile(slot);
        slot.file.Close();
        m_nDone = i + 1;
        Wake(m_bWriterSleeps, m_cvWriter);
        const StreamedFile::Outcome outcome = slot.result.outcome;
        if (outcome == StreamedFile::Outcome::ReadError || outcome == StreamedFile::Outcome::TooLarge) return;
    }
}

// No descriptor was left for file `index`: running out is the job's own doing, never a
// reason to leave a readable file out. The job's thread opens nothing ahead from now
// on, the files it opened ahead are closed to be opened again in their turn, and the
// file is opened again until a descriptor comes free.
void CFileStream::WaitForDescriptor(std::size_t index, std::size_t& selfFrom) {
    m_bAheadOff = true;
    if (selfFrom == SIZE_MAX) {
        // No file can be claimed past here any more; those claimed are opened or being opened.
        selfFrom = std::max(m_nNextOpen.exchange(m_nSlots), index + 1);
        for (std::size_t j = index + 1; j < selfFrom; ++j) {
            Slot& ahead = m_slots[j];
            for (int spin = 0; !ahead.opened; ++spin) spin < kSpins ? Pause() : std::this_thread::yield();
            ahead.file.Close();
            ahead.reopen = true;
        }
    }
    Slot& slot = m_slots[index];
    Open(slot);  // at once first: the files closed above may be enough
    for (int attempt = 1; LackedDescriptor(slot.result) && AwaitDescriptor(attempt); ++attempt) Open(slot);
}

bool CFileStream::WaitForRoom() {
    Await([&] { return m_bStop || m_nProduced - m_nConsumed < static_cast<long long>(m_nCapacity); }, m_mutex,
          m_cvReader, m_bReaderSleeps);
    return !m_bStop;
}

// Reads as the job's own copy does: to a short read that brings the total to the
// length the file had when opened, or to a read of 0 (a file of procfs, or one that grew).
void CFileStream::ReadFile(Slot& slot) {
    StreamedFile& result = slot.result;
    CFile& file = slot.file;
    const long long opened = file.GetOpenedLength();
    long long total = 0;
    for (;;) {
        if (!WaitForRoom()) {
            result.outcome = StreamedFile::Outcome::ReadError;  // left unfinished: never handed back
            return;
        }
        const long long produced = m_nProduced;
        const std::size_t offset = static_cast<std::size_t>(produced % static_cast<long long>(m_nCapacity));
        std::size_t want = std::min(m_nCapacity - offset, m_nCapacity - static_cast<std::size_t>(produced - m_nConsumed));
        // One byte more than is left, so that the last read comes back short.
        if (opened > total) want = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(want), opened - total + 1));
        const long long n = file.Read(m_ring.get() + offset, want);
        if (n < 0) {
            result.outcome = StreamedFile::Outcome::ReadError;
            return;
        }
        if (n == 0) break;
        if (produced + n > m_nRoom) {
            result.outcome = StreamedFile::Outcome::TooLarge;
            return;
        }
        total += n;
        result.length = total;
        m_nProduced = produced + n;
        Wake(m_bWriterSleeps, m_cvWriter);
        if (static_cast<std::size_t>(n) < want && opened > 0 && total == opened) break;
    }
}
