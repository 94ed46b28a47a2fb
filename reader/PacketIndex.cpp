// The streaming packet check: the header, then the index line by line through one
// fixed buffer. The order of the lines is followed with the folder lines of the
// branch being walked; each line's path goes into a table keyed by its hash as it is
// read, so a repeated path is found on its own line, every hash match confirmed
// against the stored bytes (the hash is keyed, so a match is almost always a repeat).
#include "reader/PacketIndex.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "packer/PacketFormat.h"

namespace velkaron_reader {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kProblemText = 200;
const char kMagicAndSpace[] = "Velkaron.Packet ";

// A number as the writer makes them: decimal digits, no sign, no leading zero, 32 bits.
bool ParseNumber(const char* digits, std::size_t count, long long& value) {
    if (count == 0 || count > 10 || (count > 1 && digits[0] == '0')) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return false;
        value = value * 10 + (digits[i] - '0');
    }
    return value <= kPacketMaxNumber;
}

// Splits "#D,offset,0,path" / "#F,offset,length,path" into `line`; false with the rule it breaks.
bool ParseLineText(std::string_view text, PacketLine& line, PacketRule& rule) {
    if (text.size() < 3 || text[0] != '#' || (text[1] != 'D' && text[1] != 'F') || text[2] != ',') {
        rule = PacketRule::LineKind;
        return false;
    }
    line.folder = text[1] == 'D';
    std::size_t c1 = 3;  // the numbers are short: scanned here rather than by a call
    while (c1 < text.size() && text[c1] != ',') ++c1;
    std::size_t c2 = c1 + 1;
    while (c2 < text.size() && text[c2] != ',') ++c2;
    if (c2 >= text.size()) {
        rule = PacketRule::LineFields;
        return false;
    }
    if (!ParseNumber(text.data() + 3, c1 - 3, line.offset) ||
        !ParseNumber(text.data() + c1 + 1, c2 - c1 - 1, line.length)) {
        rule = PacketRule::LineNumbers;
        return false;
    }
    if (line.folder && line.length != 0) {
        rule = PacketRule::FolderLength;
        return false;
    }
    line.path.assign(text.data() + c2 + 1, text.size() - c2 - 1);
    return true;
}

PacketRule CheckComponent(const char* path, std::size_t begin, std::size_t end) {
    const std::size_t length = end - begin;
    if (length == 0) return PacketRule::PathEmpty;
    if (path[begin] == '.' && (length == 1 || (length == 2 && path[begin + 1] == '.'))) return PacketRule::PathDot;
    return PacketRule::None;
}

// Components joined by single backslashes, none empty, "." or "..", no NUL or "/" in a
// name, every lead byte followed by a trail byte. `parentLength` gets the length of
// what stands before the last separator (0 for a top-level path).
PacketRule CheckPath(const std::string& path, const CodePage& page, std::size_t& parentLength) {
    if (path.empty()) return PacketRule::PathEmpty;
    if (PathLooksAbsolute(path)) return PacketRule::PathAbsolute;
    const char* p = path.data();
    const std::size_t size = path.size();
    std::size_t begin = 0, pos = 0;
    parentLength = 0;
#ifdef VELKARON_READER_WORDS
    // Words of ASCII without NUL or "/" at once, their backslashes alone looked at.
    for (; pos + 8 <= size; pos += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + pos, sizeof word);
        if ((word & ~kLowBits) != 0 || ZeroBytes(word) != 0 || ZeroBytes(word ^ kSlashes) != 0) break;
        for (std::uint64_t found = ZeroBytes(word ^ kBackslashes); found != 0; found &= found - 1) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctzll(found)) / 8;
            const PacketRule rule = CheckComponent(p, begin, at);
            if (rule != PacketRule::None) return rule;
            parentLength = at;
            begin = at + 1;
        }
    }
