// The one-pass job's second thread. The job's thread reads the files one after
// another into a small ring, as the one stream of bytes the packet's data is; this
// thread writes the ring into the packet a chunk at a time and, while it has nothing
// to write, opens the next few files of the folder ahead of the job's thread and reads
// the small ones whole (not in runs of empty files, which the job's thread only looks
// at). The job's thread waits for no file: one it finds unprepared, or still being
// prepared a few microseconds on, it handles itself (on Windows, where a file has one
// opener at a time, it waits for one being prepared). The threads meet once a chunk or
// once several files, and wait asleep: on a busy machine a waiting thread leaves its
// core to the work that needs it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "packer/PacketBuilder.h"
#include "platform/File.h"

// A file of the folder as the second thread left it for the job's thread.
struct PreparedFile {
    enum class Kind { Opened, Failed, ReadError };
    Kind kind = Kind::Failed;
    CFile file;                                  // Opened: for the job's thread to read on and close,
                                                 // unless the file was read whole (then closed)
    const char* data = nullptr;                  // Opened: the file's first bytes, read ahead
    std::size_t size = 0;
    bool whole = false;                          // ... and they are all of it
    SkipReason reason = SkipReason::Unreadable;  // Failed: why the file is not packed
};

class CJobHelper {
public:
    // Takes `size` bytes of the stream for the packet; false when they could not be written.
    using Sink = std::function<bool(const char* data, std::size_t size)>;
    // Opens the file `name` of `folder` (its listed inode number `inode`, or 0) as the job
    // would; false with the reason it is not packed.
    using Opener = std::function<bool(CFile& file, const CFolder& folder, const char* name, std::uint64_t inode,
                                      SkipReason& reason)>;

    // A ring of `chunks` chunks of `chunkSize` bytes. The thread starts with the first
    // full chunk: files that come empty are packed without it (the job's thread alone
    // packs them some 5 % faster: the kernel takes no reference on a file a system call
    // uses while the process has one thread); where the system refuses it, the job's thread
    // gives the sink each chunk itself and prepares no file ahead. Done with a folder,
    // the thread looks for the next one during `idleSpin` microseconds before it sleeps.
    CJobHelper(std::size_t chunkSize, int chunks, int idleSpin, Sink sink, Opener opener);
    // Stops the thread, dropping what the ring still holds and closing the files opened ahead.
    ~CJobHelper();
    CJobHelper(const CJobHelper&) = delete;
    CJobHelper& operator=(const CJobHelper&) = delete;

    // Free room of the ring to read into, in one piece of `size` bytes (at least one),
    // waiting while the ring is full. Null once the sink has failed.
    char* Room(std::size_t& size);
    // The first `size` bytes of the room Room gave are part of the stream now.
    void Commit(std::size_t size);
    // The stream's end: waits until the sink has taken every byte; false when it failed.
    bool Flush();

    // Begins on the files `names` of the folder `path` (ending with a separator), whose
    // listed inode numbers are `inodes` (side by side), from file `first` on (those before
    // it are packed).
    void BeginFolder(const std::string& path, const std::vector<const std::string*>& names,
                     const std::vector<std::uint64_t>& inodes, std::size_t first);
    // The open folder, for the job's own opens; valid until EndFolder.
    const CFolder& Folder() const;
    // File `index` of the folder (taken in order) as the second thread prepared it, for
    // the job's thread to use (and close); null when the job's thread handles it itself.
    PreparedFile* Take(std::size_t index);
    // The process ran out of descriptors: no file is opened ahead from now on, and those
    // opened ahead of file `index` are closed, to be handled by the job's thread.
    void GiveBackAhead(std::size_t index);
    // Tells whether the job's thread is in a run of empty files, which it handles alone.
    void SetEmptyRun(bool empty);
    void EndFolder();

private:
    struct Work;
    struct Slot;

    bool StartThread();
    void Run();
    bool WriteChunk(bool all, std::size_t least = SIZE_MAX);
    bool PrepareNext(Work& work);
    bool PrepareFar(Work& work, std::size_t index);
    void Prepare(Work& work, std::size_t index, const CFolder& folder);
    void ReadAhead(PreparedFile& file, std::size_t index);
    bool NextToPrepare(const Work& work, std::size_t& index) const;
    bool CanPrepare(const Work& work) const;
    static bool FolderDone(const Work* work);
    bool WriterReady() const;
    void Wake(std::atomic<bool>& sleeping, std::condition_variable& cv);
    template <class Ready>
    bool LookFor(Ready ready) const;
    template <class Ready>
    void Sleep(Ready ready, std::condition_variable& cv, std::atomic<bool>& sleeping);

    const std::size_t m_nChunkSize;
    const int m_nIdleSpin;
    const std::size_t m_nCapacity;
    std::unique_ptr<char[]> m_ring;
    std::unique_ptr<char[]> m_ahead;  // a piece for each file ahead, for the small ones read whole
    Sink m_sink;
    Opener m_opener;

    // Bytes read into the ring (moved by the job's thread only) and given to the sink
    // (by the second thread, or the job's when there is none), from the job's start.
    std::atomic<long long> m_nProduced{0};
    std::atomic<long long> m_nConsumed{0};
    std::atomic<bool> m_bFailed{false};
    std::atomic<bool> m_bEnd{false};      // Flush: the rest of the ring goes too
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bAheadOff{false}; // no file is prepared ahead any more
    std::atomic<bool> m_bEmptyRun{false}; // none for now: the files come empty
    bool m_bAlone = false;                // no thread could be started

    // The folder being packed: set by the job's thread, taken by the second one under the
    // mutex; either may hold it longer, so it lives as long as one of them does.
    std::shared_ptr<Work> m_pWork;
    std::atomic<unsigned> m_nGeneration{0};  // bumped whenever m_pWork changes

    std::mutex m_writeMutex;  // held while a chunk goes to the sink

    // Sleeping only; each side says when it sleeps, so that the other wakes it.
    std::mutex m_mutex;
    std::condition_variable m_cvJob;
    std::condition_variable m_cvHelper;
    std::atomic<bool> m_bJobSleeps{false};
    std::atomic<bool> m_bHelperSleeps{false};
    std::thread m_thread;
};
