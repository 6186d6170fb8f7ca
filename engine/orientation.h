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