#endif
    for (; pos < size; ++pos) {
        const unsigned char c = static_cast<unsigned char>(p[pos]);
        if (!page.stop[c]) continue;
        if (page.lead[c]) {
            if (pos + 1 < size && page.trail[static_cast<unsigned char>(p[pos + 1])]) {
                ++pos;
                continue;
            }
            return PacketRule::PathIllFormed;
        }
        if (c == '\0' || c == '/') return PacketRule::PathBadChar;
        if (c == '\\') {
            const PacketRule rule = CheckComponent(p, begin, pos);
            if (rule != PacketRule::None) return rule;
            parentLength = pos;
            begin = pos + 1;
        }
    }
    return CheckComponent(p, begin, size);
}

std::string Shorten(std::string_view text) { return std::string(text.substr(0, kProblemText)); }

// The index read front to back through one buffer, each read at its own offset, so
// that other reads of the same file may come in between.
class LineReader {
public:
    enum Result { kLine, kEnd, kTooLong, kBreak, kNoFinalEnd, kReadError };

    LineReader(const CPacketSource& file, long long begin, long long end)
        : m_file(file), m_pos(begin), m_end(end), m_buffer(new char[kBufferSize]) {}

    // The next line without its CR LF, in the reader's buffer until the next call, and
    // the packet offset where it starts.
    Result Next(std::string_view& line, long long& position) {
        for (;;) {
            const char* start = m_buffer.get() + m_begin;
            std::size_t avail = m_fill - m_begin;
            position = m_pos - static_cast<long long>(avail);
            const void* lf = std::memchr(start, '\n', avail);
            if (lf != nullptr) {
                const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
                line = std::string_view(start, n);
                m_begin += n + 1;
                if (n == 0 || start[n - 1] != '\r') return kBreak;
                line.remove_suffix(1);
                if (line.size() > kMaxIndexLine) return kTooLong;
                return std::memchr(line.data(), '\r', line.size()) == nullptr ? kLine : kBreak;
            }
            if (avail > kMaxIndexLine + 1) {
                line = std::string_view(start, kProblemText);
                return kTooLong;
            }
            if (m_pos >= m_end) {
                line = std::string_view(start, avail);
                return avail == 0 ? kEnd : kNoFinalEnd;
            }
            std::memmove(m_buffer.get(), start, avail);
            m_begin = 0;
            m_fill = avail;
            long long want = std::min<long long>(static_cast<long long>(kBufferSize - m_fill), m_end - m_pos);
            long long got = m_file.ReadAt(m_pos, m_buffer.get() + m_fill, static_cast<std::size_t>(want));
            if (got <= 0) return kReadError;
            m_fill += static_cast<std::size_t>(got);
            m_pos += got;
        }
    }

private:
    const CPacketSource& m_file;
    long long m_pos;  // next byte of the file to read into the buffer
    long long m_end;
    static constexpr std::size_t kBufferSize = kMaxIndexLine + 2 + kReadChunk;
    std::unique_ptr<char[]> m_buffer;  // left unfilled: only what is read is looked at
    std::size_t m_begin = 0;
    std::size_t m_fill = 0;
};

PacketRule RuleOf(LineReader::Result result) {
    switch (result) {
        case LineReader::kTooLong: return PacketRule::LineTooLong;
        case LineReader::kBreak: return PacketRule::LineBreak;
        case LineReader::kNoFinalEnd: return PacketRule::IndexEnd;
        default: return PacketRule::ReadError;
    }
}

}  // namespace

CPacketIndex::CPacketIndex(NameCoding coding, PathStore store) : m_coding(coding), m_store(store) {}

