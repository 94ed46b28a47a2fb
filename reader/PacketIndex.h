// The reader library's core: a streaming check of a packet's header and of every rule
// of its index, then its lines by number or by path and its files' contents through
// positioned reads, so that several threads may read one open packet at once. Memory
// stays bounded whatever the packet claims: a fixed line buffer, a 16-byte record,
// a hash and a slot or two of the lookup table per index line, and the folder lines of the
// branch being walked. Paths are told apart by a hash keyed at random for every run,
// so no packet can be made up to make the lookups slow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "reader/KeyedHash.h"
#include "reader/platform/PacketFile.h"

// Longest index line accepted, its CR LF not counted.
constexpr std::size_t kMaxIndexLine = 64 * 1024;

// How the double-byte characters of stored paths are told apart, so that a trail
// byte 5C is never taken for a separator: by the system's ANSI code page (none off
// Windows), or as GBK whatever the system uses.
enum class NameCoding { Local, Gbk };
// True when byte `c` begins a double-byte character in `coding`.
bool IsLeadByteIn(unsigned char c, NameCoding coding);
// True when byte `c` may stand second in a double-byte character of `coding` (GBK:
// 40-7E and 80-FE).
bool IsTrailByteIn(unsigned char c, NameCoding coding);

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
};

using PacketVisitor = std::function<bool(const PacketLine& line)>;

class CPacketIndex {
public:
    explicit CPacketIndex(NameCoding coding = NameCoding::Local);
    CPacketIndex(const CPacketIndex&) = delete;
    CPacketIndex& operator=(const CPacketIndex&) = delete;

    // Also refuse two paths that `fold` gives the same key (for a file system that
    // cannot hold both). Set before Check.
    void SetNameFold(NameFold fold) { m_fold = std::move(fold); }

    // Opens the packet for reading, shared as `sharing` says, and checks its header
    // against its size; with `map` also maps it whole (CannotMap when the system
    // cannot). False with Problem() set, the packet closed again; nothing is read
    // beyond the header.
    bool Open(const std::string& path, bool map = false,
              CPacketFile::Sharing sharing = CPacketFile::Sharing::Readers);
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
    // After a successful Check: line `index` (from 0), its path read back from the
    // packet unless `withPath` is false; false for an index past Count() or when the
    // packet cannot be read.
    bool LineAt(std::size_t index, PacketLine& line, bool withPath = true) const;
    // After a successful Check: the length of line `index`'s path (0 past Count()).
    std::size_t PathLengthAt(std::size_t index) const;
    // After a successful Check: the line whose path is exactly `path`; false when none,
    // or when the packet cannot be read (then with `*unreadable` set, when given).
    bool Find(const std::string& path, PacketLine& line, bool* unreadable = nullptr) const;
    // Reads up to `size` bytes at packet offset `offset`: the count read (short only
    // at the end of the file), -1 on an error.
    long long ReadAt(long long offset, void* buffer, std::size_t size) const {
        return m_file.ReadAt(offset, buffer, size);
    }
    // The whole packet's bytes when it was opened mapped; nullptr otherwise.
    const char* MappedData() const { return m_file.Data(); }
    void Close() { m_file.Close(); }

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
        std::uint32_t pathPosition;  // from the start of the index
        std::uint32_t pathLength;    // its top bit: a folder
        std::uint32_t offset;
        std::uint32_t length;
    };
    static constexpr std::uint32_t kFolderBit = 0x80000000u;
    struct Frame {
        std::vector<std::uint32_t> children;  // records of a folder's subfolders
        std::size_t next = 0;
    };

    bool OpenHeader(const std::string& path, bool map, CPacketFile::Sharing sharing);
    bool Fail(PacketRule rule, const PacketLine* line, const std::string& text, long long expected = 0,
              long long found = 0);
    bool CheckLine(const PacketLine& line, const std::string& text);
    bool CheckOrder(const PacketLine& line, const std::string& text);
    bool CheckRepeats(const PacketLine& line, const std::string& text, std::uint64_t hash);
    bool PathOf(std::uint32_t record, std::string& path) const;

    NameCoding m_coding;
    CKeyedHash m_hash;
    NameFold m_fold;
    CPacketFile m_file;
    long long m_nIndexOffset = 0;
    long long m_nIndexLength = 0;
    long long m_nFiles = 0;
    long long m_nFolders = 0;
    long long m_nNextData = 0;  // where the next file's data must start
    bool m_bChecked = false;
    PacketProblem m_problem;

    std::vector<Record> m_records;  // in index order
    CHashTable m_table;             // of the records' paths
    CHashTable m_foldedTable;       // of their keys under m_fold, while checking
    std::string m_strCurrent;  // folder whose direct entries are being read; "" is the top
    std::vector<std::uint32_t> m_currentChildren;
    std::vector<Frame> m_stack;  // subfolders still to be walked, one frame per level
};
