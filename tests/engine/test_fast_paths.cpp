// The fast forms of the extraction stages give exactly the values of their plain
// definitions (bit for bit, since templates must not move), and the vector widths chosen
// at run time agree with each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "binarization.h"
#include "block_filter.h"
#include "block_map.h"
#include "normalization.h"
#include "rounding.h"

namespace zarn {
namespace {

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

GrayPlane noise(int w, int h, std::uint32_t seed) {
    std::mt19937 random(seed);
    GrayPlane image(w, h);
    for (auto& p : image.pixels)
        p = static_cast<std::uint8_t>(random() % 256);
    return image;
}

// Sizes with whole blocks, partial last blocks and a single block row or column.
const int kSizes[][2] = {{64, 64}, {77, 45}, {388, 374}, {8, 131}, {131, 3}};

TEST(FastPaths, BlockStatsEqualTheDirectWindowSums) {
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const GrayPlane image = noise(w, h, static_cast<std::uint32_t>(w * h));
        const BlockStats stats = computeBlockStats(image.pixels.data(), w, h);
        const int bs = tuning::kBlockSize, bw = blocksFor(w), bh = blocksFor(h);
        auto deviation = [&](int bx, int by, int r, double* meanOut) {
            double s = 0, s2 = 0;
            long n = 0;
            for (int y = std::max(0, (by - r) * bs); y < std::min(h, (by + r + 1) * bs); ++y)
                for (int x = std::max(0, (bx - r) * bs); x < std::min(w, (bx + r + 1) * bs); ++x) {
                    s += image.at(x, y);
                    s2 += image.at(x, y) * image.at(x, y);
                    ++n;
                }
            const double mean = s / n;
            if (meanOut)
                *meanOut = mean;
            return std::sqrt(std::max(0.0, s2 / n - mean * mean));
        };
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                double mean = 0;
                const double wide = deviation(bx, by, tuning::kNormWindowBlocks, &mean);
                const double narrow = deviation(bx, by, tuning::kSegWindowBlocks, nullptr);
                ASSERT_TRUE(sameBits(stats.mean.at(bx, by), static_cast<float>(mean)));
                ASSERT_TRUE(sameBits(stats.contrast.at(bx, by), static_cast<float>(wide)));
                ASSERT_TRUE(sameBits(stats.localContrast.at(bx, by), static_cast<float>(narrow)));
            }
    }
}

TEST(FastPaths, NormalisationEqualsThePerPixelInterpolation) {
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const GrayPlane image = noise(w, h, static_cast<std::uint32_t>(w + h));
        const BlockStats stats = computeBlockStats(image.pixels.data(), w, h);
        const PaddedPlane plane = normalizeImage(image.pixels.data(), w, h, stats);
        const int bs = tuning::kBlockSize, bw = stats.mean.width, bh = stats.mean.height;
        auto axis = [&](int p, int blocks, int& lo, int& hi) {
            const float f = (p + 0.5f) / bs - 0.5f;
            lo = std::clamp(static_cast<int>(std::floor(f)), 0, blocks - 1);
            hi = std::min(lo + 1, blocks - 1);
            return std::clamp(f - lo, 0.0f, 1.0f);
        };
        for (int y = 0; y < h; ++y) {
            int y0 = 0, y1 = 0;
            const float wy = axis(y, bh, y0, y1);
            for (int x = 0; x < w; ++x) {
                int x0 = 0, x1 = 0;
                const float wx = axis(x, bw, x0, x1);
                auto lerp = [&](auto value) {
                    const float left = value(x0, y0) + (value(x0, y1) - value(x0, y0)) * wy;
                    const float right = value(x1, y0) + (value(x1, y1) - value(x1, y0)) * wy;
                    return left + (right - left) * wx;
                };
                const float m = lerp([&](int bx, int by) { return stats.mean.at(bx, by); });
                const float k = lerp([&](int bx, int by) {
                    return 1.0f / std::max(tuning::kNormMinStd, stats.contrast.at(bx, by));
                });
                ASSERT_TRUE(sameBits(plane.at(x, y), (m - image.at(x, y)) * k)) << x << "," << y;
            }
        }
    }
}

TEST(FastPaths, BlockMapSmoothingEqualsColumnByColumnConvolution) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-5.0f, 5.0f);
    for (const auto& size : {std::pair{13, 9}, std::pair{1, 20}, std::pair{50, 1}}) {
        for (const float sigma : {0.5f, 1.4f, 3.0f}) {
            Image<float> map(size.first, size.second);
            for (float& v : map.pixels)
                v = value(random);
            // The plain definition: the same kernel, rows then columns, ends repeated.
            const int radius = std::max(1, static_cast<int>(std::ceil(2.5f * sigma)));
            std::vector<float> kernel(2 * radius + 1);
            float total = 0;
            for (int i = -radius; i <= radius; ++i)
                total += kernel[i + radius] = std::exp(-0.5f * i * i / (sigma * sigma));
            for (float& k : kernel)
                k /= total;
            Image<float> expected = map;
            auto pass = [&](bool rows) {
                const Image<float> in = expected;
                for (int y = 0; y < map.height; ++y)
                    for (int x = 0; x < map.width; ++x) {
                        float acc = 0;
                        for (int k = 0; k <= 2 * radius; ++k) {
                            const int d = k - radius;
                            acc +=
                                kernel[k] * (rows ? in.at(std::clamp(x + d, 0, map.width - 1), y)
                                                  : in.at(x, std::clamp(y + d, 0, map.height - 1)));
                        }
                        expected.at(x, y) = acc;
                    }
            };
            pass(true);
            pass(false);
            smoothBlockMap(map, sigma);
            for (std::size_t i = 0; i < map.pixels.size(); ++i)
                ASSERT_TRUE(sameBits(map.pixels[i], expected.pixels[i])) << sigma << " at " << i;
        }
    }
}

