// Foreground segmentation: which blocks hold a usable print, judged by local ridge
// contrast and orientation coherence, cleaned into smooth solid regions.
#pragma once

#include <cstdint>

#include "image.h"
#include "normalization.h"
#include "orientation.h"

namespace zarn {

struct ForegroundMask {
    Image<std::uint8_t> blocks;    // 1 = foreground block
    Image<float> borderDistance;   // per block: pixels from its centre to the background
    Image<std::uint8_t> interior;  // 1 = block may hold minutiae clear of the border
    int foregroundBlocks = 0;
    float referenceContrast = 1;  // contrast of the image's clear ridge areas
};

ForegroundMask segmentForeground(const BlockStats& stats, const OrientationField& field);

}  // namespace zarn
