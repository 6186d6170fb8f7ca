#include "relaxation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// An upper bound on the sum of the `counted` strongest weights the
// relaxation leaves of n pairs, given bounds on the similarities of the
// `counted` strongest pairs (head) and of all n (total). Support never
// exceeds 1, so the weights' total never grows, and each round a weight
// keeps kRelaxKeep of itself and gains at most the rest of the total over
// n - 1: after R rounds w <= keep^R s + (1 - keep^R) total / (n - 1).
// Different fingers' pairs are weak on average, which this sees before any
// geometry is weighed.
float weightBound(std::size_t n, std::size_t counted, float head, float total) {
    const float kept = std::pow(kRelaxKeep, static_cast<float>(kRelaxRounds));
    const float gained = (1 - kept) * total / static_cast<float>(n - 1);
    const float bound = std::min(total, kept * head + static_cast<float>(counted) * gained);
    // A margin far above the rounding of the relaxation's own arithmetic.
    return bound * 1.001f + 1e-6f;
}

std::size_t countedOf(std::size_t n, std::size_t cap) {
    return std::min(n, cap);
}

float divisorOf(std::size_t counted) {
    return static_cast<float>(std::max(kRelaxMinPairs, counted));
}

// The fewest pairs the greedy choice can end with: it stops at `wanted`, or
// when every pair left shares a minutia with a chosen one. Then a minutia
// left out has all its partners taken, so with u of `degrees` (each minutia's
// count of partners, ascending) left out, n >= the u-th smallest.
std::size_t fewestChosen(const std::vector<std::uint32_t>& degrees, std::size_t wanted) {
    const std::size_t r = degrees.size();
    std::size_t n = 0;
    while (n < r && n < degrees[r - n - 1]) {
        ++n;
    }
    return std::min(n, wanted);
}

// Per minutia of one view: its best similarity and its count of partners.
struct SideStats {
    std::vector<float> best;
    std::vector<std::uint32_t> degree;
    void reset(std::size_t size) {
        best.assign(size, 0);
        degree.assign(size, 0);
    }
    void add(std::size_t i, float similarity) {
        best[i] = std::max(best[i], similarity);
        ++degree[i];
    }
    // Best similarities strongest first, prefix sums from 0; degrees of the
    // minutiae with a partner, ascending.
    void order(std::vector<float>& prefix, std::vector<std::uint32_t>& degrees) {
        std::sort(best.begin(), best.end(), std::greater<float>());
        prefix.assign(1, 0);
        for (const float b : best) {
            prefix.push_back(prefix.back() + b);
        }
        degrees.clear();
        for (const std::uint32_t d : degree) {
            if (d > 0) {
                degrees.push_back(d);
            }
        }
        std::sort(degrees.begin(), degrees.end());
    }
};

// An upper bound on the relaxed score from each minutia's best similarity
// alone, before any pair is chosen: the chosen pairs hold each minutia once,
// so their similarities sum to at most the best of each side.
float pairsBound(const std::vector<CylinderPair>& local, std::size_t sizeA, std::size_t sizeB,
                 std::size_t wanted, std::size_t countedCap) {
    thread_local SideStats sideA, sideB;
    thread_local std::vector<float> prefixA, prefixB;
    thread_local std::vector<std::uint32_t> degreesA, degreesB;
    sideA.reset(sizeA);
    sideB.reset(sizeB);
    for (const CylinderPair p : local) {
        const float s = pairSimilarity(p);
        sideA.add(pairFirst(p), s);
        sideB.add(pairSecond(p), s);
    }
    sideA.order(prefixA, degreesA);
    sideB.order(prefixB, degreesB);
    const std::size_t most = std::min({wanted, degreesA.size(), degreesB.size()});
    const std::size_t fewest =
        std::max({fewestChosen(degreesA, wanted), fewestChosen(degreesB, wanted), std::size_t{2}});
    float bound = 0;
    for (std::size_t n = fewest; n <= most; ++n) {
        const std::size_t counted = countedOf(n, countedCap);
        const float head = std::min(prefixA[counted], prefixB[counted]);
        const float total = std::min(prefixA[n], prefixB[n]);
        bound = std::max(bound, weightBound(n, counted, head, total) / divisorOf(counted));
    }
    return bound;
}

}  // namespace

float relaxedCylinderScore(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                           const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                           float floor) {
    // Working space kept between comparisons: a search makes many.
    thread_local std::vector<CylinderPair> local, dealt;
    thread_local std::vector<LocalPair> pairs;
    thread_local std::vector<bool> usedA, usedB;
    thread_local std::vector<float> rho, weight, next;
    thread_local std::vector<std::pair<float, float>> kept;  // efficiency, final weight
    similarCylinderPairs(a, ca, b, cb, local);
    const std::size_t wanted = std::min(a.size(), b.size());
    // How many of the strongest pairs decide, unless fewer are chosen.
    const std::size_t countedCap =
        kRelaxMinPairs +
        static_cast<std::size_t>(std::lround(
            logistic(static_cast<float>(wanted), kRelaxPairsMidpoint, kRelaxPairsSteepness) *
            static_cast<float>(kRelaxMaxPairs - kRelaxMinPairs)));
    if (floor > 0) {
        const float bound = pairsBound(local, a.size(), b.size(), wanted, countedCap);
        if (bound < floor) {
            return bound;
        }
    }
    // The best pairs, each minutia in one at most. Only the head of the list
    // is usually needed: the pairs are dealt into buckets by similarity,
    // strongest first, and each bucket is put in order only when reached.
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
    const std::size_t counted = countedOf(n, countedCap);
    const float divisor = divisorOf(counted);
    if (floor > 0) {
        float head = 0, total = 0;
        for (std::size_t t = 0; t < n; ++t) {
            total += pairs[t].similarity;
            head += t < counted ? pairs[t].similarity : 0;
        }
        const float bound = weightBound(n, counted, head, total) / divisor;
        if (bound < floor) {
            return bound;
        }
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
    float sum = 0;
    for (std::size_t t = 0; t < counted; ++t) {
        sum += kept[t].second;
    }
    return sum / divisor;
}

}  // namespace zarn
