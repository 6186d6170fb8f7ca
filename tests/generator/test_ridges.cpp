// Master prints: ridges at the requested period, and the same seed gives the same master.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "fingergen/master.h"

namespace zarn::gen {
namespace {

constexpr float kPi = 3.14159265f;

// Dominant ridge period (pixels) of a square block, from the peak of its windowed Fourier
// power over periods 5..13 px and all orientations.
float dominantPeriod(const FloatPlane& plane, int x0, int y0, int n) {
    float bestPower = -1;
    float bestPeriod = 0;
    for (float period = 5.0f; period <= 13.0f; period += 0.1f) {
        for (int a = 0; a < 60; ++a) {
            const float angle = a * kPi / 60;
            const float fx = std::cos(angle) / period;
            const float fy = std::sin(angle) / period;
            float re = 0;
            float im = 0;
            for (int y = 0; y < n; ++y) {
                const float wy = 0.5f - 0.5f * std::cos(2 * kPi * (y + 0.5f) / n);
                for (int x = 0; x < n; ++x) {
                    const float wx = 0.5f - 0.5f * std::cos(2 * kPi * (x + 0.5f) / n);
                    const float v = wx * wy * plane.at(x0 + x, y0 + y);
                    const float ph = 2 * kPi * (fx * x + fy * y);
                    re += v * std::cos(ph);
                    im += v * std::sin(ph);
                }
            }
            const float power = re * re + im * im;
            if (power > bestPower) {
                bestPower = power;
                bestPeriod = period;
            }
        }
    }
    return bestPeriod;
}

struct MasterCase {
    const char* name;
    PatternClass cls;
    std::uint64_t seed;
};

void PrintTo(const MasterCase& c, std::ostream* os) {
    *os << c.name;
}

class MasterRidges : public ::testing::TestWithParam<MasterCase> {};

TEST_P(MasterRidges, RidgesFollowThePeriodMapAndFillThePrint) {
    MasterOptions options;
    options.width = 192;
    options.height = 192;
    options.cls = GetParam().cls;
    const Master m = makeMaster(options, GetParam().seed);
    // A block below the centre, away from the cores, where ridges are nearly parallel.
    const int n = 40;
    const int x0 = 76;
    const int y0 = 120;
    float expected = 0;
    for (int y = y0; y < y0 + n; ++y) {
        for (int x = x0; x < x0 + n; ++x) {
            expected += m.period.at(x, y);
        }
    }
    expected /= n * n;
    EXPECT_GE(expected, 6.5f);
    EXPECT_LE(expected, 11.5f);
    EXPECT_NEAR(dominantPeriod(m.ridges, x0, y0, n), expected, 1.0f);

    // Ridges and valleys share the print roughly evenly: the growth filled it.
    int ridge = 0;
    int total = 0;
    for (std::size_t i = 0; i < m.ridges.pixels.size(); ++i) {
        if (m.inside.pixels[i] > 0) {
            ++total;
            ridge += m.ridges.pixels[i] > 0 ? 1 : 0;
        }
    }
    ASSERT_GT(total, 0);
    EXPECT_GT(ridge, total * 3 / 10);
    EXPECT_LT(ridge, total * 7 / 10);
}

INSTANTIATE_TEST_SUITE_P(Classes, MasterRidges,
                         ::testing::Values(MasterCase{"Arch", PatternClass::Arch, 1},
                                           MasterCase{"LeftLoop", PatternClass::LeftLoop, 2},
                                           MasterCase{"Whorl", PatternClass::Whorl, 3}),
                         [](const ::testing::TestParamInfo<MasterCase>& info) {
                             return info.param.name;
                         });

TEST(MasterDeterminism, SameSeedSameMasterOtherSeedOtherMaster) {
    MasterOptions options;
    options.width = 160;
    options.height = 160;
    const Master a = makeMaster(options, 5);
    const Master b = makeMaster(options, 5);
    const Master c = makeMaster(options, 6);
    EXPECT_EQ(a.ridges.pixels, b.ridges.pixels);
    ASSERT_EQ(a.minutiae.size(), b.minutiae.size());
    for (std::size_t i = 0; i < a.minutiae.size(); ++i) {
        EXPECT_EQ(a.minutiae[i].x, b.minutiae[i].x);
        EXPECT_EQ(a.minutiae[i].y, b.minutiae[i].y);
        EXPECT_EQ(a.minutiae[i].direction, b.minutiae[i].direction);
    }
    EXPECT_NE(a.ridges.pixels, c.ridges.pixels);
}

}  // namespace
}  // namespace zarn::gen
