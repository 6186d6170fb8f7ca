// Synthetic fingerprint-like images for timing the extractor: ridges around a core,
// a few dozen ridge endings and bifurcations, noise and a background.
#pragma once

#include <cstdint>

#include "image.h"

namespace zarn::bench {

GrayPlane makeSyntheticPrint(int width, int height, std::uint32_t seed);

}  // namespace zarn::bench
