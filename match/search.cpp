#include "search.h"

#include <algorithm>
#include <utility>

namespace zarn::match {

PreparedTemplate prepareTemplate(const std::vector<FingerView>& views, TemplateRole role) {
    PreparedTemplate prepared;
    prepared.reserve(views.size());
    for (const FingerView& view : views) {
        prepared.push_back(prepareView(view));
        if (role == TemplateRole::Probe) {
            addNeighbourReach(prepared.back());
        }
    }
    return prepared;
}

float compareTemplates(const PreparedTemplate& probe, const PreparedTemplate& gallery) {
    float best = 0;
    for (const PreparedView& a : probe) {
        for (const PreparedView& b : gallery) {
            best = std::max(best, matchScore(a, b));
        }
    }
    return best;
}

std::vector<Comparison> topComparisons(std::vector<Comparison> comparisons, std::size_t k) {
    comparisons.erase(std::remove_if(comparisons.begin(), comparisons.end(),
                                     [](const Comparison& c) { return !c.score; }),
                      comparisons.end());
    std::stable_sort(comparisons.begin(), comparisons.end(),
                     [](const Comparison& a, const Comparison& b) { return *a.score > *b.score; });
    if (comparisons.size() > k) {
        comparisons.resize(k);
    }
    return comparisons;
}

void keepBest(std::vector<Comparison>& kept, Comparison c, std::size_t k) {
    if (!c.score) {
        return;
    }
    kept.push_back(std::move(c));
    if (kept.size() / 2 >= k) {
        kept = topComparisons(std::move(kept), k);
    }
}

}  // namespace zarn::match
