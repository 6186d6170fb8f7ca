// Ridge growth: iterated oriented (Gabor) filtering of sparse random seeds until the ridge
// pattern fills the canvas, following the orientation and period fields.
#pragma once

#include "fingergen/random.h"
#include "image.h"

namespace zarn::gen {

struct RidgeGrowth {
    int iterations = 14;
    float seedSpacing = 36.0f;  // mean distance between seeds in pixels; denser = more minutiae
    float edgeSoftness = 1.0f;  // blur (pixels) of the ridge edges
};

// Returns a ridge field in [-1, 1]: > 0 on ridges, < 0 in valleys, flat inside ridges and
// valleys with soft edges, so later stages can thicken or thin ridges by thresholding.
FloatPlane growRidges(const FloatPlane& orientation, const FloatPlane& period,
                      const RidgeGrowth& growth, Rng& rng);

}  // namespace zarn::gen
