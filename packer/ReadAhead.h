// The look ahead of the one-pass job: the next files of a folder opened, and the
// small ones read whole, on a few threads of their own while the job's thread
// writes the files before them. Files come back in the order they were asked for;
// a file no thread has taken yet when its turn comes is read by the job's thread
// itself, so that it never waits for nothing. The bytes held ahead are capped.
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

// One source file as the look ahead leaves it for the writer.
struct ReadItem {
    CFile file;                                  // open while some of it is still to be read
    bool opened = false;                         // false: not packed, for `reason`
    SkipReason reason = SkipReason::Unreadable;
    std::vector<char> head;                      // its first bytes: all of them when complete
    bool complete = false;
    bool readError = false;
};

// Reads the just opened `item.file` whole into `item.head` when it is shorter than
// `limit` bytes, ending as the job's copy does (a short read to the opened length, or
// a read of 0); a longer file, or one that grows past its room, is left to the writer.
void ReadHead(ReadItem& item, long long limit);

class CReadAhead {
public:
    // Opens `name` in `folder` for reading; false with the reason it is not packed.
    using Opener = std::function<bool(CFile& file, const CFolder& folder, const char* name, SkipReason& reason)>;

    // Starts `threads` threads of its own (fewer, or none, when the system refuses);
    // they hold at most about `maxBytes` of file heads read ahead.
    CReadAhead(int threads, std::size_t maxBytes, long long headLimit, Opener opener);
    // Stops and joins every thread; files not handed back are closed.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    int Threads() const { return static_cast<int>(m_threads.size()); }
    // Begins on the files `names` of `folder`, which must stay as they are until Drain.
    void Begin(const CFolder& folder, std::vector<const std::string*> names);
    // The next file in order, once it is ready: valid until the next call or Drain,
    // which close it. Null when every file was handed back.
    ReadItem* Next();
    // Drops the files not handed back yet and waits until no thread works on one.
    void Drain();

private:
    struct Slot {
        const std::string* name = nullptr;
        ReadItem item;
        std::atomic<bool> ready{false};
    };

    enum class Claim { Taken, Lost, None };

    void Work();
    bool MayTake(std::size_t task) const;
    bool HasRoom() const;         // half the room ahead is free
    Claim Take(std::size_t& task);  // claims the next file for this thread
    void Read(Slot& slot);
    void ReadTaken(std::size_t task);  // reads a claimed file and hands it over
    void Release(Slot& slot);
    void Sleep(unsigned generation);
    void WaitReady(Slot& slot);

    const std::size_t m_nMaxBytes;
    const long long m_nHeadLimit;
    Opener m_opener;
    std::vector<std::thread> m_threads;

    // Set by Begin and Drain alone, while no thread holds a claim (m_nClaiming is 0).
    const CFolder* m_pFolder = nullptr;
    std::unique_ptr<Slot[]> m_slots;
    std::atomic<std::size_t> m_nSlots{0};

    // Files are claimed without a lock: the next one by a compare-and-swap of m_nNextTask.
    std::atomic<bool> m_bOpen{false};           // Begin has run and Drain has not
    std::atomic<std::size_t> m_nNextTask{0};    // the next file to take
    std::atomic<std::size_t> m_nNextItem{0};    // the next file handed back
    std::atomic<std::size_t> m_nBytes{0};       // of the heads read and not released
    std::atomic<int> m_nClaiming{0};            // threads between a claim and its file's end
    std::atomic<unsigned> m_nGeneration{0};     // bumped by every Begin
    std::atomic<bool> m_bStop{false};

    // Sleeping only: threads out of work, and the job's thread waiting for a file.
    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvReady;
    std::atomic<int> m_nSleepers{0};
    std::atomic<bool> m_bWaiting{false};
};
