#include "local_structure.h"

#include <algorithm>
#include <cmath>

#include "angles.h"
#include "match_tuning.h"
#include "wide_bits.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn {
namespace {

// The neighbour grid: distance bins, bearing and turn sectors.
constexpr float kCellDistance = 10;
constexpr int kDistanceBins = 17;
constexpr int kBearingBins = 18;
constexpr int kTurnBins = 12;
static_assert(kDistanceBins * kCellDistance > kMaxNeighbourDistance);
static_assert(kDistanceBins * kBearingBins * kTurnBins == kNeighbourCells);

int sectorOf(float angle, int sectors) {
    const int s = static_cast<int>(std::floor(angle / (kTwoPi / static_cast<float>(sectors))));
    return ((s % sectors) + sectors) % sectors;
}

std::uint16_t cellOf(float distance, float bearing, float turn) {
    const int d = std::min(kDistanceBins - 1, static_cast<int>(distance / kCellDistance));
    return static_cast<std::uint16_t>((d * kBearingBins + sectorOf(bearing, kBearingBins)) *
                                          kTurnBins +
                                      sectorOf(turn, kTurnBins));
}

#if defined(__SSE2__)
// |a - b| folded into [0, pi], four lanes at a time.
__m128 angleGaps(__m128 a, __m128 b) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 d = _mm_and_ps(_mm_sub_ps(a, b), magnitude);
    const __m128 folded = _mm_sub_ps(_mm_set1_ps(kTwoPi), d);
    const __m128 wide = _mm_cmpgt_ps(d, _mm_set1_ps(kPi));
    return _mm_or_ps(_mm_and_ps(wide, folded), _mm_andnot_ps(wide, d));
}
#endif

// How well one neighbour (distance, bearing, turn) fits each of b's: 0 where
// it does not fit or b's is taken (free 0), else 1 less the mean of the
// three gaps relative to their tolerances. The same arithmetic on both paths.
std::array<float, kNeighbours> neighbourFits(float distance, float bearing, float turn,
                                             const LocalStructure& b,
                                             const std::array<float, kNeighbours>& free) {
    std::array<float, kNeighbours> fit;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 one = _mm_set1_ps(1);
    for (std::size_t j = 0; j < kNeighbours; j += 4) {
        const __m128 otherDistance = _mm_loadu_ps(&b.distance[j]);
        const __m128 tolerance =
            _mm_add_ps(_mm_set1_ps(kNeighbourDistanceTolerance),
                       _mm_mul_ps(_mm_set1_ps(kNeighbourDistanceStretch),
                                  _mm_max_ps(otherDistance, _mm_set1_ps(distance))));
        const __m128 dd = _mm_div_ps(
            _mm_and_ps(_mm_sub_ps(_mm_set1_ps(distance), otherDistance), magnitude), tolerance);
        const __m128 db = _mm_div_ps(angleGaps(_mm_set1_ps(bearing), _mm_loadu_ps(&b.bearing[j])),
                                     _mm_set1_ps(kNeighbourBearingTolerance));
        const __m128 dt = _mm_div_ps(angleGaps(_mm_set1_ps(turn), _mm_loadu_ps(&b.turn[j])),
                                     _mm_set1_ps(kNeighbourTurnTolerance));
        const __m128 fits = _mm_and_ps(_mm_and_ps(_mm_cmple_ps(dd, one), _mm_cmple_ps(db, one)),
                                       _mm_cmple_ps(dt, one));
        const __m128 value =
            _mm_sub_ps(one, _mm_div_ps(_mm_add_ps(_mm_add_ps(dd, db), dt), _mm_set1_ps(3)));
        _mm_storeu_ps(&fit[j], _mm_and_ps(fits, _mm_mul_ps(_mm_loadu_ps(&free[j]), value)));
    }
#else
    for (std::size_t j = 0; j < kNeighbours; ++j) {
        const float tolerance = kNeighbourDistanceTolerance +
                                kNeighbourDistanceStretch * std::max(b.distance[j], distance);
        const float dd = std::fabs(distance - b.distance[j]) / tolerance;
        const float db = angleGap(bearing, b.bearing[j]) / kNeighbourBearingTolerance;
        const float dt = angleGap(turn, b.turn[j]) / kNeighbourTurnTolerance;
        const bool fits = dd <= 1 && db <= 1 && dt <= 1;
        fit[j] = fits ? free[j] * (1 - (dd + db + dt) / 3) : 0;
    }
#endif
    return fit;
}

}  // namespace

