// The pairing's near map: it may only rule out points that have no minutia
// within the rigid tolerance, so pairing with it finds exactly what pairing
// without it finds.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "match_tuning.h"
#include "pairing.h"
#include "test_merge_fakes.h"

namespace {

using zarn::Minutia;

std::vector<Minutia> fakeMinutiae(std::uint32_t seed) {
    zarn_test::FakeWindow w;
    w.x0 = 60, w.y0 = 80;
    return zarn_test::fakeImpression(zarn_test::fakeFinger(500, 500, seed), w).view.minutiae;
}

bool hasPartner(const std::vector<Minutia>& minutiae, float x, float y) {
    for (const Minutia& m : minutiae) {
        if (std::fabs(m.x - x) <= zarn::kPairDistance &&
            std::fabs(m.y - y) <= zarn::kPairDistance) {
            return true;
        }
    }
    return false;
}

TEST(Pairing, NearMapRulesOutOnlyPointsWithNoMinutiaInReach) {
    const std::vector<Minutia> minutiae = fakeMinutiae(5);
    const zarn::MinutiaGrid grid = zarn::minutiaGrid(minutiae);
    ASSERT_FALSE(grid.nearStart.empty());
    std::size_t ruledOut = 0, points = 0;
    const auto check = [&](float x, float y) {
        ++points;
        if (!grid.mayHavePartner(x, y)) {
            ++ruledOut;
            EXPECT_FALSE(hasPartner(minutiae, x, y)) << x << "," << y;
        }
    };
    for (float y = -40; y < 560; y += 1.5f) {
        for (float x = -40; x < 560; x += 1.5f) {
            check(x, y);
        }
    }
    // Points exactly at the tolerance's edge around each minutia.
    for (const Minutia& m : minutiae) {
        for (const float d : {-zarn::kPairDistance, zarn::kPairDistance}) {
            check(m.x + d, m.y + d);
            check(m.x + d, m.y - d);
        }
    }
    // Most of the plane is ruled out, else the map spares nothing.
    EXPECT_GT(ruledOut, points / 2);
    EXPECT_TRUE(grid.mayHavePartner(NAN, 100));
}

TEST(Pairing, NearMapChangesNoPairing) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), shift(-60, 60);
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const std::vector<Minutia> from = fakeMinutiae(seed), to = fakeMinutiae(seed % 3 + 1);
        const zarn::MinutiaGrid mapped = zarn::minutiaGrid(to);
        zarn::MinutiaGrid unmapped = mapped;
        unmapped.nearStart.clear();
        for (int trial = 0; trial < 40; ++trial) {
            // Near the identity too, where many points pair.
            const float scale = trial < 10 ? 0.05f : 1.0f;
            const zarn::RigidTransform t{scale * angle(random), scale * shift(random),
                                         scale * shift(random)};
            const std::vector<Minutia> moved = zarn::moveAll(from, t);
            const zarn::Pairing a = zarn::pairMinutiae(moved, to, mapped, {}, false);
            const zarn::Pairing b = zarn::pairMinutiae(moved, to, unmapped, {}, false);
            EXPECT_EQ(a.pairs, b.pairs);
            EXPECT_EQ(a.fit, b.fit);
        }
    }
    // A view spread too wide for a map still pairs.
    std::vector<Minutia> wide = fakeMinutiae(2);
    wide.back().x = 16000, wide.back().y = 16000;
    const zarn::MinutiaGrid grid = zarn::minutiaGrid(wide);
    EXPECT_TRUE(grid.nearStart.empty());
    EXPECT_EQ(zarn::pairMinutiae(wide, wide, grid, {}, false).pairs.size(), wide.size());
}

}  // namespace
