#include "minutia_pairing.h"

#include <algorithm>
#include <cmath>

namespace zarn::bench {

float angleDifference(float a, float b) {
    const float twoPi = 6.28318530717959f;
    float d = std::fmod(std::fabs(a - b), twoPi);
    return d > twoPi / 2 ? twoPi - d : d;
}

std::vector<Pair> matchMinutiae(const std::vector<Minutia>& truth,
                                const std::vector<Minutia>& found, float maxDistance,
                                float maxAngle) {
    std::vector<Pair> candidates;
    for (int t = 0; t < static_cast<int>(truth.size()); ++t) {
        for (int f = 0; f < static_cast<int>(found.size()); ++f) {
            const float d = std::hypot(truth[t].x - found[f].x, truth[t].y - found[f].y);
            const float a = angleDifference(truth[t].direction, found[f].direction);
            if (d <= maxDistance && a <= maxAngle) {
                candidates.push_back({t, f, d, a});
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Pair& x, const Pair& y) { return x.distance < y.distance; });
    std::vector<bool> truthUsed(truth.size(), false);
    std::vector<bool> foundUsed(found.size(), false);
    std::vector<Pair> pairs;
    for (const Pair& p : candidates) {
        if (!truthUsed[p.truth] && !foundUsed[p.found]) {
            truthUsed[p.truth] = true;
            foundUsed[p.found] = true;
            pairs.push_back(p);
        }
    }
    return pairs;
}

}  // namespace zarn::bench
