// Ground-truth minutiae on hand-drawn ridge patterns: type, position and the record's
// direction convention (ending points back along its ridge, bifurcation away from its stem).
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <sstream>
#include <string>

#include "fingergen/skeleton.h"
#include "fingergen/truth_file.h"

namespace zarn::gen {
namespace {

constexpr float kPi = 3.14159265f;
constexpr int kSize = 96;
constexpr int kPeriod = 9;

// Horizontal ridges 4 px wide every 9 px. One ridge is cut (an ending) or one valley is
// filled (the ridges on both sides join: a bifurcation) to the left or right of the centre.
// The pattern is then rotated by a multiple of 90 degrees.
enum class Feature { Ending, Bifurcation };

FloatPlane drawPattern(Feature feature, bool featureOpensRight, int quarterTurns) {
    FloatPlane base(kSize, kSize, -1.0f);
    const int c = kSize / 2;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const int phase = ((y - c + 2) % kPeriod + kPeriod) % kPeriod;
            bool ridge = phase < 4;  // the ridge through the centre occupies y = c-2 .. c+1
            const bool beyond = featureOpensRight ? x >= c : x <= c;
            if (feature == Feature::Ending && beyond && std::abs(y - c) <= 2) {
                ridge = false;  // centre ridge exists only on one side
            }
            // Valley just below the centre ridge, filled on the far side: its two flanking
            // ridges merge there into one stem.
            if (feature == Feature::Bifurcation && !beyond && y >= c + 2 && y <= c + 7) {
                ridge = true;
            }
            base.at(x, y) = ridge ? 1.0f : -1.0f;
        }
    }
    FloatPlane out = base;
    for (int t = 0; t < quarterTurns; ++t) {
        FloatPlane rotated(kSize, kSize);
        // A quarter turn counter-clockwise as seen: (x, y) -> (y, size-1-x).
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                rotated.at(y, kSize - 1 - x) = out.at(x, y);
            }
        }
        out = rotated;
    }
    return out;
}

float angleDistance(float a, float b) {
    const float d = std::fmod(std::fabs(a - b), 2 * kPi);
    return d > kPi ? 2 * kPi - d : d;
}

struct FeatureCase {
    const char* name;
    Feature feature;
    bool opensRight;
    int quarterTurns;
    float expectedDegrees;  // record convention, counter-clockwise as seen
};

void PrintTo(const FeatureCase& c, std::ostream* os) {
    *os << c.name;
}

class GroundTruthConvention : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(GroundTruthConvention, FindsOneMinutiaOfTheRightTypeAndDirection) {
    const FeatureCase& fc = GetParam();
    const FloatPlane ridges = drawPattern(fc.feature, fc.opensRight, fc.quarterTurns);
    const FloatPlane inside(kSize, kSize, 100.0f);
    const std::vector<Minutia> found = findMinutiae(ridges, inside, 0.0f);
    // The frame cuts every ridge; only the feature is far from it.
    std::vector<Minutia> central;
    for (const Minutia& m : found) {
        if (std::hypot(m.x - kSize / 2, m.y - kSize / 2) < 12) {
            central.push_back(m);
        }
    }
    ASSERT_EQ(central.size(), 1u);
    const Minutia& m = central[0];
    EXPECT_EQ(m.type,
              fc.feature == Feature::Ending ? MinutiaType::RidgeEnding : MinutiaType::Bifurcation);
    EXPECT_LT(angleDistance(m.direction, fc.expectedDegrees * kPi / 180), 15 * kPi / 180)
        << "direction " << m.direction * 180 / kPi;
}

// An ending whose ridge continues to the left points left (180); after a quarter turn
// counter-clockwise, left becomes down (270). A bifurcation whose stem is on the left opens to
// the right (0).
INSTANTIATE_TEST_SUITE_P(
    Features, GroundTruthConvention,
    ::testing::Values(FeatureCase{"EndingRidgeOnLeft", Feature::Ending, true, 0, 180},
                      FeatureCase{"EndingRidgeOnRight", Feature::Ending, false, 0, 0},
                      FeatureCase{"EndingTurnedOnce", Feature::Ending, true, 1, 270},
                      FeatureCase{"EndingTurnedThrice", Feature::Ending, true, 3, 90},
                      FeatureCase{"BifurcationOpensRight", Feature::Bifurcation, true, 0, 0},
                      FeatureCase{"BifurcationOpensLeft", Feature::Bifurcation, false, 0, 180},
                      FeatureCase{"BifurcationTurnedOnce", Feature::Bifurcation, true, 1, 90},
                      FeatureCase{"BifurcationTurnedTwice", Feature::Bifurcation, true, 2, 180}),
    [](const ::testing::TestParamInfo<FeatureCase>& info) { return info.param.name; });

TEST(GroundTruthFilter, DropsMinutiaeNearTheEdgeAndTinyIslands) {
    FloatPlane ridges = drawPattern(Feature::Ending, true, 0);
    // A 3-pixel dot in a valley is an island, not two endings.
    for (int y = 52; y <= 53; ++y) {
        for (int x = 20; x <= 22; ++x) {
            ridges.at(x, y) = 1.0f;
        }
    }
    FloatPlane inside(kSize, kSize, 100.0f);
    std::vector<Minutia> found = findMinutiae(ridges, inside, 0.0f);
    for (const Minutia& m : found) {
        EXPECT_FALSE(std::hypot(m.x - 21, m.y - 52) < 6) << "island at " << m.x << "," << m.y;
    }
    // With the centre marked as near the edge of the print, the ending there goes too.
    for (int y = 40; y < 56; ++y) {
        for (int x = 40; x < 56; ++x) {
            inside.at(x, y) = 3.0f;
        }
    }
    found = findMinutiae(ridges, inside, 10.0f);
    for (const Minutia& m : found) {
        EXPECT_FALSE(std::hypot(m.x - 48, m.y - 48) < 8);
    }
}

TEST(TruthFile, HeaderThenOneParsableLinePerMinutia) {
    Minutia ending;
    ending.x = 10.25f;
    ending.y = 20.5f;
    ending.direction = kPi / 2;
    Minutia bifurcation;
    bifurcation.type = MinutiaType::Bifurcation;
    bifurcation.direction = 3 * kPi / 2;
    bifurcation.quality = 40;
    std::ostringstream out;
    writeTruth(out, {ending, bifurcation});
    std::istringstream in(out.str());
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header.rfind("# x y direction_degrees type quality", 0), 0u);
    float x, y, degrees;
    std::string type;
    int quality;
    ASSERT_TRUE(in >> x >> y >> degrees >> type >> quality);
    EXPECT_NEAR(x, 10.25f, 0.06f);
    EXPECT_NEAR(degrees, 90.0f, 0.06f);
    EXPECT_EQ(type, "ending");
    EXPECT_EQ(quality, 1);  // no quality known: written as 1
    ASSERT_TRUE(in >> x >> y >> degrees >> type >> quality);
    EXPECT_NEAR(degrees, 270.0f, 0.06f);
    EXPECT_EQ(type, "bifurcation");
    EXPECT_EQ(quality, 40);
    EXPECT_FALSE(in >> x);
}

}  // namespace
}  // namespace zarn::gen
