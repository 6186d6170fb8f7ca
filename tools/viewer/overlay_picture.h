// Draws minutiae over a grey image into an RGB picture.
#pragma once

#include <cstdint>
#include <vector>

#include "iso19794.h"

namespace zarn_viewer {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes a pixel, row-major
};

struct Colour {
    std::uint8_t r, g, b;
};

// The grey image enlarged by scale (nearest neighbour) and lightened so marks stand out.
RgbPicture greyPicture(const std::uint8_t* grey, int width, int height, int scale);

// A circle of `radius` image pixels round (x, y) in image pixels, with a tick along
// `radians` (counter-clockwise as seen on the image, where y runs down).
void drawMark(RgbPicture& picture, int scale, double x, double y, double radians, double radius,
              Colour colour);

// The grey image with each minutia as a circle at its position (larger for higher
// quality) and a tick along its direction: red ridge endings, blue bifurcations, green
// other types.
RgbPicture drawMinutiae(const std::uint8_t* grey, int width, int height, int scale,
                        const std::vector<zarn::IsoMinutia>& minutiae);

}  // namespace zarn_viewer
