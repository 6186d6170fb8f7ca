#include "relaxation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "angles.h"
#include "match_tuning.h"

namespace zarn {
namespace {

// A falling (tau < 0) or rising logistic step at mu.
float logistic(float v, float mu, float tau) {
    return 1 / (1 + std::exp(-tau * (v - mu)));
}

// Similarity buckets the pairs are dealt into: enough that each holds a few.
constexpr int kPairBuckets = 256;

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
    thread_local std::vector<CylinderPair> local, dealt;
    thread_local std::vector<LocalPair> pairs;
    thread_local std::vector<bool> usedA, usedB;
    thread_local std::vector<float> rho, weight, next;
    thread_local std::vector<std::pair<float, float>> kept;  // efficiency, final weight
    similarCylinderPairs(a, ca, b, cb, local);
    // The best pairs, each minutia in one at most. Only the head of the list
    // is usually needed: the pairs are dealt into buckets by similarity,
    // strongest first, and each bucket is put in order only when reached.
    const std::size_t wanted = std::min(a.size(), b.size());
    pairs.clear();
    usedA.assign(a.size(), false);
    usedB.assign(b.size(), false);
    const auto bucketOf = [](CylinderPair p) {
        const int level = static_cast<int>(pairSimilarity(p) * kPairBuckets);
        return static_cast<std::size_t>(kPairBuckets - 1 - std::min(level, kPairBuckets - 1));
    };
    std::array<std::uint32_t, kPairBuckets + 1> bucketStart{};
    for (const CylinderPair p : local) {
        ++bucketStart[bucketOf(p) + 1];
    }
    for (std::size_t bucket = 0; bucket < kPairBuckets; ++bucket) {
        bucketStart[bucket + 1] += bucketStart[bucket];
    }
    dealt.resize(local.size());
    std::array<std::uint32_t, kPairBuckets> fill;
    std::copy(bucketStart.begin(), bucketStart.end() - 1, fill.begin());
    for (const CylinderPair p : local) {
        dealt[fill[bucketOf(p)]++] = p;
    }
    for (std::size_t bucket = 0; bucket < kPairBuckets && pairs.size() < wanted; ++bucket) {
        const auto first = dealt.begin() + bucketStart[bucket];
        const auto last = dealt.begin() + bucketStart[bucket + 1];
        std::sort(first, last);
        for (auto e = first; e != last && pairs.size() < wanted; ++e) {
            const std::size_t i = pairFirst(*e), k = pairSecond(*e);
            if (!usedA[i] && !usedB[k]) {
                usedA[i] = usedB[k] = true;
                pairs.push_back({pairSimilarity(*e), i, k});
            }
        }
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
