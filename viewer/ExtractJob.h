// Extracting chosen entries of an open packet below a destination folder, with the
// command line's guarantees: every folder and file is made through a confined tree
// (nothing lands outside the destination, whatever the names or links say), a file
// has its real name only once it is whole, and every entry skipped or failed is kept
// with its reason. Runs on any thread; knows no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ConfinedTree.h"
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

// An entry left out, its path shown below the destination, and why (UTF-8 both). A
// folder that cannot be made is listed once: nothing below it is written.
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
    // The entry's names below `base` as the destination's UTF-8 names, and as shown;
    // false, the problem kept, when one cannot be made on this system.
    bool TargetOf(std::size_t index, std::vector<std::string>& names, std::string& shown);
    // Each writes one entry; false when the job is to stop (cancelled).
    void WriteFolder(std::size_t index, std::vector<std::string>& names, const std::string& shown);
    bool WriteFile(std::size_t index, std::vector<std::string>& names, const std::string& shown,
                   IExtractEvents& events);
    bool Write(CTreeFile& file, std::size_t index, const std::string& shown, IExtractEvents& events);
    void Problem(const std::string& shown, const std::string& reason) { m_problems.push_back({shown, reason}); }

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
    // While Run runs:
    std::unique_ptr<CConfinedTree> m_tree;
    std::string m_strFullRoot;
    std::vector<bool> m_skipped;  // by index: a folder not made, whose content is left out
    std::vector<char> m_buffer;
    bool m_bAnsweredAll = false;  // a conflict answered OverwriteAll or SkipAll
    bool m_bOverwriteAll = false;
    std::size_t m_nDoneFiles = 0;  // written or left out, for OnProgress
    std::int64_t m_nDoneBytes = 0;
};
