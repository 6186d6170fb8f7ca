// Extraction on drawn ridge patterns: minutia type, place and direction, rotation,
// determinism, images without a print, odd sizes and the minutia limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "extract.h"
#include "extract_debug.h"
#include "image.h"

namespace zarn {
namespace {

constexpr float kPi = 3.14159265f;

struct Dislocation {
    float x, y, sign;  // +1 adds a ridge on the right-hand side of the point
};

// Parallel ridges of period `period` running at `angle` (radians, pixel axes), with
// dislocations that each insert one ridge. Ridges are dark, as on paper and sensors.
GrayPlane drawRidges(int w, int h, float period, float angle,
                     const std::vector<Dislocation>& dislocations, bool invert = false) {
    GrayPlane image(w, h);
    const float nx = -std::sin(angle), ny = std::cos(angle);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float phase = 2 * kPi * (x * nx + y * ny) / period;
            for (const Dislocation& d : dislocations)
                phase += d.sign * std::atan2(y - d.y, x - d.x);
            float v = std::cos(phase);
            if (invert)
                v = -v;
            image.at(x, y) = static_cast<std::uint8_t>(128 + 90 * v);
        }
    return image;
}

ExtractResult extract(const GrayPlane& image) {
    return extractFingerView(image.pixels.data(), image.width, image.height);
}

float angleDiff(float a, float b) {
    float d = std::fmod(std::abs(a - b), 2 * kPi);
    return std::min(d, 2 * kPi - d);
}

const Minutia* nearest(const std::vector<Minutia>& list, float x, float y) {
    const Minutia* best = nullptr;
    float bestDistance = 1e9f;
    for (const Minutia& m : list) {
        const float d = std::hypot(m.x - x, m.y - y);
        if (d < bestDistance) {
            bestDistance = d;
            best = &m;
        }
    }
    return best;
}

// A dislocation at (80, 81) in horizontal ridges of period 9 inserts one ridge and one
// valley on its right. The phase there is a multiple of 2 pi, so along y = 81 the image
// is ridge (dark) to the left of the point and valley to the right: a ridge arrives
// from the left and forks around a valley that starts at the point, a bifurcation
// opening along +x. With the image inverted the same point is where a ridge starts and
// runs off to the right: a ridge ending, also pointing along +x (0 rad).
TEST(Extract, DislocationGivesBifurcationOrEndingPointingIntoTheExtraRidge) {
    struct Case {
        bool invert;
        MinutiaType expected;
    };
    for (const Case& c :
         {Case{false, MinutiaType::Bifurcation}, Case{true, MinutiaType::RidgeEnding}}) {
        SCOPED_TRACE(c.invert ? "inverted" : "plain");
        const ExtractResult r = extract(drawRidges(160, 160, 9.0f, 0.0f, {{80, 81, 1}}, c.invert));
        const Minutia* m = nearest(r.view.minutiae, 80, 81);
        ASSERT_NE(m, nullptr);
        EXPECT_LT(std::hypot(m->x - 80, m->y - 81), 6.0f);
        EXPECT_EQ(m->type, c.expected);
        EXPECT_LT(angleDiff(m->direction, 0.0f), 0.35f) << m->direction;
        // One minutia drawn, so nothing else should be reported.
        EXPECT_EQ(r.view.minutiae.size(), 1u);
        EXPECT_EQ(r.status, ExtractStatus::TooFewMinutiae);
    }
}

// Directions follow the ridge flow at every orientation, in the counter-clockwise,
// y-up convention: the ending's ridge runs off to the right of the dislocation in
// ridge coordinates, which is `angle` in pixel axes and -angle as seen.
TEST(Extract, DirectionTracksRidgeOrientation) {
    for (float degrees : {30.0f, 75.0f, 120.0f, 160.0f}) {
        SCOPED_TRACE(degrees);
        const float angle = degrees * kPi / 180;
        const ExtractResult r = extract(drawRidges(160, 160, 9.0f, angle, {{80, 81, 1}}));
        const Minutia* m = nearest(r.view.minutiae, 80, 81);
        ASSERT_NE(m, nullptr);
        EXPECT_LT(std::hypot(m->x - 80, m->y - 81), 8.0f);
        EXPECT_LT(angleDiff(m->direction, 2 * kPi - angle), 0.35f) << m->direction;
    }
}

std::vector<Dislocation> scatteredDislocations() {
    std::vector<Dislocation> d;
    std::uint32_t s = 12345;
    auto next = [&] {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 16777216.0f;
    };
    for (int i = 0; i < 14; ++i)
        d.push_back({40 + 176 * next(), 40 + 176 * next(), next() < 0.5f ? -1.0f : 1.0f});
    return d;
}

// Rotating the image by 90 degrees counter-clockwise moves each minutia with it and
// turns its direction by 90 degrees.
TEST(Extract, RotationBy90DegreesRotatesMinutiae) {
    const int n = 256;
    const GrayPlane image = drawRidges(n, n, 9.5f, 0.4f, scatteredDislocations());
    GrayPlane rotated(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            rotated.at(y, n - 1 - x) = image.at(x, y);
    const ExtractResult a = extract(image);
    const ExtractResult b = extract(rotated);
    ASSERT_GE(a.view.minutiae.size(), 8u);
    int matched = 0;
    for (const Minutia& m : a.view.minutiae) {
        const float x = m.y, y = n - 1 - m.x;
        const Minutia* r = nearest(b.view.minutiae, x, y);
        if (r && std::hypot(r->x - x, r->y - y) <= 6 && r->type == m.type &&
            angleDiff(r->direction, m.direction + kPi / 2) < 0.4f)
            ++matched;
    }
    EXPECT_GE(matched, static_cast<int>(0.8 * a.view.minutiae.size()))
        << matched << " of " << a.view.minutiae.size();
}

bool sameView(const FingerView& a, const FingerView& b) {
    if (a.fingerQuality != b.fingerQuality || a.minutiae.size() != b.minutiae.size())
        return false;
    for (std::size_t i = 0; i < a.minutiae.size(); ++i) {
        const Minutia &p = a.minutiae[i], &q = b.minutiae[i];
        if (p.x != q.x || p.y != q.y || p.direction != q.direction || p.type != q.type ||
            p.quality != q.quality)
            return false;
    }
    return true;
}

TEST(Extract, SameImageGivesSameResultAndDebugPathAgrees) {
    const GrayPlane image = drawRidges(240, 200, 8.5f, 1.1f, scatteredDislocations());
    const ExtractResult first = extract(image);
    EXPECT_TRUE(sameView(first.view, extract(image).view));

    ExtractStages stages;
    const ExtractResult debug =
        extractFingerViewDebug(image.pixels.data(), image.width, image.height, &stages);
    EXPECT_TRUE(sameView(first.view, debug.view));
    for (const GrayPlane* stage :
         {&stages.normalized, &stages.mask, &stages.orientation, &stages.period, &stages.enhanced,
          &stages.binary, &stages.skeleton, &stages.clarity}) {
        EXPECT_EQ(stage->width, image.width);
        EXPECT_EQ(stage->height, image.height);
        EXPECT_EQ(stage->pixels.size(), image.pixels.size());
    }
    // The filters' verdicts line up with the candidates, and every minutia of the view is a
    // kept candidate (moved by under a period to its tip or crotch): a tool that tells where
    // a minutia was lost reads them side by side.
    ASSERT_EQ(stages.dropReasons.size(), stages.candidates.size());
    ASSERT_FALSE(debug.view.minutiae.empty());
    for (const Minutia& m : debug.view.minutiae) {
        bool kept = false;
        for (std::size_t i = 0; i < stages.candidates.size(); ++i)
            kept |= stages.dropReasons[i] == DropReason::Kept &&
                    stages.candidates[i].type == m.type &&
                    std::hypot(stages.candidates[i].x - m.x, stages.candidates[i].y - m.y) < 8.5f;
        EXPECT_TRUE(kept) << m.x << "," << m.y;
    }
}

// Images with no print must not produce a usable view.
TEST(Extract, ImagesWithoutAPrintAreRejected) {
    std::uint32_t s = 99;
    const std::vector<std::pair<const char*, std::function<std::uint8_t(int, int)>>> cases = {
        {"white", [](int, int) { return std::uint8_t{255}; }},
        {"black", [](int, int) { return std::uint8_t{0}; }},
        {"grey", [](int, int) { return std::uint8_t{128}; }},
        {"gradient", [](int x, int y) { return static_cast<std::uint8_t>((x + y) / 4); }},
        {"noise",
         [&](int, int) {
             s = s * 1664525u + 1013904223u;
             return static_cast<std::uint8_t>(s >> 24);
         }},
    };
    for (const auto& [name, pixel] : cases) {
        SCOPED_TRACE(name);
        GrayPlane image(300, 300);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x)
                image.at(x, y) = pixel(x, y);
        const ExtractResult r = extract(image);
        EXPECT_NE(r.status, ExtractStatus::Ok);
        EXPECT_LT(r.view.minutiae.size(), 6u);
    }
}

TEST(Extract, OddSizesDoNotCrash) {
    const int sizes[][2] = {{1, 1}, {2, 9}, {7, 300}, {64, 64}, {65, 67}, {64, 4000}, {4000, 64}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
        const GrayPlane image =
            drawRidges(size[0], size[1], 9.0f, 0.7f, {{size[0] / 2.0f, size[1] / 2.0f, 1}});
        const ExtractResult r = extract(image);
        EXPECT_EQ(r.view.imageWidth, size[0]);
        EXPECT_EQ(r.view.imageHeight, size[1]);
        for (const Minutia& m : r.view.minutiae) {
            EXPECT_TRUE(m.x >= 0 && m.y >= 0 && m.x < size[0] && m.y < size[1]);
        }
    }
}

// Many dislocations in a large image: the view keeps at most 128, the best ones, and
// every value stays in range.
TEST(Extract, KeepsAtMost128MinutiaeByQuality) {
    std::vector<Dislocation> d;
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 14; ++x)
            d.push_back({40.0f + 40 * x, 40.0f + 40 * y, (x + y) % 2 ? 1.0f : -1.0f});
    const GrayPlane image = drawRidges(600, 600, 9.0f, 0.3f, d);
    const ExtractResult r = extract(image);
    EXPECT_EQ(r.status, ExtractStatus::Ok);
    EXPECT_EQ(r.view.minutiae.size(), 128u);
    for (std::size_t i = 0; i < r.view.minutiae.size(); ++i) {
        const Minutia& m = r.view.minutiae[i];
        EXPECT_TRUE(m.direction >= 0 && m.direction < 2 * kPi);
        EXPECT_LE(m.quality, 100);
        if (i > 0) {
            EXPECT_LE(m.quality, r.view.minutiae[i - 1].quality);
        }
    }
    EXPECT_LE(r.view.fingerQuality, 100);
}

}  // namespace
}  // namespace zarn