NeighbourReach reachOf(const LocalStructure& s) {
    NeighbourReach reach{};
    // Slightly wider than the tolerances, so rounding never drops a partner.
    constexpr float kSlack = 0.01f;
    for (std::size_t n = 0; n < s.count; ++n) {
        const float distance = s.distance[n], bearing = s.bearing[n], turn = s.turn[n];
        // |d - e| <= tolerance + stretch * max(d, e), solved for e.
        const float nearest =
            (1 - kNeighbourDistanceStretch) * distance - kNeighbourDistanceTolerance - 0.5f;
        const float farthest =
            (distance + kNeighbourDistanceTolerance) / (1 - kNeighbourDistanceStretch) + 0.5f;
        const int d0 = std::max(0, static_cast<int>(std::floor(nearest / kCellDistance)));
        const int d1 =
            std::min(kDistanceBins - 1, static_cast<int>(std::floor(farthest / kCellDistance)));
        const float bearingReach = kNeighbourBearingTolerance + kSlack;
        const float turnReach = kNeighbourTurnTolerance + kSlack;
        const float bearingWidth = kTwoPi / kBearingBins, turnWidth = kTwoPi / kTurnBins;
        const int b0 = static_cast<int>(std::floor((bearing - bearingReach) / bearingWidth));
        const int b1 = static_cast<int>(std::floor((bearing + bearingReach) / bearingWidth));
        const int t0 = static_cast<int>(std::floor((turn - turnReach) / turnWidth));
        const int t1 = static_cast<int>(std::floor((turn + turnReach) / turnWidth));
        for (int d = d0; d <= d1; ++d) {
            for (int b = b0; b <= b1; ++b) {
                const int bearing = ((b % kBearingBins) + kBearingBins) % kBearingBins;
                for (int t = t0; t <= t1; ++t) {
                    const int turn = ((t % kTurnBins) + kTurnBins) % kTurnBins;
                    const std::size_t cell =
                        static_cast<std::size_t>((d * kBearingBins + bearing) * kTurnBins + turn);
                    reach[cell / 64] |= std::uint64_t{1} << (cell % 64);
                }
            }
        }
    }
    return reach;
}

float similarityBound(const NeighbourReach& reachA, std::size_t countA, const LocalStructure& b) {
    std::size_t hits = 0;
    for (std::size_t n = 0; n < b.count; ++n) {
        hits += (reachA[b.cells[n] / 64] >> (b.cells[n] % 64)) & 1;
    }
    return 2 * static_cast<float>(std::min(hits, countA)) / static_cast<float>(countA + b.count);
}

