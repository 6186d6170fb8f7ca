// Where the processor counts the bits of eight 64-bit words in one
// instruction (AVX-512 VPOPCNTDQ), the cylinder code uses it; which path runs
// is chosen at run time, and both give the same results. Only x86-64 Linux
// builds have the wide path: the others count with portable code.
#pragma once

#if defined(__x86_64__) && defined(__linux__)
#include <immintrin.h>

#define ZARN_WIDE_BITS 1
#define ZARN_WIDE_TARGET __attribute__((target("avx512f,avx512dq,avx512vpopcntdq")))

namespace zarn {

inline bool wideBitCounting() {
    static const bool wide =
        __builtin_cpu_supports("avx512vpopcntdq") && __builtin_cpu_supports("avx512dq");
    return wide;
}

// Sixteen-lane float arithmetic (AVX-512F and DQ), for the matcher's other
// hot loops; the same IEEE operations per lane, so the same results.
#define ZARN_WIDE_FLOAT_TARGET __attribute__((target("avx512f,avx512dq")))
inline bool wideFloatMath() {
    static const bool wide =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    return wide;
}

}  // namespace zarn
#endif