TEST(FastPaths, RoundingMatchesTheLibrary) {
    std::vector<double> values = {
        0.0,       -0.0,      0.5, -0.5, 1.5, -1.5, 2.5, 0.49999999999999994, -0.49999999999999994,
        1e9 + 0.5, -1e9 - 0.5};
    for (double v = -20.0; v <= 20.0; v += 0.25)
        for (double near : {v, std::nextafter(v, 1e9), std::nextafter(v, -1e9)})
            values.push_back(near);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    for (int i = 0; i < 10000; ++i)
        values.push_back(wide(random));
    for (const double v : values)
        ASSERT_EQ(roundHalfAway(v), std::lround(v)) << v;
}

// Regions by breadth-first search, flipped as the island pass defines them: at most
// maxArea pixels, touching neither the frame nor (for valleys) a background block.
void flipByFloodFill(GrayPlane& img, std::uint8_t value, bool eightConnected, int maxArea,
                     const Image<std::uint8_t>& blocks) {
    const int w = img.width, h = img.height, bs = tuning::kBlockSize;
    Image<std::uint8_t> seen(w, h, 0);
    for (int sy = 0; sy < h; ++sy)
        for (int sx = 0; sx < w; ++sx) {
            if (img.at(sx, sy) != value || seen.at(sx, sy))
                continue;
            std::vector<std::pair<int, int>> region{{sx, sy}};
            seen.at(sx, sy) = 1;
            bool open = false;
            for (std::size_t i = 0; i < region.size(); ++i) {
                const auto [x, y] = region[i];
                open = open || x == 0 || y == 0 || x == w - 1 || y == h - 1 ||
                       (value == 0 && !blocks.at(x / bs, y / bs));
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if ((dx == 0) == (dy == 0) && !(eightConnected && dx && dy))
                            continue;
                        const int nx = x + dx, ny = y + dy;
                        if (img.contains(nx, ny) && img.at(nx, ny) == value && !seen.at(nx, ny)) {
                            seen.at(nx, ny) = 1;
                            region.push_back({nx, ny});
                        }
                    }
            }
            if (!open && static_cast<int>(region.size()) <= maxArea)
                for (const auto& [x, y] : region)
                    img.at(x, y) = value ? 0 : 1;
        }
}

TEST(FastPaths, IslandRemovalEqualsFloodFill) {
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        std::mt19937 random(static_cast<std::uint32_t>(3 * w + h));
        // Speckle at several densities gives regions of every size, odd widths give
        // rows that end inside a word.
        GrayPlane binary(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                binary.at(x, y) = random() % 100 < static_cast<unsigned>(30 + (x * 40) / w);
        ForegroundMask mask;
        mask.blocks = Image<std::uint8_t>(blocksFor(w), blocksFor(h));
        for (auto& b : mask.blocks.pixels)
            b = random() % 5 != 0;
        GrayPlane expected = binary;
        flipByFloodFill(expected, 0, false, tuning::kMaxIslandArea, mask.blocks);
        flipByFloodFill(expected, 1, true, tuning::kMaxIslandArea, mask.blocks);
        ASSERT_NE(expected.pixels, binary.pixels) << "no island to remove: the case is empty";
        removeSmallIslands(binary, mask, tuning::kMaxIslandArea);
        EXPECT_EQ(binary.pixels, expected.pixels);
    }
}

TEST(FastPaths, BlockFilterWidthsAgreeWithTheTapByTapSum) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    PaddedPlane in(61, 45, tuning::kPadMargin);
    for (float& v : in.data)
        v = value(random);
    const int reach = tuning::kPadMargin;
    const bool wide = widestVectors() == VectorWidth::Wide;
    for (const int taps : {1, 5, 60}) {
        Kernel kernel;
        for (int i = 0; i < taps; ++i) {
            const int dx = static_cast<int>(random() % (2 * reach + 1)) - reach;
            const int dy = static_cast<int>(random() % (2 * reach + 1)) - reach;
            kernel.offsets.push_back(dy * in.stride + dx);
            kernel.weights.push_back(value(random));
        }
        PaddedPlane narrowOut(in.width, in.height, in.margin);
        PaddedPlane wideOut(in.width, in.height, in.margin);
        // Corner, edge and inner blocks, the last one partly outside the image area.
        for (const auto& block :
             {std::pair{0, 0}, std::pair{56, 0}, std::pair{24, 16}, std::pair{56, 40}}) {
            const int x0 = block.first, y0 = block.second;
            filterBlock(in, narrowOut, kernel, x0, y0, VectorWidth::Narrow);
            if (wide)
                filterBlock(in, wideOut, kernel, x0, y0, VectorWidth::Wide);
            for (int y = y0; y < y0 + tuning::kBlockSize; ++y)
                for (int x = x0; x < x0 + tuning::kBlockSize; ++x) {
                    float expected = 0;
                    for (int i = 0; i < taps; ++i)
                        expected += kernel.weights[i] * in.row(y)[x + kernel.offsets[i]];
                    ASSERT_TRUE(sameBits(narrowOut.row(y)[x], expected)) << taps << " taps";
                    if (wide) {
                        ASSERT_TRUE(sameBits(wideOut.row(y)[x], expected)) << taps << " taps";
                    }
                }
        }
    }
    if (!wide)
        GTEST_SKIP() << "no wide vectors here: the narrow path alone was checked";
}

}  // namespace
}  // namespace zarn
