#include "pair_score.h"

#include <algorithm>
#include <cmath>

#include "hull.h"
#include "match_tuning.h"

namespace zarn {
namespace {

// How much a minutia counts in a score: one from a clear ridge area fully, a
// doubtful one less, since it is as likely to be missing from the other view
// as to be paired.
float reliability(const Minutia& m) {
    return kDoubtfulWeight +
           (1 - kDoubtfulWeight) * std::min(1.0f, static_cast<float>(m.quality) / kClearQuality);
}

float overlapCount(const std::vector<Minutia>& minutiae, const HullEdges& hull) {
    float count = 0;
    for (const Minutia& m : minutiae) {
        if (insideEdges(hull, {m.x, m.y}, kOverlapMargin)) {
            count += reliability(m);
        }
    }
    return std::max(count, kMinOverlapCount);
}

}  // namespace

float pairScore(const ScoredView& moved, const ScoredView& to,
                const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
    // A pair counts more when the neighbourhoods agree too, which chance
    // pairs between different fingers rarely do. Both descriptors have their
    // say: the nearest neighbours keep their shape where a cylinder loses
    // cells at the print's border, a cylinder where one neighbour is missed.
    // Cylinders are compared as extracted, as the relaxation compares them, so
    // a pairing that needs more than a quarter turn gets no help from them.
    const std::vector<Minutia>& a = moved.placed;
    const std::vector<Minutia>& b = to.placed;
    float m = 0;
    for (const auto& [i, k] : pairs) {
        const float local = (localSimilarity(moved.structures[i], to.structures[k]) +
                             cylinderSimilarity(moved.cylinders[i], moved.extracted[i],
                                                to.cylinders[k], to.extracted[k])) /
                            2;
        m += (kPairBase + (1 - kPairBase) * local) *
             std::sqrt(reliability(a[i]) * reliability(b[k]));
    }
    const float overlapFrom = overlapCount(a, hullEdges(hullOf(b)));
    const float overlapTo = overlapCount(b, hullEdges(hullOf(a)));
    return std::min(1.0f, m * m / (overlapFrom * overlapTo));
}

}  // namespace zarn
