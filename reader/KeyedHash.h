// A keyed 64-bit hash (SipHash-1-3, as hash tables use it) for the packet reader's
// tables of paths: with a key drawn at random for every run of the program, nobody can
// make up paths that collide on purpose. And the table the reader keeps its paths'
// records in by that hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velkaron_reader {

class CKeyedHash {
public:
    // The run's key, drawn from the system's random source when first needed.
    CKeyedHash();
    // A given key and given rounds per block and to finish (SipHash-c-d), for checks
    // against published values.
    CKeyedHash(std::uint64_t k0, std::uint64_t k1, int blockRounds = 1, int finalRounds = 3)
        : m_k0(k0), m_k1(k1), m_nBlockRounds(blockRounds), m_nFinalRounds(finalRounds) {}

    std::uint64_t operator()(const void* data, std::size_t size) const;
    std::uint64_t operator()(const std::string& text) const { return (*this)(text.data(), text.size()); }

private:
    std::uint64_t m_k0;
    std::uint64_t m_k1;
    int m_nBlockRounds;
    int m_nFinalRounds;
};

// 32-bit values (record numbers, places of paths) by a hash of theirs: open addressing,
// probed linearly, each 8-byte slot holding the value and the top half of its hash,
// which also chooses the slot, so that the table grows without the hashes kept
// elsewhere and a probe reads nothing else until a hash matches. It grows to twice its
// slots before it would be more than half full, so that a probe soon meets an empty
// slot; a lookup never probes more slots than there are.
class CHashTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Adds `value` (below kNone) under `hash`.
    void Insert(std::uint32_t value, std::uint64_t hash);
    // The first value added under `hash` for which `same(value)` holds; kNone when none.
    template <typename Same>
    std::uint32_t Find(std::uint64_t hash, Same same) const {
        const std::size_t count = m_slots.size();
        const std::uint64_t tag = hash >> 32;
        for (std::size_t slot = SlotOf(tag), n = 0; n < count; slot = (slot + 1) & (count - 1), ++n) {
            const std::uint64_t entry = m_slots[slot];
            const std::uint32_t value = static_cast<std::uint32_t>(entry);
            if (value == kNone) return kNone;
            if ((entry >> 32) == tag && same(value)) return value;
        }
        return kNone;
    }
    std::size_t Size() const { return m_used; }
    std::size_t Capacity() const { return m_slots.size(); }
    void Clear();

private:
    std::size_t SlotOf(std::uint64_t tag) const { return static_cast<std::size_t>(tag) & (m_slots.size() - 1); }
    void Place(std::uint64_t entry);

    std::vector<std::uint64_t> m_slots;  // a power of two of them: tag << 32 | value, the value kNone where empty
    std::size_t m_used = 0;
};

}  // namespace velkaron_reader
