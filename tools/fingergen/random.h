// Rng: a small, portable, seedable random source so a seed gives the same prints everywhere.
#pragma once

#include <cmath>
#include <cstdint>

namespace zarn::gen {

// splitmix64: tiny state, good statistics, identical on every platform (unlike the
// standard library's distributions, whose output is implementation-defined).
struct Rng {
    std::uint64_t state = 0;
};

inline std::uint64_t nextU64(Rng& rng) {
    std::uint64_t z = (rng.state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Uniform in [0, 1).
inline double uniform01(Rng& rng) {
    return static_cast<double>(nextU64(rng) >> 11) * 0x1.0p-53;
}

inline double uniform(Rng& rng, double lo, double hi) {
    return lo + (hi - lo) * uniform01(rng);
}

// Uniform integer in [0, n).
inline int uniformInt(Rng& rng, int n) {
    return n <= 0 ? 0 : static_cast<int>(nextU64(rng) % static_cast<std::uint64_t>(n));
}

// Standard normal by Box-Muller.
inline double normal(Rng& rng) {
    const double u1 = 1.0 - uniform01(rng);  // in (0, 1], keeps log finite
    const double u2 = uniform01(rng);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

// Derives an independent stream from a seed and up to two indices (finger, impression).
inline Rng deriveRng(std::uint64_t seed, std::uint64_t a = 0, std::uint64_t b = 0) {
    Rng r{seed ^ 0x5DEECE66DULL};
    r.state ^= nextU64(r) + a * 0x9E3779B97F4A7C15ULL;
    r.state ^= nextU64(r) + b * 0xC2B2AE3D27D4EB4FULL;
    nextU64(r);
    return r;
}

}  // namespace zarn::gen
