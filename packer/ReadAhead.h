// The look ahead of the one-pass job: the next files of a folder opened, and the
// small ones read whole, on a few threads of their own while the job's thread
// writes the files before them. Files come back in the order they were asked for;
// the bytes held ahead are capped.
#pragma once

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

    // Starts up to `threads` threads (false from Threads() when none could start);
    // they hold at most about `maxBytes` of file heads read ahead.
    CReadAhead(int threads, std::size_t maxBytes, long long headLimit, Opener opener);
    // Stops and joins every thread; files not handed back are closed.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    int Threads() const { return static_cast<int>(m_threads.size()); }
    // Begins on the files `names` of `folder`, which must stay as they are until Drain.
    void Begin(const CFolder& folder, std::vector<const std::string*> names);
    // The next file in order, once it is ready; null when every file was handed back.
    std::unique_ptr<ReadItem> Next();
    // Drops the files not handed back yet and waits until no thread works on one.
    void Drain();

private:
    void Work();
    bool MayTakeNext() const;

    const std::size_t m_nMaxBytes;
    const long long m_nHeadLimit;
    Opener m_opener;
    std::vector<std::thread> m_threads;

    std::mutex m_mutex;
    std::condition_variable m_cvWork;  // a file to read, room to hold it, or the end
    std::condition_variable m_cvDone;  // a file is ready, or a thread has put one down
    const CFolder* m_pFolder = nullptr;
    std::vector<const std::string*> m_names;
    std::vector<std::unique_ptr<ReadItem>> m_items;  // by the index of their names
    std::size_t m_nNextTask = 0;                     // the next name a thread takes
    std::size_t m_nNextItem = 0;                     // the next item handed back
    std::size_t m_nBytes = 0;                        // of the heads ready and not handed back
    int m_nRunning = 0;                              // threads at work on a file
    bool m_bStop = false;
};
