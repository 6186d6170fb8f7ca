#include "matcher.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "match_tuning.h"
#include "pair_score.h"
#include "relaxation.h"

namespace zarn {

void addNeighbourReach(PreparedView& view) {
    view.reach.clear();
    for (const LocalStructure& structure : view.structures) {
        view.reach.push_back(reachOf(structure));
    }
}

PreparedView prepareCylinders(const FingerView& view) {
    PreparedView prepared;
    prepared.minutiae = view.minutiae;
    prepared.cylinders = minutiaCylinders(view.minutiae);
    prepared.codes = cylinderCodes(view.minutiae, prepared.cylinders);
    return prepared;
}

void completeView(PreparedView& view) {
    if (!view.complete) {
        view.structures = localStructures(view.minutiae);
        view.grid = minutiaGrid(view.minutiae);
        view.complete = true;
    }
}

PreparedView prepareView(const FingerView& view) {
    PreparedView prepared = prepareCylinders(view);
    completeView(prepared);
    return prepared;
}

ViewAlignment alignViews(const FingerView& from, const FingerView& to) {
    return alignViews(prepareView(from), prepareView(to));
}

namespace {

// The alignment, given the relaxed cylinder score of the two views.
ViewAlignment alignWithCylinderScore(const PreparedView& from, const PreparedView& to,
                                     float cylinderScore) {
    if (!from.complete || !to.complete) {
        throw std::logic_error("a view compared fully was not prepared fully");
    }
    ViewAlignment result;
    const std::vector<Minutia>& a = from.minutiae;
    const std::vector<Minutia>& b = to.minutiae;
    if (a.size() < 2 || b.size() < 2) {
        return result;
    }
    const std::vector<LocalStructure>& sa = from.structures;
    const std::vector<LocalStructure>& sb = to.structures;

    struct Seed {
        float similarity;
        std::size_t i, k;
    };
    const auto bySimilarity = [](const Seed& x, const Seed& y) {
        if (x.similarity != y.similarity) {
            return x.similarity > y.similarity;
        }
        return x.i != y.i ? x.i < y.i : x.k < y.k;
    };
    // The kCandidates most similar pairs, kept in a heap whose top is the
    // weakest of them, so a pair that cannot beat it is abandoned early.
    std::vector<NeighbourReach> ownReach;
    if (from.reach.size() != a.size()) {
        ownReach.reserve(a.size());
        for (const LocalStructure& structure : sa) {
            ownReach.push_back(reachOf(structure));
        }
    }
    const std::vector<NeighbourReach>& reach = ownReach.empty() ? from.reach : ownReach;
    std::vector<Seed> seeds;
    seeds.reserve(kCandidates + 1);
    // Which seeds win does not depend on the order the pairs are tried in,
    // but the work does: pairs whose bound promises most are tried first, so
    // the heap's floor rises early and rules out most of the rest unseen.
    // The floor never falls below kMinSeedSimilarity, so the pairs whose
    // bound is below it (most) are dropped once, before the tiers.
    struct Promise {
        float bound;
        std::uint32_t i, k;
    };
    thread_local std::vector<Promise> promising;
    promising.clear();
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t k = 0; k < b.size(); ++k) {
            const float bound = similarityBound(reach[i], sa[i].count, sb[k]);
            if (bound >= kMinSeedSimilarity - 1e-4f) {
                promising.push_back(
                    {bound, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(k)});
            }
        }
    }
    for (std::size_t tier = 0; tier < kSeedTiers.size(); ++tier) {
        const float top = tier == 0 ? 2.0f : kSeedTiers[tier - 1];
        for (const Promise& p : promising) {
            const float floor =
                seeds.size() < kCandidates ? kMinSeedSimilarity : seeds.front().similarity;
            if (p.bound >= top || p.bound < kSeedTiers[tier] || p.bound < floor - 1e-4f) {
                continue;
            }
            const float s = localSimilarity(sa[p.i], sb[p.k], floor);
            if (s <= kMinSeedSimilarity) {
                continue;
            }
            const Seed seed{s, p.i, p.k};
            if (seeds.size() < kCandidates) {
                seeds.push_back(seed);
                std::push_heap(seeds.begin(), seeds.end(), bySimilarity);
            } else if (bySimilarity(seed, seeds.front())) {
                std::pop_heap(seeds.begin(), seeds.end(), bySimilarity);
                seeds.back() = seed;
                std::push_heap(seeds.begin(), seeds.end(), bySimilarity);
            }
        }
    }
    std::sort_heap(seeds.begin(), seeds.end(), bySimilarity);
    const std::size_t tested = seeds.size();