std::string CPacketIndex::ParentOf(const std::string& path, NameCoding coding) {
    const CodePage& page = PageOf(coding);
    std::size_t last = std::string::npos;
    for (std::size_t pos = 0; pos < path.size(); pos += CharLength(path.data(), path.size(), pos, page)) {
        if (path[pos] == '\\' && CharLength(path.data(), path.size(), pos, page) == 1) last = pos;
    }
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

std::vector<std::string> CPacketIndex::Components(const std::string& path, NameCoding coding) {
    const CodePage& page = PageOf(coding);
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t pos = 0; pos < path.size(); pos += CharLength(path.data(), path.size(), pos, page)) {
        if (path[pos] == '\\' && CharLength(path.data(), path.size(), pos, page) == 1) {
            parts.push_back(path.substr(begin, pos - begin));
            begin = pos + 1;
        }
    }
    parts.push_back(path.substr(begin));
    return parts;
}

bool CPacketIndex::Fail(PacketRule rule, const PacketLine* line, std::string_view text, long long expected,
                        long long found, std::uint32_t other) {
    m_problem = PacketProblem();
    m_problem.rule = rule;
    m_problem.line = line != nullptr ? line->number : 0;
    m_problem.text = Shorten(text);
    m_problem.expected = expected;
    m_problem.found = found;
    if (other != kTop && PathOf(other, m_problem.other)) m_problem.other = Shorten(m_problem.other);
    return false;
}

bool CPacketIndex::Open(const std::string& path, bool map, CPacketFile::Sharing sharing, bool utf8Path) {
    std::unique_ptr<CPacketFile> file(new CPacketFile);
    if (!file->Open(path, sharing, utf8Path)) {
        m_source.reset();
        m_bChecked = false;
        return Fail(PacketRule::CannotOpen, nullptr, std::string());
    }
    return Open(std::move(file), map);
}

bool CPacketIndex::Open(std::unique_ptr<CPacketSource> source, bool map) {
    m_problem = PacketProblem();
    m_bChecked = false;
    m_records.clear();
    m_paths.clear();
    m_table.Clear();
    m_foldedTable.Clear();
    m_source = std::move(source);
    bool ok = OpenHeader(map);
    if (!ok) m_source.reset();  // a packet with a broken header is never walked
    return ok;
}

bool CPacketIndex::OpenHeader(bool map) {
    const long long size = m_source->Size();
    if (size < 0) return Fail(PacketRule::ReadError, nullptr, std::string());
    if (size < kPacketHeaderSize) return Fail(PacketRule::HeaderShort, nullptr, std::string(), 64, size);

    char bytes[kPacketHeaderSize];
    if (ReadAt(0, bytes, sizeof bytes) != kPacketHeaderSize) return Fail(PacketRule::ReadError, nullptr, std::string());
    const std::string header(bytes, sizeof bytes);
    const std::size_t magic = sizeof kMagicAndSpace - 1;
    if (header.compare(0, magic, kMagicAndSpace) != 0) return Fail(PacketRule::HeaderMagic, nullptr, header);
    std::size_t crlf = header.find("\r\n");
    if (crlf == std::string::npos) return Fail(PacketRule::HeaderLineEnd, nullptr, header);
    std::string line = header.substr(0, crlf);
    std::size_t space = line.find(' ', magic);
    if (space == std::string::npos ||
        !ParseNumber(line.data() + magic, space - magic, m_nIndexOffset) ||
        !ParseNumber(line.data() + space + 1, line.size() - space - 1, m_nIndexLength)) {
        return Fail(PacketRule::HeaderNumbers, nullptr, line);
    }
    if (header.find_first_not_of(' ', crlf + 2) != std::string::npos) {
        return Fail(PacketRule::HeaderPadding, nullptr, line);
    }
    if (m_nIndexOffset < kPacketHeaderSize) {
        return Fail(PacketRule::IndexOffset, nullptr, line, kPacketHeaderSize, m_nIndexOffset);
    }
    // Checked before anything is read or reserved on the header's word.
    if (m_nIndexOffset + m_nIndexLength != size) {
        return Fail(PacketRule::PacketSize, nullptr, line, m_nIndexOffset + m_nIndexLength, size);
    }
    if (map && !m_source->Map()) return Fail(PacketRule::CannotMap, nullptr, std::string(), 0, size);
    return true;
}

