// Contextual enhancement: per block, smoothing along the local ridge direction and a
// Gabor band-pass across it tuned to the local period (a separable oriented Gabor).
#pragma once

#include "image.h"
#include "orientation.h"
#include "padded_plane.h"
#include "segmentation.h"

namespace zarn {

// Replaces the normalised image by its enhanced version in the foreground (ridges
// positive, valleys negative); everything else becomes zero.
void enhanceRidges(PaddedPlane& image, const OrientationField& field, const Image<float>& period,
                   const ForegroundMask& mask);

}  // namespace zarn
