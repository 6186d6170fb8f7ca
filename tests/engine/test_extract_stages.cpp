// The extraction stages on their own: orientation, ridge period, segmentation, the
// binary clean-up and thinning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "binarization.h"
#include "frequency.h"
#include "normalization.h"
#include "orientation.h"
#include "segmentation.h"
#include "thinning.h"

namespace zarn {
namespace {

constexpr float kPi = 3.14159265f;

// Straight ridges at `angle` (pixel axes), optionally only inside a disc.
GrayPlane stripes(int w, int h, float period, float angle, float discRadius = 1e9f) {
    GrayPlane image(w, h, 200);
    const float nx = -std::sin(angle), ny = std::cos(angle);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (std::hypot(x - w / 2.0f, y - h / 2.0f) < discRadius)
                image.at(x, y) = static_cast<std::uint8_t>(
                    128 + 90 * std::cos(2 * kPi * (x * nx + y * ny) / period));
    return image;
}

float orientationError(float a, float b) {
    const float d = std::fmod(std::abs(a - b), kPi);
    return std::min(d, kPi - d);
}

TEST(ExtractStages, OrientationFollowsStripesAtEveryAngle) {
    for (int degrees = 0; degrees < 180; degrees += 15) {
        SCOPED_TRACE(degrees);
        const float angle = degrees * kPi / 180;
        const GrayPlane image = stripes(128, 128, 9, angle);
        const OrientationField field = computeOrientation(image.pixels.data(), 128, 128);
        // Judge the middle, away from the image edge.
        for (int by = 4; by < 12; ++by)
            for (int bx = 4; bx < 12; ++bx) {
                ASSERT_LT(orientationError(field.angle.at(bx, by), angle), 0.05f);
                ASSERT_GT(field.coherence.at(bx, by), 0.8f);
            }
        EXPECT_LT(orientationError(orientationAt(field, 64, 64), angle), 0.05f);
    }
}

TEST(ExtractStages, RidgePeriodMatchesDrawnPeriod) {
    for (float period : {6.0f, 8.0f, 10.5f, 13.0f}) {
        for (float angle : {0.3f, 1.2f, 2.5f}) {
            SCOPED_TRACE(testing::Message() << "period " << period << " angle " << angle);
            const GrayPlane image = stripes(160, 160, period, angle);
            const BlockStats stats = computeBlockStats(image.pixels.data(), 160, 160);
            const OrientationField field = computeOrientation(image.pixels.data(), 160, 160);
            const ForegroundMask mask = segmentForeground(stats, field);
            const PaddedPlane plane = normalizeImage(image.pixels.data(), 160, 160, stats);
            const Image<float> estimate = estimateRidgePeriod(plane, field, mask);
            EXPECT_NEAR(estimate.at(10, 10), period, 0.08f * period);
        }
    }
}

// A print in the middle of a flat background: the mask holds the print, not the flat
// area, and border distances grow towards the middle.
TEST(ExtractStages, SegmentationFindsThePrintAndNotTheBackground) {
    const GrayPlane image = stripes(240, 240, 9, 0.8f, 70);
    const BlockStats stats = computeBlockStats(image.pixels.data(), 240, 240);
    const OrientationField field = computeOrientation(image.pixels.data(), 240, 240);
    const ForegroundMask mask = segmentForeground(stats, field);
    EXPECT_EQ(mask.blocks.at(15, 15), 1);  // centre
    EXPECT_EQ(mask.blocks.at(2, 2), 0);    // corner, far outside the disc
    EXPECT_EQ(mask.blocks.at(15, 2), 0);
    // About the disc's area in blocks (pi 70^2 / 64 = 240), allowing a rim of up to two
    // blocks: the contrast window reaches a block past the print, and faint edges count.
    EXPECT_GT(mask.foregroundBlocks, 180);
    EXPECT_LT(mask.foregroundBlocks, 370);
    EXPECT_GT(mask.borderDistance.at(15, 15), 50.0f);
    EXPECT_LT(mask.borderDistance.at(15, 15), 90.0f);
}

// A print fading at one edge (a light touch) keeps its faint part, where other matchers
// still find minutiae; a patch of sensor noise beside it stays background.
TEST(ExtractStages, SegmentationKeepsAFaintEdgeButNotNoise) {
    GrayPlane image = stripes(240, 240, 9, 0.8f);
    std::uint32_t state = 12345;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 240; ++x) {
            if (x >= 160) {  // noise of a third of the ridge contrast, no ridges
                state = state * 1664525u + 1013904223u;
                image.at(x, y) = static_cast<std::uint8_t>(160 + (state >> 24) % 80 - 40);
            } else if (y >= 160) {  // a quarter of the contrast
                image.at(x, y) = static_cast<std::uint8_t>(128 + (image.at(x, y) - 128) / 4);
            }
        }
    const BlockStats stats = computeBlockStats(image.pixels.data(), 240, 240);
    const OrientationField field = computeOrientation(image.pixels.data(), 240, 240);
    const ForegroundMask mask = segmentForeground(stats, field);
    EXPECT_EQ(mask.blocks.at(8, 8), 1);   // clear ridges
    EXPECT_EQ(mask.blocks.at(8, 25), 1);  // faint ridges
    EXPECT_EQ(mask.blocks.at(27, 8), 0);  // noise
    EXPECT_EQ(mask.blocks.at(27, 25), 0);
}

int countSet(const Image<std::uint8_t>& img) {
    int n = 0;
    for (std::uint8_t p : img.pixels)
        n += p != 0;
    return n;
}

TEST(ExtractStages, SmallHolesAndDotsAreRemovedLargeOnesKept) {
    ForegroundMask mask;
    mask.blocks = Image<std::uint8_t>(10, 10, 1);
    Image<std::uint8_t> img(80, 80, 0);
    auto fill = [&](int x0, int y0, int x1, int y1, std::uint8_t v) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                img.at(x, y) = v;
    };
    fill(5, 5, 40, 40, 1);    // a ridge area...
    fill(10, 10, 13, 13, 0);  // ...with a pore of 9 pixels
    fill(20, 20, 30, 30, 0);  // ...and a lake of 100 pixels
    fill(50, 50, 52, 53, 1);  // a dot of 6 pixels
    fill(50, 60, 75, 70, 1);  // a ridge piece of 250 pixels
    removeSmallIslands(img, mask, 24);
    EXPECT_EQ(img.at(11, 11), 1);
    EXPECT_EQ(img.at(25, 25), 0);
    EXPECT_EQ(img.at(50, 50), 0);
    EXPECT_EQ(img.at(60, 65), 1);
}