bool CPacketIndex::Check(const PacketVisitor& visit) {
    if (!m_source) {
        if (m_problem.rule == PacketRule::None) m_problem.rule = PacketRule::CannotOpen;
        return false;
    }
    m_bChecked = false;
    m_nFiles = 0;
    m_nFolders = 0;
    m_nNextData = kPacketHeaderSize;
    m_records.clear();
    m_paths.clear();
    m_table.Clear();
    m_foldedTable.Clear();
    m_nTopEntries = 0;
    m_nCurrent = kTop;
    m_strCurrent.clear();
    m_currentChildren.clear();
    m_stack.clear();
    m_problem = PacketProblem();

    LineReader reader(*m_source, m_nIndexOffset, m_nIndexOffset + m_nIndexLength);
    std::string_view text;
    bool walked = true;
    PacketLine line;  // its path's buffer kept from line to line
    for (long long number = 1;; ++number) {
        line.number = number;
        long long position = 0;
        LineReader::Result result = reader.Next(text, position);
        if (result == LineReader::kEnd) break;
        PacketRule rule = PacketRule::None;
        std::uint64_t hash = 0;
        if (result != LineReader::kLine) {
            walked = Fail(RuleOf(result), &line, text);
        } else if (!ParseLineText(text, line, rule)) {
            walked = Fail(rule, &line, text);
        } else {
            hash = m_hash(line.path);
            walked = CheckLine(line, text) && CheckOrder(line, text) && CheckRepeats(line, text, hash);
        }
        if (!walked) break;
        Keep(line, position - m_nIndexOffset + static_cast<long long>(text.size() - line.path.size()), hash);
        ++(line.folder ? m_nFolders : m_nFiles);
        if (visit && !visit(line)) {
            m_problem = PacketProblem();
            return false;
        }
    }
    m_stack.clear();
    m_stack.shrink_to_fit();
    m_currentChildren.clear();
    m_records.shrink_to_fit();
    m_paths.shrink_to_fit();
    if (walked && m_nNextData != m_nIndexOffset) {
        walked = Fail(PacketRule::DataLength, nullptr, std::string(), m_nIndexOffset - kPacketHeaderSize,
                      m_nNextData - kPacketHeaderSize);
    }
    m_bChecked = walked;
    return walked;
}

bool CPacketIndex::CheckLine(const PacketLine& line, std::string_view text) {
    PacketRule rule = CheckPath(line.path, PageOf(m_coding), m_nParentLength);
    if (rule != PacketRule::None) return Fail(rule, &line, text);
    if (line.folder) {
        if (line.offset != m_nNextData) return Fail(PacketRule::FolderOffset, &line, text, m_nNextData, line.offset);
        return true;
    }
    if (line.offset + line.length > m_nIndexOffset) {
        return Fail(PacketRule::FilePastData, &line, text, m_nIndexOffset, line.offset + line.length);
    }
    if (line.offset > m_nNextData) return Fail(PacketRule::FileGap, &line, text, m_nNextData, line.offset);
    if (line.offset < m_nNextData) return Fail(PacketRule::FileOverlap, &line, text, m_nNextData, line.offset);
    m_nNextData += line.length;
    return true;
}

