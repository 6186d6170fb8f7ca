#include "test_api_image.h"

#include <cmath>

namespace zarn_test {

std::vector<std::uint8_t> drawSyntheticFinger(int width, int height, int shiftX, int shiftY) {
    const double pi = 3.14159265358979;
    const double period = 9.0;
    const double cx = width / 2.0 + shiftX;
    const double cy = height / 2.0 + shiftY;
    const double rx = width * 0.42;
    const double ry = height * 0.45;
    // Phase singularities on a grid, alternating in sign: each is where a ridge
    // ends or splits, as minutiae do in a real print.
    struct Point {
        double x, y, sign;
    };
    std::vector<Point> singular;
    const double spacing = 48.0;
    for (int j = -3; j <= 3; ++j) {
        for (int i = -3; i <= 3; ++i) {
            const double px = i * spacing + (j % 2) * spacing / 2;
            const double py = j * spacing;
            if ((px / (rx - 24)) * (px / (rx - 24)) + (py / (ry - 24)) * (py / (ry - 24)) < 1.0) {
                singular.push_back({cx + px, cy + py, (i + j) % 2 == 0 ? 1.0 : -1.0});
            }
        }
    }
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height, 235);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            if ((dx / rx) * (dx / rx) + (dy / ry) * (dy / ry) > 1.0) {
                continue;
            }
            // Gently curved ridges running mostly top to bottom.
            double phase = 2 * pi * (dx + 0.0025 * dy * dy) / period;
            for (const Point& p : singular) {
                phase += p.sign * std::atan2(y - p.y, x - p.x);
            }
            const double value = 140.0 - 95.0 * std::cos(phase);
            pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(value);
        }
    }
    return pixels;
}

}  // namespace zarn_test
