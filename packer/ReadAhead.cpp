// The one-pass job's look ahead: a few threads, one mutex, items by position.
#include "packer/ReadAhead.h"

#include <system_error>

namespace {
// Open files held ahead at most, whatever their size: descriptors are finite.
constexpr std::size_t kMaxFilesAhead = 128;
// What a file that reports no length (procfs) gets for its first read.
constexpr std::size_t kUnknownLengthRoom = 4096;
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
            break;  // fewer threads, or none: the caller reads by itself
        }
    }
}

CReadAhead::~CReadAhead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvWork.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void CReadAhead::Begin(const CFolder& folder, std::vector<const std::string*> names) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pFolder = &folder;
        m_names = std::move(names);
        m_items.clear();
        m_items.resize(m_names.size());
        m_nNextTask = 0;
        m_nNextItem = 0;
        m_nBytes = 0;
    }
    m_cvWork.notify_all();
}

std::unique_ptr<ReadItem> CReadAhead::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_nNextItem >= m_items.size()) return nullptr;
    const std::size_t index = m_nNextItem++;
    m_cvDone.wait(lock, [&] { return m_items[index] != nullptr; });
    std::unique_ptr<ReadItem> item = std::move(m_items[index]);
    m_nBytes -= item->head.size();
    lock.unlock();
    m_cvWork.notify_one();  // room for one more
    return item;
}

void CReadAhead::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_nNextTask = m_names.size();
    m_cvDone.wait(lock, [&] { return m_nRunning == 0; });
    m_items.clear();
    m_names.clear();
    m_pFolder = nullptr;
    m_nNextTask = m_nNextItem = m_nBytes = 0;
}

bool CReadAhead::MayTakeNext() const {
    return m_nNextTask < m_names.size() && m_nBytes < m_nMaxBytes && m_nNextTask - m_nNextItem < kMaxFilesAhead;
}

void CReadAhead::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cvWork.wait(lock, [&] { return m_bStop || MayTakeNext(); });
        if (m_bStop) return;
        const std::size_t index = m_nNextTask++;
        const std::string& name = *m_names[index];
        const CFolder& folder = *m_pFolder;
        ++m_nRunning;
        lock.unlock();

        std::unique_ptr<ReadItem> item(new ReadItem);
        item->opened = m_opener(item->file, folder, name.c_str(), item->reason);
        if (item->opened) ReadHead(*item, m_nHeadLimit);

        lock.lock();
        --m_nRunning;
        m_nBytes += item->head.size();
        m_items[index] = std::move(item);
        m_cvDone.notify_all();
    }
}
