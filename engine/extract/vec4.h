// Four floats in one register: GCC and Clang map this to the target's SIMD (SSE2 at
// least), and each lane rounds exactly as the same arithmetic on one float does.
#pragma once

#include <cstring>

namespace zarn {

typedef float Vec4 __attribute__((vector_size(16)));

// Unaligned: rows of a plane start anywhere.
inline Vec4 load4(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace zarn
