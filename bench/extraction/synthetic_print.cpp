#include "synthetic_print.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zarn::bench {

namespace {

// Small deterministic generator so the images never depend on the standard library.
struct Lcg {
    std::uint32_t state;
    float uniform() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0f;
    }
};

}  // namespace

GrayPlane makeSyntheticPrint(int width, int height, std::uint32_t seed) {
    Lcg rng{seed * 2654435761u + 1};
    const float period = 8.5f + 2 * rng.uniform();
    const float coreX = width * (0.4f + 0.2f * rng.uniform());
    const float coreY = height * (0.35f + 0.2f * rng.uniform());
    // Each dislocation of the ridge phase adds one ridge ending or bifurcation.
    struct Point {
        float x, y, sign;
    };
    std::vector<Point> dislocations;
    const int count = 12 + width * height / 12000;
    for (int i = 0; i < count; ++i)
        dislocations.push_back({width * (0.1f + 0.8f * rng.uniform()),
                                height * (0.1f + 0.8f * rng.uniform()),
                                rng.uniform() < 0.5f ? -1.0f : 1.0f});
    const float rx = 0.46f * width, ry = 0.47f * height;
    GrayPlane image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Loop-like flow: circles around the core stretched downwards.
            const float dx = x - coreX, dy = (y - coreY) * (y > coreY ? 0.6f : 1.0f);
            float phase = 2 * static_cast<float>(M_PI) * std::sqrt(dx * dx + dy * dy) / period;
            for (const Point& d : dislocations)
                phase += d.sign * std::atan2(y - d.y, x - d.x);
            const float ex = (x - width / 2.0f) / rx, ey = (y - height / 2.0f) / ry;
            const float inside = std::clamp((1 - (ex * ex + ey * ey)) * 6, 0.0f, 1.0f);
            const float noise = 30 * (rng.uniform() + rng.uniform() - 1);
            const float value = 215 - inside * (70 + 70 * std::cos(phase)) + noise;
            image.at(x, y) = static_cast<std::uint8_t>(std::clamp(value, 0.0f, 255.0f));
        }
    return image;
}

}  // namespace zarn::bench
