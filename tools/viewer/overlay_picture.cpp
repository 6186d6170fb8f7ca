#include "overlay_picture.h"

#include <algorithm>
#include <cmath>

namespace zarn_viewer {

namespace {

constexpr double kPi = 3.14159265358979323846;

void plot(RgbPicture& picture, int x, int y, Colour colour) {
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) {
        return;
    }
    std::uint8_t* p = &picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3];
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

void line(RgbPicture& picture, double x0, double y0, double x1, double y1, Colour colour) {
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
    for (int i = 0; i <= steps; ++i) {
        const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
        plot(picture, static_cast<int>(std::lround(x0 + t * (x1 - x0))),
             static_cast<int>(std::lround(y0 + t * (y1 - y0))), colour);
    }
}

void circle(RgbPicture& picture, double cx, double cy, double radius, Colour colour) {
    const int steps = std::max(16, static_cast<int>(radius * 8));
    for (int i = 0; i < steps; ++i) {
        const double a = 2 * kPi * i / steps;
        plot(picture, static_cast<int>(std::lround(cx + radius * std::cos(a))),
             static_cast<int>(std::lround(cy + radius * std::sin(a))), colour);
    }
}

Colour colourOf(int type) {
    if (type == 1) {
        return {230, 30, 30};
    }
    if (type == 2) {
        return {30, 90, 240};
    }
    return {30, 200, 60};
}

}  // namespace

RgbPicture greyPicture(const std::uint8_t* grey, int width, int height, int scale) {
    RgbPicture picture;
    picture.width = width * scale;
    picture.height = height * scale;
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const int value = grey[static_cast<std::size_t>(y / scale) * width + x / scale];
            const auto light = static_cast<std::uint8_t>(96 + value * 159 / 255);
            plot(picture, x, y, {light, light, light});
        }
    }
    return picture;
}

void drawMark(RgbPicture& picture, int scale, double x, double y, double radians, double radius,
              Colour colour) {
    // Pixel centres, so marks sit on the pixel the position names.
    const double cx = (x + 0.5) * scale;
    const double cy = (y + 0.5) * scale;
    const double r = radius * scale;
    circle(picture, cx, cy, r, colour);
    const double length = r + 5.0 * scale;
    line(picture, cx + r * std::cos(radians), cy - r * std::sin(radians),
         cx + length * std::cos(radians), cy - length * std::sin(radians), colour);
}

RgbPicture drawMinutiae(const std::uint8_t* grey, int width, int height, int scale,
                        const std::vector<zarn::IsoMinutia>& minutiae) {
    RgbPicture picture = greyPicture(grey, width, height, scale);
    for (const zarn::IsoMinutia& m : minutiae)
        drawMark(picture, scale, m.x, m.y, m.angle * 2 * kPi / 256, 2.5 + m.quality / 30.0,
                 colourOf(m.type));
    return picture;
}

}  // namespace zarn_viewer
