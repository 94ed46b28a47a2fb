// A keyed 64-bit hash (SipHash-2-4) for the packet reader's tables of paths: with a
// key drawn at random for every run of the program, nobody can make up paths that
// collide on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKeyedHash {
public:
    // The run's key, drawn from the system's random source when first needed.
    CKeyedHash();
    // A given key, for checks against published values.
    CKeyedHash(std::uint64_t k0, std::uint64_t k1) : m_k0(k0), m_k1(k1) {}

    std::uint64_t operator()(const void* data, std::size_t size) const;
    std::uint64_t operator()(const std::string& text) const { return (*this)(text.data(), text.size()); }

private:
    std::uint64_t m_k0;
    std::uint64_t m_k1;
};
