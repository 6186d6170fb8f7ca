#include "degradations.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zarn::bench {

namespace {

std::uint8_t clampGrey(float v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Grey-level minimum (or maximum) over a (2r+1)^2 square: dark ridges grow (or shrink).
GreyImage rankFilter(const GreyImage& in, int r, bool takeMin) {
    GreyImage out = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            int best = takeMin ? 255 : 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    const int px = std::clamp(x + dx, 0, in.width - 1);
                    const int py = std::clamp(y + dy, 0, in.height - 1);
                    const int v = in.pixels[static_cast<std::size_t>(py) * in.width + px];
                    best = takeMin ? std::min(best, v) : std::max(best, v);
                }
            out.pixels[static_cast<std::size_t>(y) * in.width + x] =
                static_cast<std::uint8_t>(best);
        }
    return out;
}

// Uniform noise blurred by `passes` 3x3 box passes, rescaled to zero mean and unit
// deviation: a random texture whose grain grows with the passes.
std::vector<float> grain(int width, int height, int passes, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> g(static_cast<std::size_t>(width) * height);
    for (float& v : g)
        v = uniform(rng);
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<float> next(g.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                float sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum +=
                            g[static_cast<std::size_t>(std::clamp(y + dy, 0, height - 1)) * width +
                              std::clamp(x + dx, 0, width - 1)];
                next[static_cast<std::size_t>(y) * width + x] = sum / 9;
            }
        g = std::move(next);
    }
    double mean = 0, square = 0;
    for (float v : g) {
        mean += v;
        square += static_cast<double>(v) * v;
    }
    mean /= static_cast<double>(g.size());
    const double sd =
        std::sqrt(std::max(1e-12, square / static_cast<double>(g.size()) - mean * mean));
    for (float& v : g)
        v = static_cast<float>((v - mean) / sd);
    return g;
}

// Wet or pressed skin: ridges spread into the valleys and run into each other.
GreyImage dark(const GreyImage& in, std::uint32_t) {
    GreyImage out = rankFilter(in, 1, true);
    for (std::uint8_t& p : out.pixels)
        p = clampGrey(255 * std::pow(p / 255.0f, 1.5f));
    return out;
}

// Dry skin: thin ridges broken into dots and dashes where a blotchy texture lifts them.
GreyImage dry(const GreyImage& in, std::uint32_t seed) {
    GreyImage thin = rankFilter(in, 1, false);
    const GreyImage valleys = rankFilter(in, 3, false);
    const std::vector<float> blotches = grain(in.width, in.height, 3, seed);
    for (std::size_t i = 0; i < thin.pixels.size(); ++i)
        if (blotches[i] > 0.5f)
            thin.pixels[i] = valleys.pixels[i];
    return thin;
}

// A light touch: a third of the contrast, towards a light grey.
GreyImage faint(const GreyImage& in, std::uint32_t) {
    GreyImage out = in;
    for (std::uint8_t& p : out.pixels)
        p = clampGrey(255 - 0.33f * (255 - p));
    return out;
}

// Sensor noise, independent per pixel.
GreyImage noisy(const GreyImage& in, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.0f, 18.0f);
    GreyImage out = in;
    for (std::uint8_t& p : out.pixels)
        p = clampGrey(p + normal(rng));
    return out;
}

// A light touch on a grainy platen or sensor: light areas (valleys and the background)
// take the texture, the faint ridges stay on top of it. The grain is then as strong as
// the ridges, the case a contrast threshold cannot settle.
GreyImage grainy(const GreyImage& in, std::uint32_t seed) {
    const std::vector<float> texture = grain(in.width, in.height, 1, seed);
    GreyImage out = in;
    for (std::size_t i = 0; i < out.pixels.size(); ++i)
        out.pixels[i] = std::min(clampGrey(255 - 0.45f * (255 - out.pixels[i])),
                                 clampGrey(215 + 15 * texture[i]));
    return out;
}

// Bilinear resampling by `factor`, as a sensor of another resolution would see the finger.
GreyImage scaled(const GreyImage& in, float factor) {
    GreyImage out{in.name,
                  std::max(1, static_cast<int>(std::lround(in.width * factor))),
                  std::max(1, static_cast<int>(std::lround(in.height * factor))),
                  {}};
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    auto at = [&](int x, int y) {
        return static_cast<float>(
            in.pixels[static_cast<std::size_t>(std::clamp(y, 0, in.height - 1)) * in.width +
                      std::clamp(x, 0, in.width - 1)]);
    };
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const float sx = (x + 0.5f) / factor - 0.5f, sy = (y + 0.5f) / factor - 0.5f;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const float fx = sx - x0, fy = sy - y0;
            const float top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
            const float bottom = at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx;
            out.pixels[static_cast<std::size_t>(y) * out.width + x] =
                clampGrey(top * (1 - fy) + bottom * fy);
        }
    return out;
}

GreyImage smaller(const GreyImage& in, std::uint32_t) {
    return scaled(in, 0.85f);
}
GreyImage larger(const GreyImage& in, std::uint32_t) {
    return scaled(in, 1.15f);
}

// A small sensor: the middle 70% of each side.
GreyImage cropped(const GreyImage& in, std::uint32_t) {
    const int w = std::max(1, in.width * 7 / 10), h = std::max(1, in.height * 7 / 10);
    const int x0 = (in.width - w) / 2, y0 = (in.height - h) / 2;
    GreyImage out{in.name, w, h, {}};
    for (int y = 0; y < h; ++y) {
        const auto row = in.pixels.begin() + static_cast<std::ptrdiff_t>(y + y0) * in.width + x0;
        out.pixels.insert(out.pixels.end(), row, row + w);
    }
    return out;
}

}  // namespace

const std::vector<Degradation>& degradations() {
    static const std::vector<Degradation> all = {
        {"dark", dark},     {"dry", dry},           {"faint", faint},      {"noisy", noisy},
        {"grainy", grainy}, {"scale0.85", smaller}, {"scale1.15", larger}, {"crop", cropped},
    };
    return all;
}

}  // namespace zarn::bench
