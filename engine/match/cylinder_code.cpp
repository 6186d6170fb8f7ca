#include "cylinder_code.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>

#include "match_tuning.h"
#include "wide_bits.h"

namespace zarn {
namespace {

constexpr std::size_t kCodeBits = 64 * kCodeWords;
// Cylinders compared at once: one vector of 64-bit lanes.
constexpr std::size_t kBlock = 8;

// The cylinder bits a code samples: evenly spread over the inner cells'
// bits, so every part of the disc and every sector has its say.
std::array<std::uint16_t, kCodeBits> sampledBits() {
    std::vector<std::uint16_t> inner;
    const float reach = kCodeRadiusShare * kCylinderRadius;
    for (int j = 0; j < kCylinderSide; ++j) {
        for (int i = 0; i < kCylinderSide; ++i) {
            const float u = cylinderCellCentre(i, kCylinderRadius);
            const float v = cylinderCellCentre(j, kCylinderRadius);
            if (u * u + v * v <= reach * reach) {
                for (int k = 0; k < kCylinderSectors; ++k) {
                    inner.push_back(static_cast<std::uint16_t>(cylinderBit(i, j, k)));
                }
            }
        }
    }
    std::array<std::uint16_t, kCodeBits> sampled{};
    for (std::size_t b = 0; b < kCodeBits; ++b) {
        sampled[b] = inner[b * inner.size() / kCodeBits];
    }
    return sampled;
}

// The sampled bits as a mask over each cylinder word: a code is the masked
// bits of each word in turn, packed.
struct SampleMasks {
    std::array<std::uint64_t, kCylinderWords> of{};
    bool packable = true;  // false if a bit were sampled twice
    explicit SampleMasks(const std::array<std::uint16_t, kCodeBits>& sampled) {
        for (std::size_t b = 0; b < kCodeBits; ++b) {
            packable = packable && (b == 0 || sampled[b] > sampled[b - 1]);
            of[sampled[b] / 64] |= std::uint64_t{1} << (sampled[b] % 64);
        }
    }
};

// One code, bit by bit.
int sampleBits(const Cylinder& c, const std::array<std::uint16_t, kCodeBits>& sampled,
               std::uint64_t* words, std::size_t stride) {
    int set = 0;
    for (std::size_t b = 0; b < kCodeBits; ++b) {
        const std::uint64_t bit = (c.bits[sampled[b] / 64] >> (sampled[b] % 64)) & 1;
        words[(b / 64) * stride] |= bit << (b % 64);
        set += static_cast<int>(bit);
    }
    return set;
}

#if defined(__x86_64__) && defined(__linux__)
// The same, a cylinder word at a time, where the processor packs masked bits.
__attribute__((target("bmi2"))) int packBits(const Cylinder& c, const SampleMasks& masks,
                                             std::uint64_t* words, std::size_t stride) {
    std::size_t at = 0;
    for (std::size_t w = 0; w < kCylinderWords; ++w) {
        const std::uint64_t packed = _pext_u64(c.bits[w], masks.of[w]);
        const auto count = static_cast<std::size_t>(__builtin_popcountll(masks.of[w]));
        if (count == 0) {
            continue;
        }
        words[(at / 64) * stride] |= packed << (at % 64);
        if (at % 64 + count > 64) {
            words[(at / 64 + 1) * stride] |= packed >> (64 - at % 64);
        }
        at += count;
    }
    int set = 0;
    for (std::size_t w = 0; w < kCodeWords; ++w) {
        set += __builtin_popcountll(words[w * stride]);
    }
    return set;
}

bool packing() {
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    return bmi2;
}
#endif

}  // namespace

CylinderCodes cylinderCodes(const std::vector<Minutia>& minutiae,
                            const std::vector<Cylinder>& cylinders) {
    static const std::array<std::uint16_t, kCodeBits> sampled = sampledBits();
    static const SampleMasks masks(sampled);
    CylinderCodes codes;
    for (const Cylinder& c : cylinders) {
        codes.count += c.usable ? 1 : 0;
    }
    codes.padded = (codes.count + kBlock - 1) / kBlock * kBlock;
    codes.words.assign(kCodeWords * codes.padded, 0);
    codes.bitsSet.assign(codes.padded, 1);
    codes.cosine.assign(codes.padded, std::numeric_limits<double>::quiet_NaN());
    codes.sine.assign(codes.padded, std::numeric_limits<double>::quiet_NaN());
    std::size_t n = 0;
    for (std::size_t m = 0; m < cylinders.size() && m < minutiae.size(); ++m) {
        const Cylinder& c = cylinders[m];
        if (!c.usable) {
            continue;
        }
        std::uint64_t* words = &codes.words[n];
        int set = -1;
#if defined(__x86_64__) && defined(__linux__)
        if (masks.packable && packing()) {
            set = packBits(c, masks, words, codes.padded);
        }
#endif
        if (set < 0) {
            set = sampleBits(c, sampled, words, codes.padded);
        }
        // An empty code pairs with nothing: its similarity is 0 to any.
        codes.bitsSet[n] = std::max(set, 1);
        codes.cosine[n] = std::cos(static_cast<double>(minutiae[m].direction));
        codes.sine[n] = std::sin(static_cast<double>(minutiae[m].direction));
        ++n;
    }
    return codes;
}

namespace {

// The best similarity of gallery code k to any probe code, 1 - differing
// bits / bits set in both, among minutiae at most a quarter turn apart.
double bestPartner(const CylinderCodes& probe, const CylinderCodes& gallery, std::size_t k) {
    double best = 0;
    for (std::size_t i = 0; i < probe.count; ++i) {
        if (probe.cosine[i] * gallery.cosine[k] + probe.sine[i] * gallery.sine[k] < 0) {
            continue;
        }
        int differ = 0;
        for (std::size_t w = 0; w < kCodeWords; ++w) {
            differ += __builtin_popcountll(probe.words[w * probe.padded + i] ^
                                           gallery.words[w * gallery.padded + k]);
        }
        best = std::max(best, 1 - differ / (probe.bitsSet[i] + gallery.bitsSet[k]));
    }
    return best;
}

#ifdef ZARN_WIDE_BITS
// The same, eight probe codes at a time.
ZARN_WIDE_TARGET double bestPartnerWide(const CylinderCodes& probe, const CylinderCodes& gallery,
                                        std::size_t k) {
    __m512i code[kCodeWords];
    for (std::size_t w = 0; w < kCodeWords; ++w) {
        code[w] = _mm512_set1_epi64(static_cast<long long>(gallery.words[w * gallery.padded + k]));
    }
    const __m512d bitsSet = _mm512_set1_pd(gallery.bitsSet[k]);
    const __m512d cosine = _mm512_set1_pd(gallery.cosine[k]);
    const __m512d sine = _mm512_set1_pd(gallery.sine[k]);
    // Each lane keeps its least share of differing bits as a fraction,
    // compared by cross multiplication (exact: small integers), and divides
    // once at the end: the same best as dividing for every pair, for less.
    __m512d bestDiffer = _mm512_set1_pd(1);
    __m512d bestBits = _mm512_set1_pd(1);
    for (std::size_t i = 0; i < probe.padded; i += kBlock) {
        __m512i differ = _mm512_setzero_si512();
        for (std::size_t w = 0; w < kCodeWords; ++w) {
            const __m512i words = _mm512_loadu_si512(&probe.words[w * probe.padded + i]);
            differ =
                _mm512_add_epi64(differ, _mm512_popcnt_epi64(_mm512_xor_si512(words, code[w])));
        }
        const __m512d facing =
            _mm512_add_pd(_mm512_mul_pd(_mm512_loadu_pd(&probe.cosine[i]), cosine),
                          _mm512_mul_pd(_mm512_loadu_pd(&probe.sine[i]), sine));
        const __mmask8 paired = _mm512_cmp_pd_mask(facing, _mm512_setzero_pd(), _CMP_GE_OQ);
        const __m512d d = _mm512_cvtepi64_pd(differ);
        const __m512d bits = _mm512_add_pd(_mm512_loadu_pd(&probe.bitsSet[i]), bitsSet);
        const __mmask8 better =
            paired & _mm512_cmp_pd_mask(_mm512_mul_pd(d, bestBits), _mm512_mul_pd(bestDiffer, bits),
                                        _CMP_LT_OQ);
        bestDiffer = _mm512_mask_mov_pd(bestDiffer, better, d);
        bestBits = _mm512_mask_mov_pd(bestBits, better, bits);
    }
    const __m512d best = _mm512_sub_pd(_mm512_set1_pd(1), _mm512_div_pd(bestDiffer, bestBits));
    alignas(64) double lanes[kBlock];
    _mm512_store_pd(lanes, best);
    return *std::max_element(lanes, lanes + kBlock);
}

#endif

}  // namespace

float quickScore(const CylinderCodes& probe, const CylinderCodes& gallery) {
    thread_local std::vector<double> best;
    best.clear();
    for (std::size_t k = 0; k < gallery.count; ++k) {
#ifdef ZARN_WIDE_BITS
        if (wideBitCounting()) {
            best.push_back(bestPartnerWide(probe, gallery, k));
            continue;
        }
#endif
        best.push_back(bestPartner(probe, gallery, k));
    }
    // The kept best found in linear time, then summed best first as always.
    const std::size_t kept = std::min(kQuickPairs, best.size());
    if (kept < best.size()) {
        std::nth_element(best.begin(), best.begin() + kept, best.end(), std::greater<double>());
    }
    std::sort(best.begin(), best.begin() + kept, std::greater<double>());
    double sum = 0;
    for (std::size_t t = 0; t < kept; ++t) {
        sum += best[t];
    }
    return static_cast<float>(sum / static_cast<double>(kQuickPairs));
}

}  // namespace zarn
