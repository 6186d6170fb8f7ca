// Fusion of several impressions of one finger into one finger view: align
// them, keep the minutiae they agree on, and cover the union of their areas.
#pragma once

#include <cstddef>
#include <vector>

#include "minutia.h"

namespace zarn {

struct MergedViews {
    // The impressions that went into the view (indices into the input), the
    // reference impression first, then by increasing index.
    std::vector<std::size_t> members;
    // The fused view, in the reference impression's frame shifted so every
    // coordinate is non-negative. Empty when fewer than two impressions align.
    FingerView view;
};

// Aligns every pair, picks as reference the impression that aligns best with
// the others, and fuses the ones connected to it. Deterministic, and the same
// for any order of the input up to the choice between equally good references.
MergedViews mergeViews(const std::vector<FingerView>& views);

}  // namespace zarn
