// Contextual enhancement: per block, smoothing along the local ridge direction and a
// Gabor band-pass across it tuned to the local period (a separable oriented Gabor).
#pragma once

#include "image.h"
#include "orientation.h"
#include "padded_plane.h"
#include "segmentation.h"

namespace zarn {

// Replaces the normalised image by its enhanced version in the foreground (ridges
// positive, valleys negative); everything else becomes zero. Returns the RMS response
// per block: how strongly the area looks like ridges of the expected flow and period
// (the input has unit contrast, so noise and smudges respond weakly).
Image<float> enhanceRidges(PaddedPlane& image, const OrientationField& field,
                           const Image<float>& period, const ForegroundMask& mask);

}  // namespace zarn
