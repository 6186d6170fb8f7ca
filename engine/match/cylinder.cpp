#include "cylinder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "angles.h"
#include "hull.h"
#include "match_tuning.h"
#include "wide_bits.h"

namespace zarn {
namespace {

constexpr int kSpatialCells = kCylinderSide * kCylinderSide;
constexpr int kCells = kSpatialCells * kCylinderSectors;

// Sets a cell's sector bits, `value`, from bit `first` on; they may run into
// the next word.
void setBits(std::uint64_t* words, std::size_t first, std::uint64_t value) {
    const std::size_t word = first / 64, shift = first % 64;
    words[word] |= value << shift;
    if (shift + kCylinderSectors > 64) {
        words[word + 1] |= value >> (64 - shift);
    }
}

int popcount(std::uint64_t v) {
    return __builtin_popcountll(v);
}

// erf, which in single precision is exactly +-1 from about 3.92 on: a third
// of a cylinder's sector boundaries lie that far out.
float saturatedErf(float x) {
    return x >= 4 ? 1 : x <= -4 ? -1 : std::erf(x);
}

// Share of a direction difference's normal spread that falls in a sector of
// width `width` centred `offset` away.
float sectorShare(float offset, float width) {
    const float scale = 1.0f / (kCylinderDirectionSpread * std::sqrt(2.0f));
    return 0.5f * (saturatedErf((offset + width / 2) * scale) -
                   saturatedErf((offset - width / 2) * scale));
}

constexpr float kCellSize = 2 * kCylinderRadius / kCylinderSide;

float cellCentre(int i) {
    return cylinderCellCentre(i, kCylinderRadius);
}

// The first cell whose centre lies at or after `offset` along an axis.
int cellAtOrAfter(float offset) {
    return static_cast<int>(std::ceil((offset + kCylinderRadius) / kCellSize - 0.5f));
}

}  // namespace

std::vector<Cylinder> minutiaCylinders(const std::vector<Minutia>& minutiae) {
    std::vector<Cylinder> cylinders(minutiae.size());
    std::vector<PointF> points;
    points.reserve(minutiae.size());
    for (const Minutia& m : minutiae) {
        points.push_back({m.x, m.y});
    }
    const HullEdges hull = hullEdges(convexHull(points));
    const float sector = 2 * kPi / kCylinderSectors;
    const float reach = kCylinderRadius + 3 * kCylinderSpatialSpread;
    const float nearSquared = 9 * kCylinderSpatialSpread * kCylinderSpatialSpread;
    const float spatialNorm = 1.0f / (kCylinderSpatialSpread * std::sqrt(2 * kPi));
    // A neighbour where the cylinder's frame sees it, and its direction's
    // share in each sector.
    struct Neighbour {
        float u, v;
        float share[kCylinderSectors];
    };
    std::vector<Neighbour> near;
    HullEdges nearEdges;
    for (std::size_t n = 0; n < minutiae.size(); ++n) {
        const Minutia& m = minutiae[n];
        Cylinder& cylinder = cylinders[n];
        // The cylinder's axes: along the minutia's direction and across it,
        // in image coordinates (y down, directions counter-clockwise).
        const float ax = std::cos(m.direction), ay = -std::sin(m.direction);
        const float bx = -ay, by = ax;
        near.clear();
        for (std::size_t t = 0; t < minutiae.size(); ++t) {
            const Minutia& o = minutiae[t];
            const float dx = o.x - m.x, dy = o.y - m.y;
            if (t == n || dx * dx + dy * dy > reach * reach) {
                continue;
            }
            Neighbour nb{dx * ax + dy * ay, dx * bx + dy * by, {}};
            const float turn = signedAngle(o.direction - m.direction);
            for (int k = 0; k < kCylinderSectors; ++k) {
                const float centre = -kPi + (static_cast<float>(k) + 0.5f) * sector;
                nb.share[k] = sectorShare(signedAngle(centre - turn), sector);
            }
            near.push_back(nb);
        }
        // Which cells lie on the print, then each neighbour's evidence spread
        // over the few cells within reach of it.
        // Most minutiae lie so far inside the print that their whole disc does.
        // Of the rest, only the hull's edges near the disc can leave a cell out.
        bool wholeDisc = insideEdges(hull, {m.x, m.y}, kCylinderHullMargin - kCylinderRadius);
        const HullEdges* edges = &hull;
        if (!wholeDisc && !hull.x.empty()) {
            edgesNear(hull, {m.x, m.y}, kCylinderRadius, kCylinderHullMargin, nearEdges);
            wholeDisc = nearEdges.x.empty();
            edges = &nearEdges;
        }
        std::array<bool, kSpatialCells> valid{};
        std::array<float, kCells> sums{};
        int validCells = 0;
        for (int j = 0; j < kCylinderSide; ++j) {
            for (int i = 0; i < kCylinderSide; ++i) {
                const float u = cellCentre(i), v = cellCentre(j);
                if (u * u + v * v > kCylinderRadius * kCylinderRadius) {
                    continue;
                }
                const PointF p{m.x + u * ax + v * bx, m.y + u * ay + v * by};
                if (wholeDisc || insideEdges(*edges, p, kCylinderHullMargin)) {
                    valid[static_cast<std::size_t>(j * kCylinderSide + i)] = true;
                    ++validCells;
                }
            }
        }
        const float spread = 3 * kCylinderSpatialSpread;
        for (const Neighbour& nb : near) {
            const int i0 = std::max(0, cellAtOrAfter(nb.u - spread));
            const int i1 = std::min(kCylinderSide - 1, cellAtOrAfter(nb.u + spread) - 1);
            const int j0 = std::max(0, cellAtOrAfter(nb.v - spread));
            const int j1 = std::min(kCylinderSide - 1, cellAtOrAfter(nb.v + spread) - 1);
            for (int j = j0; j <= j1; ++j) {
                for (int i = i0; i <= i1; ++i) {
                    const std::size_t c = static_cast<std::size_t>(j * kCylinderSide + i);
                    const float du = nb.u - cellCentre(i), dv = nb.v - cellCentre(j);
                    const float squared = du * du + dv * dv;
                    if (!valid[c] || squared > nearSquared) {
                        continue;
                    }
                    const float g =
                        spatialNorm *
                        std::exp(-squared / (2 * kCylinderSpatialSpread * kCylinderSpatialSpread));
                    for (int k = 0; k < kCylinderSectors; ++k) {
                        sums[c * kCylinderSectors + static_cast<std::size_t>(k)] += g * nb.share[k];
                    }
                }
            }
        }
        // Cell by cell, each cell's sectors set at once: the cells outside
        // the print (and their sums, all 0) are passed over.
        for (std::size_t c = 0; c < kSpatialCells; ++c) {
            if (!valid[c]) {
                continue;
            }
            std::uint64_t on = 0;
            for (std::size_t k = 0; k < kCylinderSectors; ++k) {
                on |= static_cast<std::uint64_t>(sums[c * kCylinderSectors + k] >=
                                                 kCylinderBitThreshold)
                      << k;
            }
            setBits(cylinder.valid, c * kCylinderSectors, (1u << kCylinderSectors) - 1);
            setBits(cylinder.bits, c * kCylinderSectors, on);
        }
        // Cells inside the disc: about pi/4 of the square.
        const float discCells = kPi / 4 * kSpatialCells;
        cylinder.usable = static_cast<float>(validCells) >= kCylinderMinValidShare * discCells &&
                          near.size() >= kCylinderMinNeighbours;
    }
    return cylinders;
}

namespace {

struct BitCounts {
    int shared, differ, onA, onB;  // cells both see; of those, set in one, in a, in b
};

#define ZARN_INLINE inline __attribute__((always_inline))

ZARN_INLINE BitCounts countBits(const Cylinder& a, const Cylinder& b) {
    BitCounts c{0, 0, 0, 0};
    for (std::size_t w = 0; w < kCylinderWords; ++w) {
        const std::uint64_t both = a.valid[w] & b.valid[w];
        const std::uint64_t x = a.bits[w] & both, y = b.bits[w] & both;
        c.shared += popcount(both);
        c.differ += popcount(x ^ y);
        c.onA += popcount(x);
        c.onB += popcount(y);
    }
    return c;
}

ZARN_INLINE bool comparable(const Cylinder& a, const Minutia& ma, const Cylinder& b,
                            const Minutia& mb) {
    return a.usable && b.usable && angleGap(ma.direction, mb.direction) <= kCylinderMaxTurn;
}

// The square roots of the bit counts a cylinder can have, looked up rather
// than taken: the same values, and most of a pair's arithmetic.
struct Roots {
    std::array<float, kCells + 1> of;
    Roots() {
        for (std::size_t c = 0; c <= kCells; ++c) {
            of[c] = std::sqrt(static_cast<float>(c));
        }
    }
};
const Roots kRoots;

ZARN_INLINE float similarityOf(const BitCounts& c) {
    const float discCells = kPi / 4 * kCells;
    if (static_cast<float>(c.shared) < kCylinderMinSharedShare * discCells || c.onA + c.onB == 0) {
        return 0;
    }
    return 1 - kRoots.of[static_cast<std::size_t>(c.differ)] /
                   (kRoots.of[static_cast<std::size_t>(c.onA)] +
                    kRoots.of[static_cast<std::size_t>(c.onB)]);
}

// The loop over all pairs, inlined into each caller below with its own way
// of counting bits.
template <BitCounts (*Count)(const Cylinder&, const Cylinder&)>
ZARN_INLINE void collectPairs(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                              const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                              std::vector<CylinderPair>& pairs) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!ca[i].usable) {
            continue;
        }
        for (std::size_t k = 0; k < b.size(); ++k) {
            if (comparable(ca[i], a[i], cb[k], b[k])) {
                const float s = similarityOf(Count(ca[i], cb[k]));
                if (s > 0) {
                    pairs.push_back(cylinderPair(s, i, k));
                }
            }
        }
    }
}

