// The reader library's core: a streaming check of a packet's header and of every rule
// of its index, then its lines by number, by path or by folder, and its files'
// contents through positioned reads, so that several threads may read one open
// packet at once. Memory stays bounded by what the packet holds, whatever it claims:
// a fixed line buffer, per index line a 24-byte record, two to four 8-byte slots of
// the lookup table (twice that with a name fold) and, when kept, its path's bytes and
// 8 more, and the folder lines of the branch being walked. Paths are told apart by a hash
// keyed at random for every run, so no packet can be made up to make lookups slow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/KeyedHash.h"
#include "reader/PacketNames.h"
#include "reader/platform/PacketFile.h"

namespace velkaron_reader {

// Longest index line accepted, its CR LF not counted.
constexpr std::size_t kMaxIndexLine = 64 * 1024;

// The key under which a file system takes a path to name the same file as another
// (e.g. the case of its letters folded); false when it compares that path exactly.
using NameFold = std::function<bool(const std::string& path, std::string& key)>;

// The rule a packet breaks, in the order the checks meet them.
enum class PacketRule {
    None,
    CannotOpen,      // no such file, not a plain file, or not readable
    CannotMap,       // opened, but the system cannot map it whole
    ReadError,       // a read failed or came up short
    HeaderShort,     // fewer than 64 bytes
    HeaderMagic,     // does not begin with the magic word and a space
    HeaderLineEnd,   // no CR LF within the 64 bytes
    HeaderNumbers,   // not two decimal numbers separated by one space
    HeaderPadding,   // something other than spaces after the CR LF
    IndexOffset,     // first number below 64
    PacketSize,      // size is not the first number plus the second
    LineTooLong,     // longer than kMaxIndexLine
    LineBreak,       // a CR or LF that is not part of a CR LF line end
    IndexEnd,        // the index does not end with CR LF
    LineKind,        // does not begin with "#D," or "#F,"
    LineFields,      // fewer than four fields
    LineNumbers,     // a number that is not a 32-bit decimal without sign or leading zero
    FolderLength,    // a folder line's second number is not 0
    PathAbsolute,    // a leading backslash or a drive letter
    PathEmpty,       // an empty path or component (doubled or trailing backslash)
    PathDot,         // a "." or ".." component
    PathBadChar,     // a NUL or a "/" in a name
    PathIllFormed,   // a lead byte not followed by a trail byte of the names' code page
    FilePastData,    // offset plus length runs past the data area
    FileGap,         // offset after the end of the previous file's data
    FileOverlap,     // offset inside the previous file's data
    FolderOffset,    // a folder line's offset is not that of the next file's data
    Order,           // not below a folder listed before it, or a folder's entries split up
    Duplicate,       // the same path on an earlier line
    CaseClash,       // not the path of an earlier line, but the same name to the file system
    DataLength,      // the file lengths do not add up to the data area
};

struct PacketLine {
    bool folder = false;
    long long offset = 0;
    long long length = 0;
    std::string path;      // as stored: components joined by backslashes
    long long number = 0;  // 1 for the first index line
};

struct PacketProblem {
    PacketRule rule = PacketRule::None;
    long long line = 0;      // index line it was found on; 0 for the header and the packet as a whole
    std::string text;        // that line as stored, without CR LF, cut at 200 bytes
    long long expected = 0;  // the value the rule asks for, where it names one
    long long found = 0;     // the value found; for Duplicate and CaseClash the earlier line
    std::string other;       // for Duplicate and CaseClash: the earlier line's path, cut at 200 bytes
};

using PacketVisitor = std::function<bool(const PacketLine& line)>;

// Where the paths of a checked index are read back from: the packet (memory per line
// stays a fixed record, as the command line wants it), or a copy kept in memory (a
// lookup or a listing then makes no system call, as a program's reads want it).
enum class PathStore { Packet, Memory };

class CPacketIndex {
public:
    // No index line has it: the parent of the top-level lines.
    static constexpr std::uint32_t kTop = 0xFFFFFFFFu;