std::vector<LocalStructure> localStructures(const std::vector<Minutia>& minutiae) {
    const std::size_t n = minutiae.size();
    std::vector<LocalStructure> result(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Minutia& m = minutiae[i];
        // The kNeighbours nearest so far, nearest first; of two at the same
        // distance the earlier minutia comes first.
        std::array<float, kNeighbours> nearest{};
        std::array<std::size_t, kNeighbours> which{};
        std::size_t kept = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const float dx = minutiae[j].x - m.x, dy = minutiae[j].y - m.y;
            const float squared = dx * dx + dy * dy;
            // Clearly farther than the farthest kept: no square root needed
            // (the margin covers its rounding).
            const float farthest =
                kept == kNeighbours ? nearest[kNeighbours - 1] : kMaxNeighbourDistance;
            if (squared > farthest * farthest * 1.0001f) {
                continue;
            }
            const float d = std::sqrt(squared);
            if (j == i || d < kMinNeighbourDistance || d > kMaxNeighbourDistance ||
                (kept == kNeighbours && d >= nearest[kNeighbours - 1])) {
                continue;
            }
            std::size_t slot = std::min(kept, kNeighbours - 1);
            while (slot > 0 && nearest[slot - 1] > d) {
                nearest[slot] = nearest[slot - 1];
                which[slot] = which[slot - 1];
                --slot;
            }
            nearest[slot] = d;
            which[slot] = j;
            kept = std::min(kept + 1, kNeighbours);
        }
        LocalStructure& s = result[i];
        s.count = kept;
        for (std::size_t k = 0; k < kept; ++k) {
            const Minutia& o = minutiae[which[k]];
            s.distance[k] = nearest[k];
            s.bearing[k] = wrapAngle(bearingOf(o.x - m.x, o.y - m.y) - m.direction);
            s.turn[k] = wrapAngle(o.direction - m.direction);
            s.cells[k] = cellOf(s.distance[k], s.bearing[k], s.turn[k]);
        }
    }
    return result;
}

namespace {

// The greedy pairing of a's neighbours, in order, each with the free one of
// b's it fits best: rowFits(i, free) gives how well a's neighbour i fits each
// of b's (0 where it does not; free[j] is 0 where b's neighbour j is taken).
// Gives up, returning 0, once the result can no longer reach `floor`.
template <typename RowFits>
inline float greedySimilarity(const LocalStructure& a, const LocalStructure& b, float floor,
                              RowFits&& rowFits) {
    // Each further pairing adds at most 1 to the sum; the margin keeps a
    // rounding difference from dropping a structure that just reaches floor.
    const float sumNeeded = floor * static_cast<float>(a.count + b.count) / 2 - 1e-4f;
    std::array<float, kNeighbours> free;
    free.fill(1);
    std::size_t matched = 0;
    float sum = 0;
    for (std::size_t i = 0; i < a.count; ++i) {
        const std::size_t left = std::min(a.count - i, b.count - matched);
        if (sum + static_cast<float>(left) < sumNeeded) {
            return 0;
        }
        const float* fit = rowFits(i, free);
        float bestFit = 0;
        std::size_t best = kNeighbours;
        for (std::size_t j = 0; j < kNeighbours; ++j) {
            if (fit[j] > bestFit && free[j] != 0) {
                bestFit = fit[j];
                best = j;
            }
        }
        if (best < kNeighbours) {
            free[best] = 0;
            sum += bestFit;
            ++matched;
        }
    }
    return 2 * sum / static_cast<float>(a.count + b.count);
}

#ifdef ZARN_WIDE_BITS
// GCC 12's AVX-512 headers pass undefined vectors where the result ignores
// them, which it then warns about.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// angleGaps, sixteen lanes at a time.
ZARN_WIDE_FLOAT_TARGET inline __m512 angleGapsWide(__m512 a, __m512 b) {
    const __m512 magnitude = _mm512_castsi512_ps(_mm512_set1_epi32(0x7fffffff));
    const __m512 d = _mm512_and_ps(_mm512_sub_ps(a, b), magnitude);
    return _mm512_mask_sub_ps(d, _mm512_cmp_ps_mask(d, _mm512_set1_ps(kPi), _CMP_GT_OQ),
                              _mm512_set1_ps(kTwoPi), d);
}

// A structure's eight values in both halves of a vector.
ZARN_WIDE_FLOAT_TARGET inline __m512 twice(const std::array<float, kNeighbours>& row) {
    return _mm512_broadcast_f32x8(_mm256_loadu_ps(row.data()));
}

// Value i in the lower half of a vector, value i + 1 in the upper.
ZARN_WIDE_FLOAT_TARGET inline __m512 rowPair(const std::array<float, kNeighbours>& of,
                                             std::size_t i) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm256_set1_ps(of[i])),
                              _mm256_set1_ps(of[i + 1]), 1);
}

