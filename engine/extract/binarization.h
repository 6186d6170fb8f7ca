// Binarisation of the enhanced image: ridge pixels inside the foreground become 1.
#pragma once

#include <cstdint>

#include "image.h"
#include "padded_plane.h"
#include "segmentation.h"

namespace zarn {

// 1 = ridge, 0 = valley or background. The outermost pixel frame is always 0 so
// neighbourhood code downstream needs no bounds checks.
Image<std::uint8_t> binarizeRidges(const PaddedPlane& enhanced, const ForegroundMask& mask);

}  // namespace zarn

namespace zarn {

// Fills valley holes (pores, noise) of at most `maxArea` pixels enclosed by ridge, and
// removes ridge dots of at most `maxArea` pixels, so thinning makes neither lakes
// nor stray fragments of them.
void removeSmallIslands(Image<std::uint8_t>& binary, const ForegroundMask& mask, int maxArea);

}  // namespace zarn
