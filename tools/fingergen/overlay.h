// Draws ground-truth minutiae over a grey image, for checking types and directions by eye.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"
#include "minutia.h"

namespace zarn::gen {

// Returns width*height*3 RGB bytes: the image greyed out, endings in red, bifurcations in blue,
// each a small square with a tail along its direction.
std::vector<std::uint8_t> drawTruthOverlay(const GrayPlane& image,
                                           const std::vector<Minutia>& minutiae);

}  // namespace zarn::gen
