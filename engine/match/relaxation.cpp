#include "relaxation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "angles.h"
#include "match_tuning.h"

namespace zarn {
namespace {

// A falling (tau < 0) or rising logistic step at mu.
float logistic(float v, float mu, float tau) {
    return 1 / (1 + std::exp(-tau * (v - mu)));
}

struct LocalPair {
    float similarity;
    std::size_t i, k;
};

// How far two pairs' relation differs between the views: distance apart,
// turn between them, and where each sees the other.
float compatibility(const Minutia& a1, const Minutia& a2, const Minutia& b1, const Minutia& b2) {
    // Most pairs of pairs disagree plainly on one term, which makes the
    // product negligible: those are settled before the costlier terms.
    const float ax = a1.x - a2.x, ay = a1.y - a2.y, bx = b1.x - b2.x, by = b1.y - b2.y;
    const float distanceGap =
        std::fabs(std::sqrt(ax * ax + ay * ay) - std::sqrt(bx * bx + by * by));
    if (distanceGap > kRelaxDistance + kRelaxNegligible / kRelaxDistanceSteepness) {
        return 0;
    }
    const float turnGap = std::fabs(
        signedAngle(signedAngle(a1.direction - a2.direction) - (b1.direction - b2.direction)));
    if (turnGap > kRelaxAngle + kRelaxNegligible / kRelaxAngleSteepness) {
        return 0;
    }
    const float radialA = a1.direction - bearingOf(ax, ay);
    const float radialB = b1.direction - bearingOf(bx, by);
    const float radialGap = std::fabs(signedAngle(radialA - radialB));
    return logistic(distanceGap, kRelaxDistance, -kRelaxDistanceSteepness) *
           logistic(turnGap, kRelaxAngle, -kRelaxAngleSteepness) *
           logistic(radialGap, kRelaxAngle, -kRelaxAngleSteepness);
}

}  // namespace

float relaxedCylinderScore(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                           const std::vector<Minutia>& b, const std::vector<Cylinder>& cb) {
    // Working space kept between comparisons: a search makes many.
    thread_local std::vector<CylinderPair> local;
    thread_local std::vector<LocalPair> pairs;
    thread_local std::vector<bool> usedA, usedB;
    thread_local std::vector<float> rho, weight, next;
    thread_local std::vector<std::pair<float, float>> kept;  // efficiency, final weight
    similarCylinderPairs(a, ca, b, cb, local);
    // The best pairs, each minutia in one at most. Only the head of the list
    // is usually needed, so it is put in order a few times the wanted count
    // at a time.
    const std::size_t wanted = std::min(a.size(), b.size());
    pairs.clear();
    usedA.assign(a.size(), false);
    usedB.assign(b.size(), false);
    for (std::size_t start = 0; start < local.size() && pairs.size() < wanted;) {
        const std::size_t end = std::min(local.size(), start + 3 * wanted);
        const auto first = local.begin() + static_cast<std::ptrdiff_t>(start);
        const auto last = local.begin() + static_cast<std::ptrdiff_t>(end);
        std::nth_element(first, last - 1, local.end());
        std::sort(first, last);
        for (std::size_t e = start; e < end && pairs.size() < wanted; ++e) {
            const std::size_t i = pairFirst(local[e]), k = pairSecond(local[e]);
            if (!usedA[i] && !usedB[k]) {
                usedA[i] = usedB[k] = true;
                pairs.push_back({pairSimilarity(local[e]), i, k});
            }
        }
        start = end;
    }
    const std::size_t n = pairs.size();
    if (n < 2) {
        return 0;
    }
    rho.assign(n * n, 0);
    for (std::size_t t = 0; t < n; ++t) {
        for (std::size_t u = t + 1; u < n; ++u) {
            rho[t * n + u] = rho[u * n + t] =
                compatibility(a[pairs[t].i], a[pairs[u].i], b[pairs[t].k], b[pairs[u].k]);
        }
    }
    weight.resize(n);
    next.resize(n);
    for (std::size_t t = 0; t < n; ++t) {
        weight[t] = pairs[t].similarity;
    }
    for (int round = 0; round < kRelaxRounds; ++round) {
        for (std::size_t t = 0; t < n; ++t) {
            float support = 0;
            for (std::size_t u = 0; u < n; ++u) {
                support += rho[t * n + u] * weight[u];
            }
            next[t] =
                kRelaxKeep * weight[t] + (1 - kRelaxKeep) * support / static_cast<float>(n - 1);
        }
        std::swap(weight, next);
    }
    // The pairs that kept the most of their weight, as many as the smaller
    // view can be expected to share.
    kept.resize(n);
    for (std::size_t t = 0; t < n; ++t) {
        kept[t] = {weight[t] / pairs[t].similarity, weight[t]};
    }
    std::sort(kept.begin(), kept.end(), [](const auto& x, const auto& y) {
        return x.first != y.first ? x.first > y.first : x.second > y.second;
    });
    const float smaller = static_cast<float>(wanted);
    const std::size_t counted = std::min(
        n, kRelaxMinPairs + static_cast<std::size_t>(std::lround(
                                logistic(smaller, kRelaxPairsMidpoint, kRelaxPairsSteepness) *
                                static_cast<float>(kRelaxMaxPairs - kRelaxMinPairs))));
    float sum = 0;
    for (std::size_t t = 0; t < counted; ++t) {
        sum += kept[t].second;
    }
    return sum / static_cast<float>(kRelaxMinPairs > counted ? kRelaxMinPairs : counted);
}

}  // namespace zarn