// Neighbours of a skeleton pixel, counted in 8-connectivity.
int neighbours(const Image<std::uint8_t>& img, int x, int y) {
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            n += (dx || dy) && img.at(x + dx, y + dy);
    return n;
}

// A thick bar thins to a line with two ends; a thick ring to a closed loop with no
// ends; every pixel of the result has at most two neighbours.
TEST(ExtractStages, ThinningKeepsTopologyAndIsOnePixelWide) {
    struct Case {
        const char* name;
        int expectedEnds;
    };
    for (const Case& c : {Case{"bar", 2}, Case{"ring", 0}, Case{"slanted bar", 2}}) {
        SCOPED_TRACE(c.name);
        Image<std::uint8_t> img(100, 100, 0);
        PaddedPlane strength(100, 100, 16);
        for (int y = 1; y < 99; ++y)
            for (int x = 1; x < 99; ++x) {
                bool on = false;
                float centre = 0;  // distance from the shape's middle line
                const std::string name = c.name;
                if (name == "bar") {
                    on = x >= 10 && x < 90 && y >= 45 && y < 52;
                    centre = std::abs(y - 48.0f);
                } else if (name == "ring") {
                    const float r = std::hypot(x - 50.0f, y - 50.0f);
                    on = r > 25 && r < 32;
                    centre = std::abs(r - 28.5f);
                } else {
                    const float d = (y - 50.0f) - 0.4f * (x - 50.0f);
                    on = x >= 10 && x < 90 && std::abs(d) < 4;
                    centre = std::abs(d);
                }
                img.at(x, y) = on;
                strength.row(y)[x] = 4 - centre;
            }
        thinRidges(img, strength);
        int ends = 0, total = 0;
        for (int y = 1; y < 99; ++y)
            for (int x = 1; x < 99; ++x) {
                if (!img.at(x, y))
                    continue;
                ++total;
                const int n = neighbours(img, x, y);
                ASSERT_LE(n, 2) << x << "," << y;
                ASSERT_GE(n, 1) << x << "," << y;
                ends += n == 1;
            }
        EXPECT_EQ(ends, c.expectedEnds);
        EXPECT_GT(total, 60);
    }
}

// Spurs shorter than the limit go, longer branches stay.
TEST(ExtractStages, PruningRemovesShortSpursOnly) {
    Image<std::uint8_t> img(60, 60, 0);
    for (int x = 5; x < 55; ++x)
        img.at(x, 30) = 1;  // a ridge
    for (int y = 26; y < 30; ++y)
        img.at(20, y) = 1;  // a 4-pixel spur
    for (int y = 31; y < 50; ++y)
        img.at(40, y) = 1;  // a 19-pixel branch
    pruneSpurs(img, 6);
    EXPECT_EQ(img.at(20, 27), 0);
    EXPECT_EQ(img.at(40, 45), 1);
    EXPECT_EQ(img.at(10, 30), 1);
    EXPECT_EQ(countSet(img), 50 + 19);
}

}  // namespace
}  // namespace zarn
