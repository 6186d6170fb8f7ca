// Fusion of several impressions of one finger into one finger view: align
// them, keep the minutiae they agree on, and cover the union of their areas.
#pragma once

#include <cstddef>
#include <vector>

#include "minutia.h"

namespace zarn {

// The chance, per comparison, that an impression of another finger is taken
// for one of the enrolled finger: lower lets fewer other fingers in, higher
// refuses fewer genuine impressions that overlap the others little.
constexpr double kEnrollFalseMatchRate = 1e-4;

struct MergedViews {
    // The impressions accepted as the finger (indices into the input): first
    // those fused into `view`, the reference impression first, then by
    // increasing index; then those kept as views of their own, by index.
    std::vector<std::size_t> members;
    // The fused view, in the reference impression's frame shifted so every
    // coordinate is non-negative; the reference impression alone when none
    // fuses with it. Empty when fewer than two impressions are accepted.
    FingerView view;
    // Accepted impressions that match the finger but could not be placed in
    // the fused view's frame, each as extracted.
    std::vector<FingerView> otherViews;
};

// Aligns every pair. An impression belongs to the finger when it matches,
// at kEnrollFalseMatchRate, one that belongs (starting from the reference,
// the impression that aligns best with the others); those whose alignment is
// firm enough to place their minutiae are fused, the rest kept apart.
// Deterministic, and the same for any order of the input up to the choice
// between equally good references.
MergedViews mergeViews(const std::vector<FingerView>& views);

}  // namespace zarn
