// SipHash as published by Aumasson and Bernstein: c rounds per 8-byte block, d to
// finish; SipHash-1-3 for the tables, the published SipHash-2-4 to check it against.
#include "reader/KeyedHash.h"

#include <cstring>
#include <random>

namespace velkaron_reader {

namespace {

std::uint64_t Rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct State {
    std::uint64_t v0, v1, v2, v3;

    void Round() {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }
    void Absorb(std::uint64_t m, int rounds) {
        v3 ^= m;
        for (int i = 0; i < rounds; ++i) Round();
        v0 ^= m;
    }
};

// Up to eight bytes as a little-endian number.
std::uint64_t Load(const unsigned char* p, std::size_t count) {
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < count; ++i) m |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return m;
}

// Eight bytes as a little-endian number, in one load where the machine is little-endian.
std::uint64_t Load8(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t m;
    std::memcpy(&m, p, sizeof m);
    return m;
#else
    return Load(p, 8);
#endif
}

// SipHash-c-d of `size` bytes at `data` under the key (k0, k1); the rounds fixed at
// compile time for the tables' SipHash-1-3, given at run time for the checks.
template <int kBlockRounds = 0, int kFinalRounds = 0>
std::uint64_t SipHash(const void* data, std::size_t size, std::uint64_t k0, std::uint64_t k1, int blockRounds = 0,
                      int finalRounds = 0) {
    if (kBlockRounds > 0) blockRounds = kBlockRounds;
    if (kFinalRounds > 0) finalRounds = kFinalRounds;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    State s{0x736f6d6570736575ULL ^ k0, 0x646f72616e646f6dULL ^ k1, 0x6c7967656e657261ULL ^ k0,
            0x7465646279746573ULL ^ k1};
    const std::size_t whole = size - size % 8;
    for (std::size_t i = 0; i < whole; i += 8) s.Absorb(Load8(p + i), blockRounds);
    s.Absorb(Load(p + whole, size % 8) | (static_cast<std::uint64_t>(size) << 56), blockRounds);
    s.v2 ^= 0xff;
    for (int i = 0; i < finalRounds; ++i) s.Round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

CKeyedHash::CKeyedHash() {
    // Opening the random source costs more than checking a small packet: once a run.
    static const CKeyedHash run = [] {
        std::random_device random;
        std::uint64_t k[4];
        for (std::uint64_t& word : k) word = random();
        return CKeyedHash((k[0] << 32) ^ k[1], (k[2] << 32) ^ k[3]);
    }();
    *this = run;
}

std::uint64_t CKeyedHash::operator()(const void* data, std::size_t size) const {
    return m_nBlockRounds == 1 && m_nFinalRounds == 3 ? SipHash<1, 3>(data, size, m_k0, m_k1)
                                                     : SipHash(data, size, m_k0, m_k1, m_nBlockRounds, m_nFinalRounds);
}

void CHashTable::Insert(std::uint32_t value, std::uint64_t hash) {
    if ((m_used + 1) * 2 > m_slots.size()) {
        std::vector<std::uint64_t> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 1024 : old.size() * 2, kNone);
        for (std::uint64_t kept : old) {
            if (static_cast<std::uint32_t>(kept) != kNone) Place(kept);
        }
    }
    Place((hash >> 32) << 32 | value);
    ++m_used;
}

void CHashTable::Place(std::uint64_t entry) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = SlotOf(entry >> 32);
    while (static_cast<std::uint32_t>(m_slots[slot]) != kNone) slot = (slot + 1) & mask;
    m_slots[slot] = entry;
}

void CHashTable::Clear() {
    m_slots = std::vector<std::uint64_t>();
    m_used = 0;
}

}  // namespace velkaron_reader
