// Smooth random fields, separable blur and sampling helpers shared by the generator stages.
#pragma once

#include "fingergen/random.h"
#include "image.h"

namespace zarn::gen {

// A smooth random field with values roughly in [-1, 1]: random values on a coarse grid of
// `cell` pixels, interpolated with a smooth cubic so it has no visible grid.
FloatPlane smoothNoise(int width, int height, float cell, Rng& rng);

// Gaussian blur with a separable kernel; sigma <= 0 returns the input unchanged.
FloatPlane gaussianBlur(const FloatPlane& in, float sigma);

// Bilinear sample; outside the plane returns `outside`.
float sampleBilinear(const FloatPlane& plane, float x, float y, float outside);

// Chamfer distance (pixels) from every pixel to the nearest pixel where mask is zero.
FloatPlane distanceToOutside(const GrayPlane& mask);

}  // namespace zarn::gen
