// Ground-truth minutiae of a clean ridge field: binarise, thin, find endings and
// bifurcations, and measure their directions by tracing the skeleton.
#pragma once

#include <vector>

#include "image.h"
#include "minutia.h"

namespace zarn::gen {

// Thins a binary plane (non-zero = ridge) to a one-pixel-wide, 8-connected skeleton.
GrayPlane thin(const GrayPlane& binary);

// Minutiae of the ridge field (ridge where field > 0), in the record convention: a ridge
// ending points back along its ridge, a bifurcation points away from its stem between the
// branches. Only minutiae at least `margin` pixels inside `inside` (distance to the edge of
// the print, in pixels) are kept; artefacts (short spurs, tiny islands, clustered junction
// pixels) are dropped.
std::vector<Minutia> findMinutiae(const FloatPlane& ridges, const FloatPlane& inside, float margin);

}  // namespace zarn::gen
