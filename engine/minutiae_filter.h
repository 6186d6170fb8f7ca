// Removal of false minutiae: the foreground border, spurs, bridges, lakes, short
// fragments, broken ridges, traces that disagree with the ridge flow, and clusters.
#pragma once

#include <vector>

#include "minutiae_detection.h"
#include "orientation.h"
#include "segmentation.h"

namespace zarn {

std::vector<Candidate> removeFalseMinutiae(const std::vector<Candidate>& candidates,
                                           const ForegroundMask& mask,
                                           const OrientationField& field,
                                           const Image<float>& period);

// Distance in pixels from (x, y) to the foreground border (0 outside the foreground).
float distanceToBorder(const ForegroundMask& mask, int x, int y);

}  // namespace zarn
