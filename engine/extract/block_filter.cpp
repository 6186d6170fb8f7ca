#include "block_filter.h"

#include <cstring>

#include "vec4.h"

namespace zarn {

namespace {

static_assert(tuning::kBlockSize == 8, "the loops below handle rows of 8 pixels");

// Four rows at a time, so each weight is broadcast once per four rows while the eight
// sums still fit the sixteen registers of x86-64. Each pixel's sum runs over the taps
// in kernel order, as in any other grouping: the grouping changes no bits.
void filterBlockNarrow(const PaddedPlane& in, PaddedPlane& out, const Kernel& k, int x0, int y0) {
    const int n = static_cast<int>(k.offsets.size());
    const int stride = in.stride;
    for (int y = 0; y < 8; y += 4) {
        const float* src = in.row(y0 + y) + x0;
        Vec4 sum[4][2] = {};
        for (int i = 0; i < n; ++i) {
            const float* p = src + k.offsets[i];
            const float w = k.weights[i];
            for (int r = 0; r < 4; ++r) {
                sum[r][0] += w * load4(p + r * stride);
                sum[r][1] += w * load4(p + r * stride + 4);
            }
        }
        for (int r = 0; r < 4; ++r) {
            float* dst = out.row(y0 + y + r) + x0;
            std::memcpy(dst, &sum[r][0], sizeof(Vec4));
            std::memcpy(dst + 4, &sum[r][1], sizeof(Vec4));
        }
    }
}

// 32-bit Windows does not keep the stack aligned for 32-byte vectors, so the wide
// path is built for the other targets only.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define ZARN_WIDE_FILTER 1

typedef float Vec8 __attribute__((vector_size(32)));

// Only AVX, not FMA: a fused multiply-add would round differently from the narrow path.
__attribute__((target("avx"))) void filterBlockWide(const PaddedPlane& in, PaddedPlane& out,
                                                    const Kernel& k, int x0, int y0) {
    const int n = static_cast<int>(k.offsets.size());
    const int stride = in.stride;
    const float* src = in.row(y0) + x0;
    Vec8 sum[8] = {};
    for (int i = 0; i < n; ++i) {
        const float* p = src + k.offsets[i];
        const float w = k.weights[i];
        for (int r = 0; r < 8; ++r) {
            Vec8 v;
            std::memcpy(&v, p + r * stride, sizeof v);
            sum[r] += w * v;
        }
    }
    for (int r = 0; r < 8; ++r)
        std::memcpy(out.row(y0 + r) + x0, &sum[r], sizeof(Vec8));
}
#endif

}  // namespace

VectorWidth widestVectors() {
#ifdef ZARN_WIDE_FILTER
    static const bool avx = __builtin_cpu_supports("avx");
    return avx ? VectorWidth::Wide : VectorWidth::Narrow;
#else
    return VectorWidth::Narrow;
#endif
}

void filterBlock(const PaddedPlane& in, PaddedPlane& out, const Kernel& kernel, int x0, int y0,
                 VectorWidth width) {
#ifdef ZARN_WIDE_FILTER
    if (width == VectorWidth::Wide) {
        filterBlockWide(in, out, kernel, x0, y0);
        return;
    }
#endif
    (void)width;
    filterBlockNarrow(in, out, kernel, x0, y0);
}

}  // namespace zarn