    explicit CPacketIndex(NameCoding coding = NameCoding::Local, PathStore store = PathStore::Packet);
    CPacketIndex(const CPacketIndex&) = delete;
    CPacketIndex& operator=(const CPacketIndex&) = delete;

    // Also refuse two paths that `fold` gives the same key (for a file system that
    // cannot hold both, or for lookups that ignore case); FindFolded then finds a path
    // by that key. Set before Check.
    void SetNameFold(NameFold fold) { m_fold = std::move(fold); }

    // Opens the packet file for reading, shared as `sharing` says (`utf8Path`: see
    // CPacketFile::Open), and checks its header against its size; with `map` also
    // maps it whole (CannotMap when the system cannot). False with Problem() set, the
    // packet closed again; nothing is read beyond the header.
    bool Open(const std::string& path, bool map = false,
              CPacketFile::Sharing sharing = CPacketFile::Sharing::Readers, bool utf8Path = false);
    // The same for a packet read from `source` (which the index keeps).
    bool Open(std::unique_ptr<CPacketSource> source, bool map = false);
    // Walks the whole index once, checking every rule. `visit`, when given, sees each
    // line once it has passed the checks a line allows on its own and in order.
    // False at the earliest broken rule (Problem()), when Open failed (its problem
    // kept), or when `visit` returns false (Problem().rule is then None).
    bool Check(const PacketVisitor& visit = nullptr);
    // After a successful Check: walks the index again in order. False when `visit`
    // returns false or the packet cannot be read (Problem()).
    bool ForEach(const PacketVisitor& visit);

    // The calls below only read: several threads may make them at once.
    // After a successful Check: the number of index lines.
    std::size_t Count() const { return m_bChecked ? m_records.size() : 0; }
    // After a successful Check: line `index` (from 0), its path read back unless
    // `withPath` is false; false for an index past Count() or when the packet cannot
    // be read.
    bool LineAt(std::size_t index, PacketLine& line, bool withPath = true) const;
    // After a successful Check: the length of line `index`'s path (0 past Count()).
    std::size_t PathLengthAt(std::size_t index) const;
    // After a successful Check: line `index`'s path; false past Count() or when the
    // packet cannot be read.
    bool PathAt(std::size_t index, std::string& path) const;
    // After a successful Check: the line whose path is exactly `path`; false when none,
    // or when the packet cannot be read (then with `*unreadable` set, when given).
    bool Find(const std::string& path, PacketLine& line, bool* unreadable = nullptr) const;
    // After a successful Check: the index of the line whose path is exactly `path`
    // (`size` bytes), or, failing that and with a name fold set, whose key is that of
    // `path`; kTop when none (or, with paths in the packet, when it cannot be read).
    std::uint32_t FindIndex(const char* path, std::size_t size) const;
    // After a successful Check: the folder holding line `index` < Count() (kTop for a
    // top-level one). A folder's direct entries are lines `first` to `first + count - 1` (a folder's
    // entries stand together), those of the top level for `folder` kTop. False for an
    // index past Count() or a file.
    std::uint32_t FolderOf(std::size_t index) const { return m_records[index].parent; }
    bool EntriesOf(std::uint32_t folder, std::uint32_t& first, std::uint32_t& count) const;
    // Reads up to `size` bytes at packet offset `offset`: the count read (short only
    // at the end of the packet), -1 on an error.
    long long ReadAt(long long offset, void* buffer, std::size_t size) const {
        return m_source ? m_source->ReadAt(offset, buffer, size) : -1;
    }
    // The whole packet's bytes when it was opened mapped or from memory; nullptr otherwise.
    const char* MappedData() const { return m_source ? m_source->Data() : nullptr; }
    void Close() { m_source.reset(); }
    NameCoding Coding() const { return m_coding; }

    const PacketProblem& Problem() const { return m_problem; }
    long long IndexOffset() const { return m_nIndexOffset; }
    long long IndexLength() const { return m_nIndexLength; }
    long long Files() const { return m_nFiles; }      // after Check
    long long Folders() const { return m_nFolders; }  // after Check

