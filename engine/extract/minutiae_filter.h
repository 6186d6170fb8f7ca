// Removal of false minutiae: the foreground border, spurs, bridges, lakes, broken
// ridges, traces that disagree with the ridge flow, and clusters.
#pragma once

#include <cstdint>
#include <vector>

#include "minutiae_detection.h"
#include "orientation.h"
#include "segmentation.h"

namespace zarn {

// Why a candidate was dropped, for tools that show the filter's decisions.
enum class DropReason : std::uint8_t {
    Kept,
    Border,
    AgainstFlow,
    Spur,
    Bridge,
    Partner,  // the other end of a spur or bridge
    BrokenRidge,
    Cluster
};

// `reasons`, when given, receives one entry per candidate. Survivors carry their count of
// doubts: a close neighbour, or a branch of their own that ends or meets another branch
// soon. Each is common where thinning noise survived the filters and rare among the
// minutiae that agree across impressions.
std::vector<Candidate> removeFalseMinutiae(const std::vector<Candidate>& candidates,
                                           const ForegroundMask& mask,
                                           const OrientationField& field,
                                           const Image<float>& period,
                                           std::vector<DropReason>* reasons = nullptr);

// Distance in pixels from (x, y) to the foreground border (0 outside the foreground).
float distanceToBorder(const ForegroundMask& mask, int x, int y);

}  // namespace zarn