// The bit counting is most of a comparison's time: where the processor
// counts bits in one instruction, use it (chosen when the library loads;
// elsewhere the compiler's portable counting). Where it counts the bits of
// a whole cylinder in three instructions, use that.
#ifdef ZARN_WIDE_BITS
#if defined(__SANITIZE_THREAD__)
// The clones' resolver runs before ThreadSanitizer starts, which its
// instrumentation does not survive: that build counts the portable way.
#define ZARN_POPCOUNT_CLONES
#else
#define ZARN_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#endif
static_assert(kCylinderWords % 8 == 0);

// (GCC 12's own lane sum trips a false uninitialised-value warning.)
ZARN_WIDE_TARGET inline std::uint64_t laneSum(__m512i v) {
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, v);
    std::uint64_t sum = 0;
    for (const std::uint64_t lane : lanes) {
        sum += lane;
    }
    return sum;
}

// The four counts travel in one sum, 16 bits each: a cylinder has fewer
// than 2^16 cells, so no field overflows into the next. (The shifts are
// masked ones: GCC 12 warns falsely about the plain ones.)
static_assert(kCells < (1 << 16));
ZARN_WIDE_TARGET inline BitCounts countBitsWide(const Cylinder& a, const Cylinder& b) {
    __m512i counts = _mm512_setzero_si512();
    for (std::size_t w = 0; w < kCylinderWords; w += 8) {
        const __m512i both =
            _mm512_and_si512(_mm512_loadu_si512(a.valid + w), _mm512_loadu_si512(b.valid + w));
        const __m512i x = _mm512_and_si512(_mm512_loadu_si512(a.bits + w), both);
        const __m512i y = _mm512_and_si512(_mm512_loadu_si512(b.bits + w), both);
        counts = _mm512_add_epi64(counts, _mm512_popcnt_epi64(both));
        counts = _mm512_add_epi64(
            counts, _mm512_maskz_slli_epi64(0xff, _mm512_popcnt_epi64(_mm512_xor_si512(x, y)), 16));
        counts =
            _mm512_add_epi64(counts, _mm512_maskz_slli_epi64(0xff, _mm512_popcnt_epi64(x), 32));
        counts =
            _mm512_add_epi64(counts, _mm512_maskz_slli_epi64(0xff, _mm512_popcnt_epi64(y), 48));
    }
    const auto sum = static_cast<std::uint64_t>(laneSum(counts));
    return {static_cast<int>(sum & 0xffff), static_cast<int>((sum >> 16) & 0xffff),
            static_cast<int>((sum >> 32) & 0xffff), static_cast<int>(sum >> 48)};
}

