// Extracting chosen entries of an open packet below a destination folder, with the
// command line's guarantees: every folder and file is made through a confined tree
// (nothing lands outside the destination, whatever the names or links say), a file
// has its real name only once it is whole, and every entry skipped or failed is kept
// with its reason. Runs on any thread; knows no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/PacketView.h"

// What the user says of a file whose name is taken.
enum class ConflictAnswer { Overwrite, Skip, OverwriteAll, SkipAll, Cancel };

// What the job tells while it runs; called on the job's thread.
class IExtractEvents {
public:
    virtual ~IExtractEvents() = default;
    // Before each file: files and bytes done so far and the file's shown path.
    virtual void OnProgress(std::size_t files, std::int64_t bytes, const std::string& path) = 0;
    // Something already has the file's name (`path`, shown below the destination).
    virtual ConflictAnswer OnConflict(const std::string& path) = 0;
    // Asked between files and between pieces of a file: true stops the job.
    virtual bool Cancelled() = 0;
};

// An entry left out, its path shown below the destination, and why.
struct ExtractProblem {
    std::string path;
    std::string reason;
};

class CExtractJob {
public:
    // `entries` all stand in folder `base` (kRootFolder for the top level); a folder
    // stands for everything below it. Their paths below `base` are made below
    // `destination` (UTF-8, a full path; made with any missing folders above it).
    CExtractJob(const CPacketView& view, std::size_t base, const std::vector<std::size_t>& entries,
                std::string destination);

    // The files and bytes the job would write.
    std::size_t TotalFiles() const { return m_nTotalFiles; }
    std::int64_t TotalBytes() const { return m_nTotalBytes; }

    // Writes every entry in index order. False when the destination cannot be made or
    // opened (Message says why, nothing written); else true, Problems listing each
    // entry skipped (a conflict answered so, a name the system cannot hold) or failed.
    bool Run(IExtractEvents& events);

    const std::string& Message() const { return m_strMessage; }
    const std::vector<ExtractProblem>& Problems() const { return m_problems; }
    std::size_t FilesWritten() const { return m_nFiles; }
    std::int64_t BytesWritten() const { return m_nBytes; }
    // True when Cancelled (or a conflict answered Cancel) stopped the job early.
    bool WasCancelled() const { return m_bCancelled; }

private:
    const CPacketView& m_view;
    std::size_t m_base;
    std::vector<std::size_t> m_entries;  // everything to write, in index order
    std::string m_strDestination;
    std::size_t m_nTotalFiles = 0;
    std::int64_t m_nTotalBytes = 0;
    std::vector<ExtractProblem> m_problems;
    std::string m_strMessage;
    std::size_t m_nFiles = 0;
    std::int64_t m_nBytes = 0;
    bool m_bCancelled = false;
};
