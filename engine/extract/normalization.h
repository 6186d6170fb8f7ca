// Local normalisation: removes uneven background and pressure so that every ridge
// area has zero mean and unit contrast, ridges positive.
#pragma once

#include <cstdint>

#include "image.h"
#include "padded_plane.h"

namespace zarn {

struct BlockStats {
    Image<float> mean;           // local grey mean per block
    Image<float> contrast;       // local grey standard deviation per block
    Image<float> localContrast;  // the same over a narrower window, for segmentation
};

// Windowed mean and standard deviation of the raw grey levels per block.
BlockStats computeBlockStats(const std::uint8_t* pixels, int width, int height);

// (local mean - pixel) / local deviation, so dark ridges come out positive.
PaddedPlane normalizeImage(const std::uint8_t* pixels, int width, int height,
                           const BlockStats& stats);

}  // namespace zarn
