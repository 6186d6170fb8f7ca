#include "cylinder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "angles.h"
#include "hull.h"
#include "match_tuning.h"

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

// Share of a direction difference's normal spread that falls in a sector of
// width `width` centred `offset` away.
float sectorShare(float offset, float width) {
    const float scale = 1.0f / (kCylinderDirectionSpread * std::sqrt(2.0f));
    return 0.5f * (std::erf((offset + width / 2) * scale) - std::erf((offset - width / 2) * scale));
}

constexpr float kCellSize = 2 * kCylinderRadius / kCylinderSide;

// Where cell i's centre lies along an axis of the cylinder's frame.
float cellCentre(int i) {
    return (static_cast<float>(i) + 0.5f) * kCellSize - kCylinderRadius;
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
        const bool wholeDisc = insideEdges(hull, {m.x, m.y}, kCylinderHullMargin - kCylinderRadius);
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
                if (wholeDisc || insideEdges(hull, p, kCylinderHullMargin)) {
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

// The comparison itself, inlined into each caller below so that the bit
// counting compiles to the instruction where the caller is built for it.
inline __attribute__((always_inline)) float similarityOf(const Cylinder& a, const Minutia& ma,
                                                         const Cylinder& b, const Minutia& mb) {
    if (!a.usable || !b.usable || angleGap(ma.direction, mb.direction) > kCylinderMaxTurn) {
        return 0;
    }
    int shared = 0, differ = 0, onA = 0, onB = 0;
    for (std::size_t w = 0; w < kCylinderWords; ++w) {
        const std::uint64_t both = a.valid[w] & b.valid[w];
        const std::uint64_t x = a.bits[w] & both, y = b.bits[w] & both;
        shared += popcount(both);
        differ += popcount(x ^ y);
        onA += popcount(x);
        onB += popcount(y);
    }
    const float discCells = kPi / 4 * kCells;
    if (static_cast<float>(shared) < kCylinderMinSharedShare * discCells || onA + onB == 0) {
        return 0;
    }
    return 1 - std::sqrt(static_cast<float>(differ)) /
                   (std::sqrt(static_cast<float>(onA)) + std::sqrt(static_cast<float>(onB)));
}

}  // namespace

// The bit counting is most of a comparison's time: where the processor
// counts bits in one instruction, use it (chosen when the library loads;
// elsewhere the compiler's portable counting).
#if defined(__x86_64__) && defined(__linux__)
#define ZARN_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define ZARN_POPCOUNT_CLONES
#endif

ZARN_POPCOUNT_CLONES
float cylinderSimilarity(const Cylinder& a, const Minutia& ma, const Cylinder& b,
                         const Minutia& mb) {
    return similarityOf(a, ma, b, mb);
}

ZARN_POPCOUNT_CLONES
void similarCylinderPairs(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                          const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                          std::vector<CylinderPair>& pairs) {
    pairs.clear();
    if (a.size() > kMaxPairedMinutiae || b.size() > kMaxPairedMinutiae) {
        return;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!ca[i].usable) {
            continue;
        }
        for (std::size_t k = 0; k < b.size(); ++k) {
            const float s = similarityOf(ca[i], a[i], cb[k], b[k]);
            if (s > 0) {
                pairs.push_back(cylinderPair(s, i, k));
            }
        }
    }
}

}  // namespace zarn
