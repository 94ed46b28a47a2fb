// A keyed 64-bit hash (SipHash-1-3, as hash tables use it) for the packet reader's
// tables of paths: with a key drawn at random for every run of the program, nobody can
// make up paths that collide on purpose. And the table the reader keeps its paths'
// records in by that hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
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

// Ids (record numbers) by a hash of theirs: open addressing, probed linearly, each slot
// holding an id, the top half of its hash and a word of the caller's (where a lookup
// finds the path to compare), so that a probe reads nothing else until a hash matches.
// It grows to twice its slots before it would be more than half full, so that a probe
// soon meets an empty slot; a lookup never probes more slots than there are.
class CHashTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Adds `id` (below kNone) under `hash`, with `word` kept beside it; an id is added once.
    void Insert(std::uint32_t id, std::uint64_t hash, std::uint64_t word = 0);
    // The first id added under `hash` for which `same(id)` (or `same(id, word)`) holds;
    // kNone when none.
    template <typename Same>
    std::uint32_t Find(std::uint64_t hash, Same same) const {
        const std::size_t count = m_slots.size();
        const std::uint64_t tag = hash & kTagMask;
        for (std::size_t slot = SlotOf(hash), n = 0; n < count; slot = (slot + 1) & (count - 1), ++n) {
            const Slot& entry = m_slots[slot];
            const std::uint32_t id = static_cast<std::uint32_t>(entry.tagAndId);
            if (id == kNone) return kNone;
            if ((entry.tagAndId & kTagMask) != tag) continue;
            if constexpr (std::is_invocable_v<Same, std::uint32_t, std::uint64_t>) {
                if (same(id, entry.word)) return id;
            } else {
                if (same(id)) return id;
            }
        }
        return kNone;
    }
    // The hash `id` was added under.
    std::uint64_t HashOf(std::uint32_t id) const { return m_hashes[id]; }
    std::size_t Size() const { return m_used; }
    std::size_t Capacity() const { return m_slots.size(); }
    void Clear();

private:
    struct Slot {
        std::uint64_t tagAndId;  // the hash's top half | the id, kNone where empty
        std::uint64_t word;
    };
    static constexpr std::uint64_t kTagMask = 0xFFFFFFFF00000000ULL;
    std::size_t SlotOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash) & (m_slots.size() - 1); }
    void Place(const Slot& entry);

    std::vector<Slot> m_slots;            // a power of two of them
    std::vector<std::uint64_t> m_hashes;  // by id
    std::size_t m_used = 0;
};

}  // namespace velkaron_reader
