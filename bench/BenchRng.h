#pragma once
// The benchmarks' random source: splitmix64, fast and good enough for test
// data, and the same sequence on every machine so runs compare.

#include <array>
#include <cstddef>
#include <cstdint>

namespace bench {

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % uint64_t(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <class T, size_t N>
    const T& Pick(const std::array<T, N>& items) { return items[size_t(Below(int(N)))]; }

private:
    uint64_t m_state;
};

}  // namespace bench