    // Consensus: each seed's transform is scored by the rigid pairs it gets;
    // the few best are refined with the elastic tolerance.
    struct Scored {
        Pairing pairing;
        RigidTransform transform;
        std::size_t order;
    };
    std::vector<Scored> scored;
    scored.reserve(tested);
    thread_local std::vector<Minutia> seedMoved;
    for (std::size_t s = 0; s < tested; ++s) {
        const RigidTransform t = transformFromPair(a[seeds[s].i], b[seeds[s].k]);
        moveAllInto(a, t, seedMoved);
        scored.push_back({pairMinutiae(seedMoved, b, to.grid, {}, false), t, s});
    }
    const std::size_t refined = std::min(kRefined, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + refined, scored.end(),
                      [](const Scored& x, const Scored& y) {
                          if (x.pairing.pairs.size() != y.pairing.pairs.size() ||
                              x.pairing.fit != y.pairing.fit) {
                              return betterPairing(x.pairing, y.pairing);
                          }
                          return x.order < y.order;
                      });
    Pairing best;
    for (std::size_t r = 0; r < refined; ++r) {
        auto [transform, pairing] =
            refine(a, b, to.grid, scored[r].transform, std::move(scored[r].pairing));
        if (r == 0 || betterPairing(pairing, best)) {
            best = std::move(pairing);
            result.transform = transform;
        }
    }
    result.pairs = std::move(best.pairs);
    const std::vector<Minutia> moved = moveAll(a, result.transform);
    result.pairScore =
        pairScore({moved, a, sa, from.cylinders}, {b, b, sb, to.cylinders}, result.pairs);
    // The pairing under one transform suffers where the skin stretched; the
    // cylinders' verdict, which needs no transform, does not. Both must
    // agree for a high score, which chance agreement of either alone cannot
    // give.
    result.score = std::sqrt(result.pairScore * cylinderScore);
    result.aligned =
        result.pairs.size() >= kMinAlignedPairs && result.pairScore >= kMinAlignedScore;
    return result;
}

float relaxedScore(const PreparedView& a, const PreparedView& b, float floor = 0) {
    return relaxedCylinderScore(a.minutiae, a.cylinders, b.minutiae, b.cylinders, floor);
}

}  // namespace

ViewAlignment alignViews(const PreparedView& from, const PreparedView& to) {
    return alignWithCylinderScore(from, to, relaxedScore(from, to));
}

float matchScoreFrom(const PreparedView& a, const PreparedView& b, float floor) {
    // The pair score is at most 1, so the cylinders alone bound the score. A
    // cylinder score below this floor, exact or a bound, keeps the root
    // below `floor` despite rounding; from it on the cylinder score is exact.
    const float cylinderScore = relaxedScore(a, b, floor * floor * 0.9999f);
    const float bound = std::sqrt(cylinderScore);
    if (bound < floor) {
        return bound;
    }
    return alignWithCylinderScore(a, b, cylinderScore).score;
}

float matchScore(const FingerView& a, const FingerView& b) {
    return alignViews(a, b).score;
}

float matchScore(const PreparedView& a, const PreparedView& b) {
    return alignViews(a, b).score;
}

}  // namespace zarn
