// Quality: per minutia from the clarity of the ridges around it, per view from the
// clarity and size of the foreground, and the choice of the minutiae to keep.
#pragma once

#include <cstdint>
#include <vector>

#include "minutia.h"
#include "minutiae_detection.h"
#include "normalization.h"
#include "orientation.h"
#include "segmentation.h"

namespace zarn {

// 0-100 from orientation coherence, contrast and distance to the foreground border.
std::uint8_t minutiaQuality(const Candidate& m, const ForegroundMask& mask,
                            const OrientationField& field, const BlockStats& stats);

// 0-100 from the clarity of the foreground blocks and how much foreground there is.
std::uint8_t fingerQuality(const ForegroundMask& mask, const OrientationField& field,
                           const BlockStats& stats);

// The best `limit` minutiae by quality; ties broken by position then type so the
// choice never depends on the order of the input.
std::vector<Minutia> keepBest(std::vector<Minutia> minutiae, int limit);

}  // namespace zarn
