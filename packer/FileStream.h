// The one-pass job's reading thread: it reads a folder's files one after another
// into a small ring, as the one stream of bytes the packet's data is, while the
// job's thread writes the ring out a chunk at a time and, waiting, opens the files
// ahead of it. Each byte is copied once into the ring and once into the packet, and
// the ring stays in the processor's cache.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "packer/PacketBuilder.h"
#include "platform/File.h"

// Waits before try `attempt` (from 1) at opening again a file the process had no
// descriptor for, a little longer each time; false, without waiting, once the tries
// are up (about 1.2 s in all).
bool AwaitDescriptor(int attempt);

// How one file went into the stream.
struct StreamedFile {
    enum class Outcome { Read, Skipped, ReadError, TooLarge };
    Outcome outcome = Outcome::Read;
    SkipReason reason = SkipReason::Unreadable;  // for Skipped
    long long length = 0;                        // bytes of it in the stream
};

class CFileStream {
public:
    // Opens `name` in `folder` for reading; false with the reason it is not packed.
    using Opener = std::function<bool(CFile& file, const CFolder& folder, const char* name, SkipReason& reason)>;
    // Takes `size` bytes of the stream for the packet; false when they could not be written.
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    // Starts the thread with a ring of `chunks` chunks of `chunkSize` bytes; the stream
    // may hold `room` bytes in all, a file that takes it past ends as TooLarge.
    // Running() is false when the system refuses the thread.
    CFileStream(std::size_t chunkSize, int chunks, long long room, Opener opener, Sink sink);
    // Stops the thread's reading and joins it.
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    bool Running() const { return m_thread.joinable(); }
    // Begins on the files `names` of `folder`, which must stay as they are until Drain.
    void Begin(const CFolder& folder, std::vector<const std::string*> names);
    // The outcome of the next file, once its last byte is in the stream; every full
    // chunk before goes to the sink on the way. Null when the sink failed, or every
    // file was handed back.
    const StreamedFile* Next();
    // Stops reading the folder's files and waits until the thread has left them.
    void Drain();
    // Gives the sink what the ring still holds (the stream's end); false when it failed.
    bool Flush();

private:
    struct Slot;

    void Work();
    void ReadFolder();
    void ReadFile(Slot& slot);
    bool WaitForRoom();
    bool WriteChunks(bool all);
    void Wake(std::atomic<bool>& sleeping, std::condition_variable& cv);

    const std::size_t m_nChunkSize;
    const std::size_t m_nCapacity;
    const long long m_nRoom;
    std::unique_ptr<char[]> m_ring;
    Opener m_opener;
    Sink m_sink;
    bool m_bSinkFailed = false;

    // The stream: bytes read into the ring, bytes given to the sink (counted from the job's start).
    std::atomic<long long> m_nProduced{0};
    std::atomic<long long> m_nConsumed{0};

    // A file of the folder: opened by whichever thread claimed it, read by the reading one.
    struct Slot {
        const std::string* name = nullptr;
        CFile file;
        std::atomic<bool> opened{false};  // `file` and, when not open, `result.reason` set
        bool reopen = false;              // closed again for want of descriptors: the reading thread opens it
        StreamedFile result;
    };

    void Open(Slot& slot);
    bool Claim(std::size_t index);
    bool OpenAhead();
    void WaitForDescriptor(std::size_t index, std::size_t& selfFrom);

    // The folder: set by Begin while the thread is idle, read by the thread until Drain.
    const CFolder* m_pFolder = nullptr;
    std::unique_ptr<Slot[]> m_slots;
    std::size_t m_nSlots = 0;
    std::atomic<std::size_t> m_nNextOpen{0};  // the next file to open: claimed by a compare-and-swap
    std::atomic<std::size_t> m_nDone{0};   // files whose outcome is known
    std::size_t m_nHanded = 0;             // files handed back by Next
    std::atomic<unsigned> m_nGeneration{0};  // bumped by every Begin
    std::atomic<bool> m_bStop{false};        // Drain or the end: leave the folder
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bBusy{false};        // the thread is on a folder
    std::atomic<bool> m_bAheadOff{false};    // the process ran out of descriptors: no file is opened ahead

    // Sleeping only; each side says when it sleeps, so that the other wakes it.
    std::mutex m_mutex;
    std::condition_variable m_cvReader;
    std::condition_variable m_cvWriter;
    std::atomic<bool> m_bReaderSleeps{false};
    std::atomic<bool> m_bWriterSleeps{false};
    std::thread m_thread;
};
