// The ring between the reading thread and the job's: chunk m_nReleased is the one the
// writer holds, chunks up to m_nFilled the ones read for it; the reader fills the next
// only while fewer than all of them are taken.
#include "packer/ChunkPipe.h"

#include <system_error>

CChunkPipe::CChunkPipe(std::size_t chunkSize, int chunks)
    : m_nChunkSize(chunkSize), m_nChunks(static_cast<std::size_t>(chunks)),
      m_buffer(new char[chunkSize * static_cast<std::size_t>(chunks)]), m_sizes(m_nChunks, 0) {
    try {
        m_thread = std::thread(&CChunkPipe::Work, this);
    } catch (const std::system_error&) {
        // No thread: the caller copies in its own.
    }
}

CChunkPipe::~CChunkPipe() {
    if (!Running()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_cvReader.notify_all();
    m_thread.join();
}

void CChunkPipe::Start(CFile& source, long long taken) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pSource = &source;
        m_nTaken = taken;
        m_nFilled = m_nReleased = 0;
        m_bHolding = m_bEnded = m_bStop = false;
    }
    m_cvReader.notify_one();
}

long long CChunkPipe::Next(const char*& data) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_bHolding) {
        ++m_nReleased;
        m_bHolding = false;
        m_cvReader.notify_one();
    }
    m_cvWriter.wait(lock, [this] { return m_nFilled > m_nReleased || m_bEnded; });
    if (m_nFilled == m_nReleased) return 0;
    const std::size_t slot = m_nReleased % m_nChunks;
    m_bHolding = true;
    data = m_buffer.get() + slot * m_nChunkSize;
    return m_sizes[slot];
}

void CChunkPipe::Stop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_bStop = true;
    m_cvReader.notify_one();
    m_cvWriter.wait(lock, [this] { return !m_bReading; });
    m_pSource = nullptr;
    m_bHolding = false;
}

void CChunkPipe::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cvReader.wait(lock, [this] { return m_bQuit || (m_pSource != nullptr && !m_bStop && !m_bEnded); });
        if (m_bQuit) return;
        m_bReading = true;
        lock.unlock();
        ReadFile();
        lock.lock();
        m_bReading = false;
        m_cvWriter.notify_one();
    }
}

// Reads chunks until the file's end, a read error, or the writer's Stop.
void CChunkPipe::ReadFile() {
    CFile& source = *m_pSource;
    const long long opened = source.GetOpenedLength();
    for (;;) {
        std::size_t slot = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cvReader.wait(lock, [this] { return m_bStop || m_bQuit || m_nFilled - m_nReleased < m_nChunks; });
            if (m_bStop || m_bQuit) return;
            slot = m_nFilled % m_nChunks;
        }
        const long long n = source.Read(m_buffer.get() + slot * m_nChunkSize, m_nChunkSize);
        bool last = n <= 0;
        if (n > 0) {
            m_nTaken += n;
            // On a disk file a read comes up short only at its end (as the job's copy knows).
            last = static_cast<std::size_t>(n) < m_nChunkSize && opened > 0 && m_nTaken == opened;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (n != 0) {
                m_sizes[slot] = n;
                ++m_nFilled;
            }
            m_bEnded = last;
        }
        m_cvWriter.notify_one();
        if (last) return;
    }
}
