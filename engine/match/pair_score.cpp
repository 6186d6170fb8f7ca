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

float pairScore(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                const std::vector<LocalStructure>& fromStructures,
                const std::vector<LocalStructure>& toStructures,
                const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
    // A pair counts more when the neighbourhoods agree too, which chance
    // pairs between different fingers rarely do.
    float m = 0;
    for (const auto& [i, k] : pairs) {
        m += (kPairBase + (1 - kPairBase) * localSimilarity(fromStructures[i], toStructures[k])) *
             std::sqrt(reliability(moved[i]) * reliability(to[k]));
    }
    const float overlapFrom = overlapCount(moved, hullEdges(hullOf(to)));
    const float overlapTo = overlapCount(to, hullEdges(hullOf(moved)));
    return std::min(1.0f, m * m / (overlapFrom * overlapTo));
}

}  // namespace zarn
