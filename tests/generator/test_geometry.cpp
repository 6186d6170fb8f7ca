// Impressions: the ground truth follows the same mapping as the pixels, and generation is
// deterministic from its seeds.
#include <gtest/gtest.h>

#include <cmath>

#include "fingergen/fields.h"
#include "fingergen/impression.h"
#include "fingergen/master.h"
#include "fingergen/skeleton.h"

namespace zarn::gen {
namespace {

constexpr float kPi = 3.14159265f;

class ImpressionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        MasterOptions options;
        options.width = 224;
        options.height = 224;
        options.cls = PatternClass::Whorl;
        master_ = new Master(makeMaster(options, 42));
    }
    static void TearDownTestSuite() {
        delete master_;
        master_ = nullptr;
    }
    static const Master& master() { return *master_; }

  private:
    static Master* master_;
};

Master* ImpressionTest::master_ = nullptr;

float angleDistance(float a, float b) {
    const float d = std::fmod(std::fabs(a - b), 2 * kPi);
    return d > kPi ? 2 * kPi - d : d;
}

TEST_F(ImpressionTest, MasterHasPlausibleMinutiae) {
    // A 224 px whorl at 500 dpi holds a few dozen minutiae; none or hundreds means the growth
    // or the skeleton tracing went wrong.
    EXPECT_GE(master().minutiae.size(), 8u);
    EXPECT_LE(master().minutiae.size(), 80u);
}

TEST_F(ImpressionTest, MappingRoundTripsForEveryDifficulty) {
    for (Difficulty d : {Difficulty::Easy, Difficulty::Medium, Difficulty::Hard}) {
        for (int trial = 0; trial < 5; ++trial) {
            Rng rng = deriveRng(7, static_cast<std::uint64_t>(d), trial);
            const ImpressionParams p = drawImpressionParams(d, rng);
            for (int y = 30; y < 200; y += 17) {
                for (int x = 30; x < 200; x += 17) {
                    const Point m{static_cast<float>(x), static_cast<float>(y)};
                    const Point back =
                        impressionToMaster(master(), p, masterToImpression(master(), p, m));
                    ASSERT_NEAR(back.x, m.x, 0.05f) << difficultyName(d) << " trial " << trial;
                    ASSERT_NEAR(back.y, m.y, 0.05f) << difficultyName(d) << " trial " << trial;
                }
            }
        }
    }
}

TEST_F(ImpressionTest, TruthMovesWithAKnownRotationAndShift) {
    ImpressionParams p;
    p.rotation = 30 * kPi / 180;  // clockwise as seen, since image y points down
    p.shiftX = 12;
    p.shiftY = -7;
    p.distortRotation = 0;
    p.distortShiftX = p.distortShiftY = 0;
    p.contactScaleX = p.contactScaleY = 1.5f;  // contact = the whole fingertip
    p.edgeRoughness = 0;
    const Impression imp = makeImpression(master(), p, 3);
    const Silhouette& s = master().pattern.silhouette;
    const float c = std::cos(p.rotation);
    const float sn = std::sin(p.rotation);
    int expected = 0;
    for (const Minutia& m : master().minutiae) {
        const float x = c * (m.x - s.cx) - sn * (m.y - s.cy) + s.cx + p.shiftX;
        const float y = sn * (m.x - s.cx) + c * (m.y - s.cy) + s.cy + p.shiftY;
        const bool wellInside = x > 3 && y > 3 && x < 220 && y < 220;
        expected += wellInside ? 1 : 0;
        const Minutia* match = nullptr;
        for (const Minutia& t : imp.minutiae) {
            if (std::hypot(t.x - x, t.y - y) < 0.05f) {
                match = &t;
            }
        }
        if (!wellInside) {
            continue;
        }
        ASSERT_NE(match, nullptr) << "master minutia at " << m.x << "," << m.y << " lost";
        EXPECT_EQ(match->type, m.type);
        // A clockwise turn as seen lowers counter-clockwise record angles by the same amount.
        EXPECT_LT(angleDistance(match->direction, m.direction - p.rotation), 0.01f);
    }
    EXPECT_GT(expected, 0);
    EXPECT_EQ(static_cast<int>(imp.minutiae.size()), expected);
}

