// Ridge period per block from the x-signature (grey profile across the ridges),
// filled where unclear, smoothed and clamped to plausible 500-dpi periods.
#pragma once

#include "image.h"
#include "orientation.h"
#include "padded_plane.h"
#include "segmentation.h"

namespace zarn {

// Ridge period in pixels per block.
Image<float> estimateRidgePeriod(const PaddedPlane& normalized, const OrientationField& field,
                                 const ForegroundMask& mask);

}  // namespace zarn
