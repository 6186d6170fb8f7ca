#include "fingergen/overlay.h"

#include <cmath>
#include <cstdlib>

namespace zarn::gen {

std::vector<std::uint8_t> drawTruthOverlay(const GrayPlane& image,
                                           const std::vector<Minutia>& minutiae) {
    std::vector<std::uint8_t> rgb(image.pixels.size() * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const auto g = static_cast<std::uint8_t>(image.pixels[i] / 2 + 100);
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = g;
    }
    auto put = [&](int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        if (image.contains(x, y)) {
            const std::size_t k = 3 * (static_cast<std::size_t>(y) * image.width + x);
            rgb[k] = r;
            rgb[k + 1] = g;
            rgb[k + 2] = b;
        }
    };
    for (const Minutia& m : minutiae) {
        const bool ending = m.type == MinutiaType::RidgeEnding;
        const std::uint8_t r = ending ? 230 : 0;
        const std::uint8_t b = ending ? 0 : 230;
        const int cx = static_cast<int>(std::lround(m.x));
        const int cy = static_cast<int>(std::lround(m.y));
        for (int d = -3; d <= 3; ++d) {
            put(cx + d, cy - 3, r, 0, b);
            put(cx + d, cy + 3, r, 0, b);
            put(cx - 3, cy + d, r, 0, b);
            put(cx + 3, cy + d, r, 0, b);
        }
        // Record angles turn counter-clockwise as seen, so y goes up as the angle grows.
        for (int s = 4; s <= 14; ++s) {
            put(static_cast<int>(std::lround(m.x + s * std::cos(m.direction))),
                static_cast<int>(std::lround(m.y - s * std::sin(m.direction))), r, 200, b);
        }
    }
    return rgb;
}

}  // namespace zarn::gen
