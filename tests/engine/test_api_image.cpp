#include "test_api_image.h"

#include <algorithm>
#include <cmath>

#include "extract.h"

namespace zarn_test {

std::vector<std::uint8_t> drawSyntheticFinger(int width, int height, int shiftX, int shiftY) {
    const double pi = 3.14159265358979;
    const double period = 9.0;
    const double cx = width / 2.0 + shiftX;
    const double cy = height / 2.0 + shiftY;
    const double rx = width * 0.42;
    const double ry = height * 0.45;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height, 235);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            if ((dx / rx) * (dx / rx) + (dy / ry) * (dy / ry) > 1.0) {
                continue;
            }
            const double r = std::sqrt(dx * dx + dy * dy);
            const double theta = std::atan2(dy, dx) + pi;  // 0 .. 2pi
            double ink = std::cos(2 * pi * r / period);    // 1 on a ridge centre
            // Cut a gap into every third ridge, at an angle that turns from
            // ridge to ridge, so endings spread over the whole area.
            const int ring = static_cast<int>(std::floor(r / period + 0.5));
            if (ring >= 3 && ring % 3 == 0) {
                const double gapCentre = std::fmod(ring * 1.9, 2 * pi);
                double d = std::fabs(theta - gapCentre);
                d = std::min(d, 2 * pi - d);
                if (d * r < 8.0) {
                    ink = -1.0;
                }
            }
            const double value = 140.0 - 95.0 * ink;
            pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(value);
        }
    }
    return pixels;
}

bool extractorFindsMinutiae() {
    const int side = 256;
    const auto image = drawSyntheticFinger(side, side);
    const auto result = zarn::extractFingerView(image.data(), side, side);
    return result.status == zarn::ExtractStatus::Ok && result.view.minutiae.size() >= 6;
}

}  // namespace zarn_test