// (Flattened, so the wide counting is inlined into the loop.)
ZARN_WIDE_TARGET __attribute__((flatten)) void collectPairsWide(const std::vector<Minutia>& a,
                                                                const std::vector<Cylinder>& ca,
                                                                const std::vector<Minutia>& b,
                                                                const std::vector<Cylinder>& cb,
                                                                std::vector<CylinderPair>& pairs) {
    collectPairs<countBitsWide>(a, ca, b, cb, pairs);
}

#else
#define ZARN_POPCOUNT_CLONES
#endif

ZARN_POPCOUNT_CLONES
void collectPairsNarrow(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                        const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                        std::vector<CylinderPair>& pairs) {
    collectPairs<countBits>(a, ca, b, cb, pairs);
}

}  // namespace

ZARN_POPCOUNT_CLONES
float cylinderSimilarity(const Cylinder& a, const Minutia& ma, const Cylinder& b,
                         const Minutia& mb) {
    return comparable(a, ma, b, mb) ? similarityOf(countBits(a, b)) : 0;
}

void similarCylinderPairs(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                          const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                          std::vector<CylinderPair>& pairs) {
    pairs.clear();
    if (a.size() > kMaxPairedMinutiae || b.size() > kMaxPairedMinutiae) {
        return;
    }
#ifdef ZARN_WIDE_BITS
    if (wideBitCounting()) {
        collectPairsWide(a, ca, b, cb, pairs);
        return;
    }
#endif
    collectPairsNarrow(a, ca, b, cb, pairs);
}

}  // namespace zarn