// Every neighbour of a against every neighbour of b, two rows of the fit
// matrix a vector, with neighbourFits' arithmetic lane by lane: fits[i][j]
// is how well a's neighbour i fits b's neighbour j, 0 where it does not.
ZARN_WIDE_FLOAT_TARGET void fitMatrix(const LocalStructure& a, const LocalStructure& b,
                                      float (*fits)[kNeighbours]) {
    static_assert(kNeighbours == 8);
    const __m512 magnitude = _mm512_castsi512_ps(_mm512_set1_epi32(0x7fffffff));
    const __m512 one = _mm512_set1_ps(1);
    const __m512 otherDistance = twice(b.distance);
    const __m512 otherBearing = twice(b.bearing);
    const __m512 otherTurn = twice(b.turn);
    for (std::size_t i = 0; i < a.count; i += 2) {
        const __m512 distance = rowPair(a.distance, i);
        // The product rounded on its own, as on the narrower paths, not fused
        // with the sum.
        const __m512 tolerance =
            _mm512_add_ps(_mm512_set1_ps(kNeighbourDistanceTolerance),
                          _mm512_mul_round_ps(_mm512_set1_ps(kNeighbourDistanceStretch),
                                              _mm512_max_ps(otherDistance, distance),
                                              _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        const __m512 dd = _mm512_div_ps(
            _mm512_and_ps(_mm512_sub_ps(distance, otherDistance), magnitude), tolerance);
        const __m512 db = _mm512_div_ps(angleGapsWide(rowPair(a.bearing, i), otherBearing),
                                        _mm512_set1_ps(kNeighbourBearingTolerance));
        const __m512 dt = _mm512_div_ps(angleGapsWide(rowPair(a.turn, i), otherTurn),
                                        _mm512_set1_ps(kNeighbourTurnTolerance));
        const __mmask16 fit = _mm512_cmp_ps_mask(dd, one, _CMP_LE_OQ) &
                              _mm512_cmp_ps_mask(db, one, _CMP_LE_OQ) &
                              _mm512_cmp_ps_mask(dt, one, _CMP_LE_OQ);
        const __m512 value = _mm512_sub_ps(
            one, _mm512_div_ps(_mm512_add_ps(_mm512_add_ps(dd, db), dt), _mm512_set1_ps(3)));
        _mm512_storeu_ps(fits[i], _mm512_maskz_mov_ps(fit, value));
    }
}

// localSimilarity from the whole fit matrix: the same greedy pairing, row by
// row, and the same early exit.
ZARN_WIDE_FLOAT_TARGET float localSimilarityWide(const LocalStructure& a, const LocalStructure& b,
                                                 float floor) {
    // Two spare rows: a's neighbours are taken two at a time.
    float fits[kNeighbours + 2][kNeighbours];
    fitMatrix(a, b, fits);
    return greedySimilarity(a, b, floor, [&](std::size_t i, const std::array<float, kNeighbours>&) {
        return static_cast<const float*>(fits[i]);
    });
}
#pragma GCC diagnostic pop
#endif

}  // namespace

float localSimilarity(const LocalStructure& a, const LocalStructure& b, float floor) {
    if (a.count == 0 || b.count == 0) {
        return 0;
    }
#ifdef ZARN_WIDE_BITS
    if (wideFloatMath()) {
        return localSimilarityWide(a, b, floor);
    }
#endif
    return localSimilarityPortable(a, b, floor);
}

float localSimilarityPortable(const LocalStructure& a, const LocalStructure& b, float floor) {
    if (a.count == 0 || b.count == 0) {
        return 0;
    }
    std::array<float, kNeighbours> fit;
    return greedySimilarity(
        a, b, floor, [&](std::size_t i, const std::array<float, kNeighbours>& free) {
            fit = neighbourFits(a.distance[i], a.bearing[i], a.turn[i], b, free);
            return static_cast<const float*>(fit.data());
        });
}

}  // namespace zarn
