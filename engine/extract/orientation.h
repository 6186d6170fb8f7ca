// Ridge orientation field per block from image gradients, smoothed as doubled-angle
// vectors, with the coherence that says how clearly the ridges run one way.
#pragma once

#include <cstdint>

#include "image.h"

namespace zarn {

struct OrientationField {
    Image<float> angle;      // ridge direction in [0, pi), pixel axes (x right, y down)
    Image<float> coherence;  // 0 (no dominant direction) to 1 (perfectly parallel)
};

OrientationField computeOrientation(const std::uint8_t* pixels, int width, int height);

}  // namespace zarn

namespace zarn {

// Ridge direction in [0, pi) at a pixel, interpolated between block centres as
// doubled-angle vectors so that 179 and 1 degrees average to 0, not 90.
float orientationAt(const OrientationField& field, float x, float y);

}  // namespace zarn
