#include "search.h"

#include <algorithm>
#include <utility>

#include "calibration.h"

namespace zarn::match {

PreparedTemplate prepareTemplate(const std::vector<FingerView>& views, TemplateRole role) {
    PreparedTemplate prepared;
    prepared.reserve(views.size());
    for (const FingerView& view : views) {
        prepared.push_back(role == TemplateRole::Candidate ? prepareCylinders(view)
                                                           : prepareView(view));
        if (role == TemplateRole::Probe) {
            addNeighbourReach(prepared.back());
        }
    }
    return prepared;
}

void completeTemplate(PreparedTemplate& prepared) {
    for (PreparedView& view : prepared) {
        completeView(view);
    }
}

float compareTemplates(const PreparedTemplate& probe, const PreparedTemplate& gallery,
                       float floor) {
    float best = 0;
    for (const PreparedView& a : probe) {
        for (const PreparedView& b : gallery) {
            best = std::max(best, matchScoreFrom(a, b, std::max(floor, best)));
        }
    }
    return best;
}

float quickCompare(const PreparedTemplate& probe, const PreparedTemplate& gallery) {
    float best = 0;
    for (const PreparedView& a : probe) {
        for (const PreparedView& b : gallery) {
            best = std::max(best, quickScore(a.codes, b.codes));
        }
    }
    return best;
}

bool worthComparing(Shortlist& shortlist, float quick) {
    const auto weakerFirst = [](float a, float b) { return a > b; };
    if (shortlist.best.size() < shortlist.size) {
        shortlist.best.push_back(quick);
        std::push_heap(shortlist.best.begin(), shortlist.best.end(), weakerFirst);
        return true;
    }
    if (shortlist.best.empty() || quick < shortlist.best.front()) {
        return false;
    }
    std::pop_heap(shortlist.best.begin(), shortlist.best.end(), weakerFirst);
    shortlist.best.back() = quick;
    std::push_heap(shortlist.best.begin(), shortlist.best.end(), weakerFirst);
    return true;
}

std::vector<bool> shortlisted(Shortlist& shortlist,
                              const std::vector<std::optional<float>>& quick) {
    for (const std::optional<float>& q : quick) {
        if (q) {
            worthComparing(shortlist, *q);
        }
    }
    const bool full = shortlist.best.size() >= shortlist.size && !shortlist.best.empty();
    std::vector<bool> admitted;
    admitted.reserve(quick.size());
    for (const std::optional<float>& q : quick) {
        admitted.push_back(q && (!full || *q >= shortlist.best.front()));
    }
    return admitted;
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

void keepBest(BestComparisons& best, Comparison c, std::size_t k) {
    if (!c.score) {
        return;
    }
    best.kept.push_back(std::move(c));
    if (best.kept.size() / 2 >= k) {
        best.kept = topComparisons(std::move(best.kept), k);
        // Scores rise with the similarity, and ties go to the earlier
        // template: a later one below all K kept can never displace one.
        best.floor = best.kept.back().similarity;
        for (const Comparison& kept : best.kept) {
            best.floor = std::min(best.floor, kept.similarity);
        }
        best.settled = best.kept.size() == k && *best.kept.back().score >= kMaxScore;
    }
}

}  // namespace zarn::match
