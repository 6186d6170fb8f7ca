// Every comparison of one gallery batch with the probes still searching,
// spread over threads, with results that do not depend on how many.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "search.h"

namespace zarn::match {

struct BatchComparisons {
    // For each probe compared (in the order given), which templates it
    // compared fully, and their raw similarities (0 where not compared).
    std::vector<std::vector<bool>> admitted;
    std::vector<std::vector<float>> similarity;
};

// Compares probes[active[a]] with the batch's usable templates, each with
// floors[a] as its floor (see compareTemplates). With shortlists (one per
// probe, indexed as probes) a first look picks the templates each probe
// compares fully (see shortlisted), and those are completed first.
BatchComparisons compareBatch(const std::vector<PreparedTemplate>& probes,
                              const std::vector<std::size_t>& active,
                              const std::vector<float>& floors,
                              std::vector<std::optional<PreparedTemplate>>& batch,
                              std::vector<Shortlist>* shortlists, std::size_t threads);

}  // namespace zarn::match
