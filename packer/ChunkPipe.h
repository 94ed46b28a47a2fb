// A large file read on a thread of its own, a chunk at a time into a small ring,
// while the job's thread writes the chunks read before: reading the source and
// writing the packet run on two cores, where a copy inside the kernel runs on one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/File.h"

class CChunkPipe {
public:
    // Starts the reading thread, with `chunks` buffers of `chunkSize` bytes; Running()
    // is false when the system refuses a thread.
    CChunkPipe(std::size_t chunkSize, int chunks);
    // Stops the file being read, if any, and joins the thread.
    ~CChunkPipe();
    CChunkPipe(const CChunkPipe&) = delete;
    CChunkPipe& operator=(const CChunkPipe&) = delete;

    bool Running() const { return m_thread.joinable(); }
    // Starts reading `source` from its position; `taken` bytes of it were read before
    // (for the end rule: a short read that brings the total to the length the file had
    // when opened ends it, as does a read of 0). `source` is the thread's until Stop.
    void Start(CFile& source, long long taken);
    // The next chunk, valid until the next call or Stop: its size, 0 at the file's end,
    // -1 on a read error.
    long long Next(const char*& data);
    // Ends the file's reading, read to its end or not; waits until the thread has left it.
    void Stop();

private:
    void Work();
    void ReadFile();

    const std::size_t m_nChunkSize;
    const std::size_t m_nChunks;
    std::unique_ptr<char[]> m_buffer;
    std::vector<long long> m_sizes;  // per chunk: bytes, 0 for the end, -1 for an error

    std::mutex m_mutex;
    std::condition_variable m_cvReader;  // a file to read, or room in the ring
    std::condition_variable m_cvWriter;  // a chunk filled, or the reader gone idle
    CFile* m_pSource = nullptr;          // the file being read; null while idle
    long long m_nTaken = 0;              // bytes of it read so far
    std::size_t m_nFilled = 0;           // chunks filled since Start
    std::size_t m_nReleased = 0;         // chunks the writer is done with
    bool m_bHolding = false;             // the writer holds chunk m_nReleased
    bool m_bEnded = false;               // the last chunk (end or error) is filled
    bool m_bReading = false;             // the thread is inside the file
    bool m_bStop = false;                // the writer wants the file left
    bool m_bQuit = false;
    std::thread m_thread;
};
