#include "cylinder.h"

#include <cmath>

#include "angles.h"
#include "hull.h"
#include "match_tuning.h"

namespace zarn {
namespace {

constexpr int kSpatialCells = kCylinderSide * kCylinderSide;
constexpr int kCells = kSpatialCells * kCylinderSectors;

int popcount(std::uint64_t v) {
    return __builtin_popcountll(v);
}

void setBit(std::uint64_t* words, int index) {
    words[index / 64] |= std::uint64_t{1} << (index % 64);
}

// Share of a direction difference's normal spread that falls in a sector of
// width `width` centred `offset` away.
float sectorShare(float offset, float width) {
    const float scale = 1.0f / (kCylinderDirectionSpread * std::sqrt(2.0f));
    return 0.5f * (std::erf((offset + width / 2) * scale) - std::erf((offset - width / 2) * scale));
}

}  // namespace

std::vector<Cylinder> minutiaCylinders(const std::vector<Minutia>& minutiae) {
    std::vector<Cylinder> cylinders(minutiae.size());
    std::vector<PointF> points;
    points.reserve(minutiae.size());
    for (const Minutia& m : minutiae) {
        points.push_back({m.x, m.y});
    }
    const std::vector<PointF> hull = convexHull(points);
    const float cell = 2 * kCylinderRadius / kCylinderSide;
    const float sector = 2 * kPi / kCylinderSectors;
    const float reach = kCylinderRadius + 3 * kCylinderSpatialSpread;
    const float nearSquared = 9 * kCylinderSpatialSpread * kCylinderSpatialSpread;
    const float spatialNorm = 1.0f / (kCylinderSpatialSpread * std::sqrt(2 * kPi));
    struct Neighbour {
        float x, y;
        float share[kCylinderSectors];
    };
    std::vector<Neighbour> near;
    for (std::size_t n = 0; n < minutiae.size(); ++n) {
        const Minutia& m = minutiae[n];
        Cylinder& cylinder = cylinders[n];
        near.clear();
        for (std::size_t t = 0; t < minutiae.size(); ++t) {
            const Minutia& o = minutiae[t];
            if (t == n || std::hypot(o.x - m.x, o.y - m.y) > reach) {
                continue;
            }
            Neighbour nb{o.x, o.y, {}};
            const float turn = signedAngle(o.direction - m.direction);
            for (int k = 0; k < kCylinderSectors; ++k) {
                const float centre = -kPi + (static_cast<float>(k) + 0.5f) * sector;
                nb.share[k] = sectorShare(signedAngle(centre - turn), sector);
            }
            near.push_back(nb);
        }
        // The cylinder's axes: along the minutia's direction and across it,
        // in image coordinates (y down, directions counter-clockwise).
        const float ax = std::cos(m.direction), ay = -std::sin(m.direction);
        const float bx = -ay, by = ax;
        int validCells = 0;
        for (int j = 0; j < kCylinderSide; ++j) {
            for (int i = 0; i < kCylinderSide; ++i) {
                const float u = (static_cast<float>(i) + 0.5f) * cell - kCylinderRadius;
                const float v = (static_cast<float>(j) + 0.5f) * cell - kCylinderRadius;
                if (u * u + v * v > kCylinderRadius * kCylinderRadius) {
                    continue;
                }
                const PointF p{m.x + u * ax + v * bx, m.y + u * ay + v * by};
                if (!insideHull(hull, p, kCylinderHullMargin)) {
                    continue;
                }
                ++validCells;
                float sums[kCylinderSectors] = {};
                for (const Neighbour& nb : near) {
                    const float dx = nb.x - p.x, dy = nb.y - p.y;
                    const float squared = dx * dx + dy * dy;
                    if (squared > nearSquared) {
                        continue;
                    }
                    const float g =
                        spatialNorm *
                        std::exp(-squared / (2 * kCylinderSpatialSpread * kCylinderSpatialSpread));
                    for (int k = 0; k < kCylinderSectors; ++k) {
                        sums[k] += g * nb.share[k];
                    }
                }
                const int base = (j * kCylinderSide + i) * kCylinderSectors;
                for (int k = 0; k < kCylinderSectors; ++k) {
                    setBit(cylinder.valid, base + k);
                    if (sums[k] >= kCylinderBitThreshold) {
                        setBit(cylinder.bits, base + k);
                    }
                }
            }
        }
        // Cells inside the disc: about pi/4 of the square.
        const float discCells = kPi / 4 * kSpatialCells;
        cylinder.usable = static_cast<float>(validCells) >= kCylinderMinValidShare * discCells &&
                          near.size() >= kCylinderMinNeighbours;
    }
    return cylinders;
}

// The bit counting is most of a comparison's time: where the processor
// counts bits in one instruction, use it.
#if defined(__x86_64__) && defined(__linux__)
__attribute__((target_clones("popcnt", "default")))
#endif
float cylinderSimilarity(const Cylinder& a, const Minutia& ma, const Cylinder& b,
                         const Minutia& mb) {
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

}  // namespace zarn