// The lines come as a walk of the folder tree: a folder's direct entries together,
// then each of its subfolders' in the order of their lines. When the parent changes,
// the walk moves on to the next folder in that order; folders passed over had no
// entries, so none of theirs may come later.
bool CPacketIndex::CheckOrder(const PacketLine& line, std::string_view text) {
    const std::size_t parentLength = m_nParentLength;  // from CheckLine
    if (m_strCurrent.compare(0, std::string::npos, line.path.data(), parentLength) != 0) {
        m_stack.push_back(Frame{std::move(m_currentChildren), 0});
        m_currentChildren.clear();
        bool found = false;
        while (!found && !m_stack.empty()) {
            Frame& top = m_stack.back();
            if (top.next == top.children.size()) {
                m_stack.pop_back();
                continue;
            }
            const std::uint32_t candidate = top.children[top.next++];
            bool unread = false;
            found = PathIs(candidate, line.path.data(), parentLength, unread);
            if (unread) return Fail(PacketRule::ReadError, &line, text);
            if (found) m_nCurrent = candidate;
        }
        if (!found) return Fail(PacketRule::Order, &line, text);
        m_strCurrent.assign(line.path, 0, parentLength);
        m_records[m_nCurrent].firstEntry = static_cast<std::uint32_t>(m_records.size());
    }
    // The line's own record comes next, once every check has passed.
    if (line.folder) m_currentChildren.push_back(static_cast<std::uint32_t>(m_records.size()));
    return true;
}

// A path an earlier line has, or one that the fold takes for an earlier line's.
bool CPacketIndex::CheckRepeats(const PacketLine& line, std::string_view text, std::uint64_t hash) {
    bool unread = false;
    std::uint32_t earlier = ExactRecord(line.path.data(), line.path.size(), hash, unread);
    if (unread) return Fail(PacketRule::ReadError, &line, text);
    if (earlier != CHashTable::kNone) return Fail(PacketRule::Duplicate, &line, text, 0, earlier + 1, earlier);
    std::string key;
    if (!m_fold || !m_fold(line.path, key)) return true;
    const std::uint64_t folded = m_hash(key);
    earlier = FoldedRecord(key, folded, unread);
    if (unread) return Fail(PacketRule::ReadError, &line, text);
    if (earlier != CHashTable::kNone) return Fail(PacketRule::CaseClash, &line, text, 0, earlier + 1, earlier);
    m_foldedTable.Insert(static_cast<std::uint32_t>(m_records.size()), folded);
    return true;
}

bool CPacketIndex::ForEach(const PacketVisitor& visit) {
    if (!m_bChecked) return false;
    LineReader reader(*m_source, m_nIndexOffset, m_nIndexOffset + m_nIndexLength);
    std::string_view text;
    for (long long number = 1;; ++number) {
        PacketLine line;
        line.number = number;
        long long position = 0;
        LineReader::Result result = reader.Next(text, position);
        if (result == LineReader::kEnd) return true;
        PacketRule rule;
        if (result != LineReader::kLine || !ParseLineText(text, line, rule)) {
            return Fail(PacketRule::ReadError, &line, text);
        }
        if (!visit(line)) return false;
    }
}

// The line's record, its path (kept when asked, after its record's number and its
// length, for lookups that read nothing else) and its place among its folder's entries.
void CPacketIndex::Keep(const PacketLine& line, long long pathPosition, std::uint64_t hash) {
    const std::uint32_t record = static_cast<std::uint32_t>(m_records.size());
    std::uint32_t value = record;
    if (m_store == PathStore::Memory) {
        value = static_cast<std::uint32_t>(m_paths.size());
        const std::uint32_t header[2] = {record, static_cast<std::uint32_t>(line.path.size())};
        m_paths.append(reinterpret_cast<const char*>(header), sizeof header);
        pathPosition = static_cast<long long>(m_paths.size());
        m_paths += line.path;
    }
    m_records.push_back({static_cast<std::uint32_t>(pathPosition),
                         static_cast<std::uint32_t>(line.path.size()) | (line.folder ? kFolderBit : 0),
                         static_cast<std::uint32_t>(line.offset), static_cast<std::uint32_t>(line.length),
                         m_nCurrent, record + 1});
    ++(m_nCurrent == kTop ? m_nTopEntries : m_records[m_nCurrent].length);
    m_table.Insert(value, hash);
}

}  // namespace velkaron_reader