TEST_F(ImpressionTest, TruthAgreesWithWhatACleanDistortedImpressionShows) {
    // Strong placement and elastic distortion, but clean skin and sensor: minutiae found on
    // the rendered pixels must sit where the truth says, pointing the same way.
    ImpressionParams p;
    p.rotation = -25 * kPi / 180;
    p.shiftX = -10;
    p.shiftY = 8;
    p.distortRotation = 4 * kPi / 180;
    p.distortShiftX = 8;
    p.distortShiftY = -6;
    p.closeRadius = 30;
    p.brake = 30;
    p.contactScaleX = p.contactScaleY = 1.5f;
    p.edgeRoughness = 0;
    p.blotchiness = 0;
    p.pressureVariation = 0;
    p.texture = 0;
    p.poreVisibility = 0;
    p.creaseVisibility = 0;
    p.blur = 0;
    p.noise = 0;
    p.dust = 0;
    p.backgroundVariation = 0;
    const Impression imp = makeImpression(master(), p, 1);
    FloatPlane ridges(imp.image.width, imp.image.height);
    for (std::size_t i = 0; i < ridges.pixels.size(); ++i) {
        ridges.pixels[i] = (p.background - imp.image.pixels[i]) / p.contrast * 2 - 1;
    }
    const std::vector<Minutia> seen = findMinutiae(ridges, distanceToOutside(imp.contact), 16);
    int solid = 0;
    int agreeing = 0;
    for (const Minutia& t : imp.minutiae) {
        if (t.quality != kSolidQuality || t.x < 20 || t.y < 20 || t.x > 204 || t.y > 204) {
            continue;
        }
        ++solid;
        for (const Minutia& s : seen) {
            if (std::hypot(s.x - t.x, s.y - t.y) < 4 &&
                angleDistance(s.direction, t.direction) < 0.35f) {
                ++agreeing;
                break;
            }
        }
    }
    ASSERT_GE(solid, 5);
    EXPECT_GE(agreeing, solid * 9 / 10) << agreeing << " of " << solid;
}

TEST_F(ImpressionTest, PartialContactDropsTruthOutsideIt) {
    Rng rng = deriveRng(11);
    ImpressionParams p = drawImpressionParams(Difficulty::Hard, rng);
    p.contactScaleX = p.contactScaleY = 0.45f;
    const Impression imp = makeImpression(master(), p, 5);
    EXPECT_LT(imp.minutiae.size(), master().minutiae.size());
    for (const Minutia& t : imp.minutiae) {
        const int x = static_cast<int>(std::lround(t.x));
        const int y = static_cast<int>(std::lround(t.y));
        ASSERT_TRUE(imp.contact.contains(x, y));
        EXPECT_EQ(imp.contact.at(x, y), 255) << "truth outside the contact area";
    }
}

TEST_F(ImpressionTest, TruthIsFlaggedUnclearOnlyWhereTheImageIsUnreadable) {
    ImpressionParams p;
    p.contactScaleX = p.contactScaleY = 1.5f;
    p.edgeRoughness = 0;
    p.noise = 4;
    struct Case {
        float contrast;
        bool allUnclear;
    };
    for (const Case& c : {Case{180, false}, Case{20, true}}) {
        p.contrast = c.contrast;
        const Impression imp = makeImpression(master(), p, 9);
        int unclear = 0;
        for (const Minutia& t : imp.minutiae) {
            unclear += t.quality == kUnclearQuality ? 1 : 0;
        }
        ASSERT_FALSE(imp.minutiae.empty());
        if (c.allUnclear) {
            EXPECT_EQ(unclear, static_cast<int>(imp.minutiae.size())) << "contrast " << c.contrast;
        } else {
            EXPECT_EQ(unclear, 0) << "contrast " << c.contrast;
        }
    }
}

TEST_F(ImpressionTest, SameSeedsGiveTheSameImpressionAndOthersDiffer) {
    Rng a = deriveRng(99, 1, 2);
    Rng b = deriveRng(99, 1, 2);
    const ImpressionParams pa = drawImpressionParams(Difficulty::Medium, a);
    const ImpressionParams pb = drawImpressionParams(Difficulty::Medium, b);
    const Impression ia = makeImpression(master(), pa, 17);
    const Impression ib = makeImpression(master(), pb, 17);
    EXPECT_EQ(ia.image.pixels, ib.image.pixels);
    ASSERT_EQ(ia.minutiae.size(), ib.minutiae.size());
    for (std::size_t i = 0; i < ia.minutiae.size(); ++i) {
        EXPECT_EQ(ia.minutiae[i].x, ib.minutiae[i].x);
        EXPECT_EQ(ia.minutiae[i].direction, ib.minutiae[i].direction);
    }
    const Impression other = makeImpression(master(), pa, 18);
    EXPECT_NE(ia.image.pixels, other.image.pixels);
}

}  // namespace
}  // namespace zarn::gen
