// Thinning of the binary ridge image to a one-pixel-wide, 8-connected skeleton.
#pragma once

#include <cstdint>

#include "image.h"
#include "padded_plane.h"

namespace zarn {

// Neighbour bits around a pixel, clockwise from north: N NE E SE S SW W NW.
int neighbourCode(const Image<std::uint8_t>& image, int x, int y);

// In place; expects (and keeps) a zero outermost frame. `strength` is the ridge
// response: pixels with weaker response are peeled off first.
void thinRidges(Image<std::uint8_t>& binary, const PaddedPlane& strength);

}  // namespace zarn

namespace zarn {

// Removes skeleton branches that end within maxLength steps of a junction: thinning
// noise that would otherwise turn one bifurcation into a cluster of false ones.
void pruneSpurs(Image<std::uint8_t>& skeleton, int maxLength);

}  // namespace zarn
