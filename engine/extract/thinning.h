// Thinning of the binary ridge image to a one-pixel-wide, 8-connected skeleton.
#pragma once

#include <cstdint>

#include "image.h"
#include "padded_plane.h"

namespace zarn {

// Neighbour bits around the pixel at `p` in rows of `stride` bytes, clockwise from north:
// N NE E SE S SW W NW. Pixels are 0 or 1, so the bits are assembled without branches.
inline int neighbourCodeAt(const std::uint8_t* p, int stride) {
    const std::uint8_t* up = p - stride;
    const std::uint8_t* down = p + stride;
    return up[0] | up[1] << 1 | p[1] << 2 | down[1] << 3 | down[0] << 4 | down[-1] << 5 |
           p[-1] << 6 | up[-1] << 7;
}

// The same for pixel (x, y) of an image; inline, as tracing calls it at every step.
inline int neighbourCode(const Image<std::uint8_t>& image, int x, int y) {
    return neighbourCodeAt(&image.at(x, y), image.width);
}

// In place; expects (and keeps) a zero outermost frame. `strength` is the ridge
// response: pixels with weaker response are peeled off first.
void thinRidges(Image<std::uint8_t>& binary, const PaddedPlane& strength);

}  // namespace zarn

namespace zarn {

// Removes skeleton branches that end within maxLength steps of a junction: thinning
// noise that would otherwise turn one bifurcation into a cluster of false ones.
void pruneSpurs(Image<std::uint8_t>& skeleton, int maxLength);

}  // namespace zarn
