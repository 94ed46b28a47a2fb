// The read side of a checked index: lines by number, by path (exactly, or by the key of
// a name fold) and by folder, from the records and, when kept, the paths in memory.
#include <cstring>

#include "reader/PacketIndex.h"

namespace velkaron_reader {

bool CPacketIndex::PathOf(std::uint32_t record, std::string& path) const {
    const Record& r = m_records[record];
    const std::size_t size = r.pathLength & ~kFolderBit;
    if (m_store == PathStore::Memory) {
        path.assign(m_paths, r.pathPosition, size);
        return true;
    }
    path.resize(size);
    return size == 0 || ReadAt(m_nIndexOffset + r.pathPosition, &path[0], size) == static_cast<long long>(size);
}

std::uint32_t CPacketIndex::RecordOf(std::uint32_t value) const {
    if (m_store == PathStore::Packet || value == CHashTable::kNone) return value;
    std::uint32_t record;
    std::memcpy(&record, m_paths.data() + value, sizeof record);
    return record;
}

bool CPacketIndex::HoldsPath(std::uint32_t value, const char* path, std::size_t size, bool& unread) const {
    if (m_store == PathStore::Memory) {
        std::uint32_t length;
        std::memcpy(&length, m_paths.data() + value + sizeof(std::uint32_t), sizeof length);
        return length == size &&
               (size == 0 || std::memcmp(m_paths.data() + value + 2 * sizeof(std::uint32_t), path, size) == 0);
    }
    return PathIs(value, path, size, unread);  // with paths in the packet a value is its record
}

bool CPacketIndex::PathIs(std::uint32_t record, const char* path, std::size_t size, bool& unread) const {
    const Record& r = m_records[record];
    if ((r.pathLength & ~kFolderBit) != size) return false;
    if (m_store == PathStore::Memory) return size == 0 || std::memcmp(m_paths.data() + r.pathPosition, path, size) == 0;
    std::string stored;
    unread = unread || !PathOf(record, stored);
    return !unread && stored.compare(0, std::string::npos, path, size) == 0;
}

std::uint32_t CPacketIndex::ExactRecord(const char* path, std::size_t size, std::uint64_t hash, bool& unread) const {
    return RecordOf(m_table.Find(hash, [&](std::uint32_t value) { return HoldsPath(value, path, size, unread); }));
}

std::uint32_t CPacketIndex::FoldedRecord(const std::string& key, std::uint64_t hash, bool& unread) const {
    std::string stored, otherKey;
    return m_foldedTable.Find(hash, [&](std::uint32_t record) {
        const bool read = PathOf(record, stored);
        unread = unread || !read;
        return read && m_fold(stored, otherKey) && otherKey == key;
    });
}

bool CPacketIndex::LineAt(std::size_t index, PacketLine& line, bool withPath) const {
    if (!m_bChecked || index >= m_records.size()) return false;
    const Record& r = m_records[index];
    line.folder = (r.pathLength & kFolderBit) != 0;
    line.offset = r.offset;
    line.length = line.folder ? 0 : r.length;
    line.number = static_cast<long long>(index) + 1;
    line.path.clear();
    return !withPath || PathOf(static_cast<std::uint32_t>(index), line.path);
}

std::size_t CPacketIndex::PathLengthAt(std::size_t index) const {
    return m_bChecked && index < m_records.size() ? m_records[index].pathLength & ~kFolderBit : 0;
}

bool CPacketIndex::PathAt(std::size_t index, std::string& path) const {
    return m_bChecked && index < m_records.size() && PathOf(static_cast<std::uint32_t>(index), path);
}

bool CPacketIndex::Find(const std::string& path, PacketLine& line, bool* unreadable) const {
    if (!m_bChecked) return false;
    bool failed = false;
    const std::uint32_t record = ExactRecord(path.data(), path.size(), m_hash(path), failed);
    if (record != CHashTable::kNone && !LineAt(record, line)) failed = true;
    if (unreadable != nullptr) *unreadable = failed;
    return record != CHashTable::kNone && !failed;
}

std::uint32_t CPacketIndex::FindIndex(const char* path, std::size_t size) const {
    if (!m_bChecked) return kTop;
    bool unread = false;
    const std::uint32_t record = ExactRecord(path, size, m_hash(path, size), unread);
    if (record != CHashTable::kNone || !m_fold) return record;
    return FindFolded(std::string(path, size));
}

std::uint32_t CPacketIndex::FindFolded(const std::string& path) const {
    std::string key;
    if (!m_fold(path, key)) return kTop;
    bool unread = false;
    return FoldedRecord(key, m_hash(key), unread);
}

bool CPacketIndex::EntriesOf(std::uint32_t folder, std::uint32_t& first, std::uint32_t& count) const {
    if (!m_bChecked) return false;
    if (folder == kTop) {
        first = 0;
        count = m_nTopEntries;
        return true;
    }
    if (folder >= m_records.size() || !(m_records[folder].pathLength & kFolderBit)) return false;
    first = m_records[folder].firstEntry;
    count = m_records[folder].length;
    return true;
}

}  // namespace velkaron_reader