    // Parent of a stored path: everything before its last separator, "" for a top-level entry.
    static std::string ParentOf(const std::string& path, NameCoding coding);
    // The components of a stored path, split at separators that are whole characters.
    static std::vector<std::string> Components(const std::string& path, NameCoding coding);

private:
    // One index line: enough to give its numbers at once and to read its path back.
    struct Record {
        std::uint32_t pathPosition;  // in m_paths, or from the start of the index
        std::uint32_t pathLength;    // its top bit: a folder
        std::uint32_t offset;
        std::uint32_t length;      // of a file's content; for a folder, the number of its direct entries
        std::uint32_t parent;      // record of the folder holding it; kTop at the top
        std::uint32_t firstEntry;  // of a folder: the record of its first direct entry
    };
    static constexpr std::uint32_t kFolderBit = 0x80000000u;
    struct Frame {
        std::vector<std::uint32_t> children;  // records of a folder's subfolders
        std::size_t next = 0;
    };

    bool OpenHeader(bool map);
    bool Fail(PacketRule rule, const PacketLine* line, std::string_view text, long long expected = 0,
              long long found = 0, std::uint32_t other = kTop);
    bool CheckLine(const PacketLine& line, std::string_view text);
    bool CheckOrder(const PacketLine& line, std::string_view text);
    bool CheckRepeats(const PacketLine& line, std::string_view text, std::uint64_t hash);
    void Keep(const PacketLine& line, long long pathPosition, std::uint64_t hash);
    bool PathOf(std::uint32_t record, std::string& path) const;
    // True when record `record`'s path is the `size` bytes at `path`; `unread` set when it
    // could not be read back from the packet.
    bool PathIs(std::uint32_t record, const char* path, std::size_t size, bool& unread) const;
    // The record of a value of m_table (its number, or with paths in memory the place
    // of its path's header); kNone stays kNone.
    std::uint32_t RecordOf(std::uint32_t value) const;
    // True when the path of a value of m_table is the `size` bytes at `path`; `unread`
    // set when it could not be read back from the packet.
    bool HoldsPath(std::uint32_t value, const char* path, std::size_t size, bool& unread) const;
    // The record whose path is the `size` bytes at `path` (their hash `hash`), or kNone;
    // `unread` as HoldsPath sets it.
    std::uint32_t ExactRecord(const char* path, std::size_t size, std::uint64_t hash, bool& unread) const;
    // The record whose path the fold takes to `key` (its hash `hash`), or kNone; `unread`
    // set when a path could not be read back from the packet.
    std::uint32_t FoldedRecord(const std::string& key, std::uint64_t hash, bool& unread) const;
    std::uint32_t FindFolded(const std::string& path) const;

    NameCoding m_coding;
    PathStore m_store;
    CKeyedHash m_hash;
    NameFold m_fold;
    std::unique_ptr<CPacketSource> m_source;
    long long m_nIndexOffset = 0;
    long long m_nIndexLength = 0;
    long long m_nFiles = 0;
    long long m_nFolders = 0;
    long long m_nNextData = 0;  // where the next file's data must start
    bool m_bChecked = false;
    PacketProblem m_problem;

    std::vector<Record> m_records;  // in index order
    std::string m_paths;            // with PathStore::Memory: each path after its record's number and its length
    CHashTable m_table;             // of the records' paths: their numbers, or their places in m_paths
    CHashTable m_foldedTable;       // of their keys under m_fold
    std::uint32_t m_nTopEntries = 0;
    std::size_t m_nParentLength = 0;  // of the path of the line being checked, up to its last separator
    std::string m_strCurrent;       // folder whose direct entries are being read; "" is the top
    std::uint32_t m_nCurrent = kTop;  // its record
    std::vector<std::uint32_t> m_currentChildren;
    std::vector<Frame> m_stack;  // subfolders still to be walked, one frame per level
};

}  // namespace velkaron_reader

// The command line and the tests name the core without its namespace, which keeps it
// apart from the names of programs that link the library.
using namespace velkaron_reader;  // NOLINT(google-global-names-in-headers)
