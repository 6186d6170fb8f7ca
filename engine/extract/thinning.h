// Thinning of the binary ridge image to a one-pixel-wide, 8-connected skeleton.
#pragma once

#include <array>
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

namespace detail {
constexpr std::array<std::uint8_t, 256> crossingTable() {
    std::array<std::uint8_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        int t = 0;
        for (int i = 0; i < 8; ++i)
            t += !((code >> i) & 1) && ((code >> ((i + 1) % 8)) & 1);
        table[code] = static_cast<std::uint8_t>(t);
    }
    return table;
}
inline constexpr std::array<std::uint8_t, 256> kCrossings = crossingTable();
}  // namespace detail

// 0->1 transitions walking once round a neighbour code's ring: 1 at a line end, 2 along
// a line, 3 or more where lines meet. Looked up, as thinning and detection ask per pixel.
inline int crossingNumber(int code) {
    return detail::kCrossings[code];
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
