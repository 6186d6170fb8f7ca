// Minutia cylinders and their relaxed score on made-up fingers: what turning
// and shifting a view must not change, what another finger must not reach,
// and what bent skin must not destroy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cylinder.h"
#include "cylinder_code.h"
#include "matcher.h"
#include "relaxation.h"
#include "test_merge_fakes.h"

namespace {

using zarn::FingerView;
using zarn::Minutia;
using zarn_test::FakeWindow;

FingerView impression(std::uint32_t fingerSeed, const FakeWindow& window) {
    return zarn_test::fakeImpression(zarn_test::fakeFinger(500, 500, fingerSeed), window).view;
}

float relaxed(const FingerView& a, const FingerView& b) {
    return zarn::relaxedCylinderScore(a.minutiae, zarn::minutiaCylinders(a.minutiae), b.minutiae,
                                      zarn::minutiaCylinders(b.minutiae));
}

// The skin stretched along a smooth wave, up to `amplitude` px.
FingerView bent(FingerView view, float amplitude) {
    for (Minutia& m : view.minutiae) {
        m.x += amplitude * std::sin(m.y / 90);
        m.y += amplitude * std::sin(m.x / 110);
    }
    return view;
}

TEST(Cylinder, TurningAndShiftingAViewChangesNoCylinder) {
    FakeWindow w;
    w.x0 = 100, w.y0 = 100, w.jitter = 0, w.dropRate = 0, w.spurious = 0;
    const FingerView a = impression(3, w);
    FingerView turned = a;
    const float c = std::cos(0.7f), s = std::sin(0.7f);
    for (Minutia& m : turned.minutiae) {
        const float x = m.x, y = m.y;
        m.x = c * x + s * y + 40;
        m.y = -s * x + c * y + 300;
        m.direction = std::fmod(m.direction + 0.7f, 6.2831853f);
    }
    const auto ca = zarn::minutiaCylinders(a.minutiae);
    const auto ct = zarn::minutiaCylinders(turned.minutiae);
    ASSERT_EQ(ca.size(), a.minutiae.size());
    std::size_t usable = 0;
    for (std::size_t i = 0; i < ca.size(); ++i) {
        EXPECT_EQ(ca[i].usable, ct[i].usable) << i;
        if (ca[i].usable && ct[i].usable) {
            ++usable;
            EXPECT_GT(zarn::cylinderSimilarity(ca[i], a.minutiae[i], ct[i], turned.minutiae[i]),
                      0.9f)
                << i;
        }
    }
    EXPECT_GT(usable, ca.size() / 2);
    // Minutiae pointing more than a quarter turn apart never pair.
    Minutia reversed = a.minutiae[0];
    reversed.direction = std::fmod(reversed.direction + 3.0f, 6.2831853f);
    EXPECT_EQ(zarn::cylinderSimilarity(ca[0], a.minutiae[0], ca[0], reversed), 0);
}

TEST(Cylinder, RelaxedScoreKeepsTheSameFingerAboveOthersEvenOnBentSkin) {
    FakeWindow first, second;
    first.x0 = 60, first.y0 = 80, first.seed = 1;
    second.x0 = 110, second.y0 = 50, second.angle = 0.3f, second.seed = 2;
    float lowestGenuine = 1, lowestBent = 1, highestImpostor = 0;
    for (std::uint32_t f = 0; f < 4; ++f) {
        const FingerView a = impression(200 + f, first);
        lowestGenuine = std::min(lowestGenuine, relaxed(a, impression(200 + f, second)));
        lowestBent = std::min(lowestBent, relaxed(a, bent(impression(200 + f, second), 14)));
        for (std::uint32_t g = 0; g < 4; ++g) {
            if (g != f) {
                highestImpostor =
                    std::max(highestImpostor, relaxed(a, impression(200 + g, second)));
            }
        }
    }
    EXPECT_GT(lowestGenuine, 2 * highestImpostor);
    EXPECT_GT(lowestBent, 2 * highestImpostor);
    EXPECT_LE(lowestGenuine, 1);
}

TEST(Cylinder, TinyViewsScoreNothing) {
    const FingerView a = impression(5, FakeWindow{});
    FingerView one;
    one.minutiae.push_back(a.minutiae[0]);
    EXPECT_EQ(relaxed(a, FingerView{}), 0);
    EXPECT_EQ(relaxed(one, one), 0);
    EXPECT_TRUE(zarn::minutiaCylinders({}).empty());
    EXPECT_FALSE(zarn::minutiaCylinders(one.minutiae)[0].usable);
}

// The first look of a search: the same finger, turned, shifted and bent,
// must look more alike than any other finger, and empty views like nothing.
TEST(Cylinder, QuickScoreRanksTheSameFingerAboveTheOthers) {
    FakeWindow first, second;
    first.x0 = 60, first.y0 = 80, first.seed = 7;
    second.x0 = 100, second.y0 = 50, second.angle = 0.5f, second.seed = 8;
    const auto codesOf = [](const FingerView& view) {
        return zarn::cylinderCodes(view.minutiae, zarn::minutiaCylinders(view.minutiae));
    };
    for (std::uint32_t f = 0; f < 4; ++f) {
        const zarn::CylinderCodes probe = codesOf(impression(500 + f, first));
        const float genuine =
            zarn::quickScore(probe, codesOf(bent(impression(500 + f, second), 8)));
        for (std::uint32_t g = 0; g < 6; ++g) {
            if (g != f) {
                EXPECT_GT(genuine,
                          zarn::quickScore(probe, codesOf(bent(impression(500 + g, second), 8))))
                    << f << " " << g;
            }
        }
        EXPECT_EQ(zarn::quickScore(probe, codesOf(FingerView{})), 0);
        EXPECT_EQ(zarn::quickScore(codesOf(FingerView{}), probe), 0);
    }
}

// A floor lets the relaxed score stop at a bound: one that must stay above
// the true score (else a search would drop a template that belongs in its
// K best) and below the floor, while a score that reaches the floor is exact.
TEST(Cylinder, RelaxedScoreWithAFloorIsExactOrABoundBetweenScoreAndFloor) {
    FakeWindow first, second;
    first.x0 = 70, first.y0 = 60, first.seed = 5;
    second.x0 = 90, second.y0 = 90, second.angle = -0.3f, second.seed = 6;
    std::size_t bounded = 0;
    for (std::uint32_t f = 0; f < 3; ++f) {
        const FingerView a = impression(400 + f, first);
        const auto ca = zarn::minutiaCylinders(a.minutiae);
        // The other fingers, the same finger bent, and the view itself,
        // whose bound is nearly tight.
        for (std::uint32_t g = 0; g < 4; ++g) {
            const FingerView b = g == 3 ? a : bent(impression(400 + g, second), 6);
            const auto cb = zarn::minutiaCylinders(b.minutiae);
            const float score = zarn::relaxedCylinderScore(a.minutiae, ca, b.minutiae, cb);
            for (const float floor : {0.01f, score, score * 1.5f, 0.3f, 0.9f}) {
                const float found =
                    zarn::relaxedCylinderScore(a.minutiae, ca, b.minutiae, cb, floor);
                if (score >= floor) {
                    EXPECT_EQ(found, score) << f << " " << g << " floor " << floor;
                } else {
                    EXPECT_LT(found, floor) << f << " " << g;
                    EXPECT_GE(found, score) << f << " " << g << " floor " << floor;
                    bounded += found != score;
                }
            }
        }
    }
    EXPECT_GT(bounded, 0u);
}

// A search passes its K-th best score as a floor: what reaches it must be
// exact, what cannot must stay below it, for the same and other fingers.
TEST(Cylinder, AFloorSparesWorkButChangesNoScoreThatReachesIt) {
    FakeWindow first, second;
    first.x0 = 60, first.y0 = 80, first.seed = 3;
    second.x0 = 100, second.y0 = 60, second.angle = 0.4f, second.seed = 4;
    std::size_t below = 0, exact = 0;
    for (std::uint32_t f = 0; f < 3; ++f) {
        const zarn::PreparedView a = zarn::prepareView(impression(300 + f, first));
        for (std::uint32_t g = 0; g < 3; ++g) {
            const zarn::PreparedView b = zarn::prepareView(bent(impression(300 + g, second), 8));
            const float score = zarn::matchScore(a, b);
            for (const float floor : {0.0f, 0.05f, 0.2f, score, 0.6f, 1.0f}) {
                const float found = zarn::matchScoreFrom(a, b, floor);
                if (score >= floor) {
                    EXPECT_EQ(found, score) << f << " " << g << " floor " << floor;
                    ++exact;
                } else {
                    EXPECT_LT(found, floor) << f << " " << g;
                    ++below;
                }
            }
        }
    }
    EXPECT_GT(below, 0u);
    EXPECT_GT(exact, 0u);
}

}  // namespace
