// Matching and merging on made-up fingers with a known truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "enrollment.h"
#include "iso19794.h"
#include "matcher.h"
#include "merge.h"
#include "test_merge_fakes.h"

namespace {

using zarn::FingerView;
using zarn::Minutia;
using zarn_test::FakeWindow;

constexpr float kPi = 3.14159265f;

float angleGap(float a, float b) {
    float d = std::fmod(std::fabs(a - b), 2 * kPi);
    return d > kPi ? 2 * kPi - d : d;
}

// Three overlapping windows on one 600x600 finger, slightly turned, so
// their union is much larger than any one of them.
std::vector<FakeWindow> threeWindows() {
    FakeWindow a, b, c;
    a.x0 = 40, a.y0 = 40, a.angle = 0.05f, a.seed = 1;
    b.x0 = 180, b.y0 = 70, b.angle = -0.2f, b.seed = 2;
    c.x0 = 100, c.y0 = 200, c.angle = 0.3f, c.seed = 3;
    return {a, b, c};
}

TEST(Matcher, RecoversTheTransformBetweenTwoImpressions) {
    const auto finger = zarn_test::fakeFinger(600, 600, 5);
    const struct {
        float angle, dx, dy;
    } cases[] = {{0, 0, 0}, {0.3f, 40, -30}, {-0.6f, -60, 20}, {1.4f, 30, 50}, {kPi, 0, 10}};
    for (const auto& c : cases) {
        FakeWindow from, to;
        from.x0 = 150, from.y0 = 150, from.seed = 11;
        to.x0 = 150 + c.dx, to.y0 = 150 + c.dy, to.angle = c.angle, to.seed = 12;
        const auto a = zarn_test::fakeImpression(finger, from);
        const auto b = zarn_test::fakeImpression(finger, to);
        const zarn::ViewAlignment alignment = zarn::alignViews(a.view, b.view);
        ASSERT_TRUE(alignment.aligned) << c.angle;
        // Every finger minutia lands where the other impression would put it.
        for (const Minutia& m : finger) {
            const Minutia inA = zarn_test::fakeToImpression(from, m);
            if (inA.x < 0 || inA.y < 0 || inA.x > 300 || inA.y > 300) {
                continue;
            }
            const Minutia expected = zarn_test::fakeToImpression(to, m);
            const Minutia moved = zarn::applyTransform(alignment.transform, inA);
            EXPECT_NEAR(moved.x, expected.x, 4) << c.angle;
            EXPECT_NEAR(moved.y, expected.y, 4) << c.angle;
            EXPECT_LT(angleGap(moved.direction, expected.direction), 0.1f) << c.angle;
        }
        // The inverse takes it back.
        const zarn::RigidTransform round = zarn::composeTransforms(
            zarn::invertTransform(alignment.transform), alignment.transform);
        EXPECT_NEAR(std::sin(round.angle), 0, 1e-4);
        EXPECT_NEAR(round.tx, 0, 1e-2);
        EXPECT_NEAR(round.ty, 0, 1e-2);
    }
}

TEST(Matcher, SameFingerScoresAboveOtherFingers) {
    std::vector<std::vector<FingerView>> fingers;
    for (std::uint32_t f = 0; f < 4; ++f) {
        const auto finger = zarn_test::fakeFinger(500, 500, 100 + f);
        std::vector<FingerView> views;
        for (std::uint32_t k = 0; k < 2; ++k) {
            FakeWindow w;
            w.x0 = 60 + 50 * static_cast<float>(k);
            w.y0 = 80 - 30 * static_cast<float>(k);
            w.angle = 0.25f * static_cast<float>(k);
            w.seed = 10 * f + k;
            views.push_back(zarn_test::fakeImpression(finger, w).view);
        }
        fingers.push_back(std::move(views));
    }
    float lowestGenuine = 1, highestImpostor = 0;
    for (std::size_t f = 0; f < fingers.size(); ++f) {
        for (std::size_t g = 0; g < fingers.size(); ++g) {
            const float s = zarn::matchScore(fingers[f][0], fingers[g][1]);
            EXPECT_GE(s, 0);
            EXPECT_LE(s, 1);
            if (f == g) {
                lowestGenuine = std::min(lowestGenuine, s);
            } else {
                highestImpostor = std::max(highestImpostor, s);
                EXPECT_FALSE(zarn::alignViews(fingers[f][0], fingers[g][1]).aligned);
            }
        }
    }
    EXPECT_GT(lowestGenuine, 0.15f);
    EXPECT_LT(highestImpostor, 0.03f);
    EXPECT_EQ(zarn::matchScore(FingerView{}, fingers[0][0]), 0);
}

// A smudged patch yields many minutiae the other impression lacks; rated
// doubtful they must not drag a genuine comparison down as clear ones would,
// while clear views score the same whatever their exact quality.
TEST(Matcher, DoubtfulMinutiaeWeighLessThanClearOnes) {
    const auto finger = zarn_test::fakeFinger(500, 500, 7);
    FakeWindow wa, wb;
    wa.x0 = 60, wa.y0 = 60, wa.seed = 1;
    wb.x0 = 110, wb.y0 = 90, wb.angle = 0.2f, wb.seed = 2;
    const FingerView a = zarn_test::fakeImpression(finger, wa).view;
    const FingerView b = zarn_test::fakeImpression(finger, wb).view;
    const auto smudged = [&b](std::uint8_t quality) {
        FingerView v = b;
        for (int i = 0; i < 30; ++i) {
            Minutia m;
            m.x = 40 + 7 * static_cast<float>(i % 6) + 3 * static_cast<float>(i / 6);
            m.y = 150 + 9 * static_cast<float>(i / 6);
            m.direction = 0.7f * static_cast<float>(i % 9);
            m.quality = quality;
            v.minutiae.push_back(m);
        }
        return v;
    };
    const zarn::ViewAlignment doubtful = zarn::alignViews(a, smudged(5));
    const zarn::ViewAlignment clear = zarn::alignViews(a, smudged(90));
    EXPECT_TRUE(doubtful.aligned);
    EXPECT_GT(doubtful.pairScore, 1.3f * clear.pairScore);
    // The cylinders weigh no quality, so the whole score gains less.
    EXPECT_GT(doubtful.score, 1.1f * clear.score);

    const auto allAt = [](FingerView v, std::uint8_t quality) {
        for (Minutia& m : v.minutiae) {
            m.quality = quality;
        }
        return v;
    };
    EXPECT_FLOAT_EQ(zarn::matchScore(allAt(a, 60), allAt(b, 60)),
                    zarn::matchScore(allAt(a, 100), allAt(b, 100)));
}

TEST(Matcher, ConvexHullEnclosesItsPoints) {
    const std::vector<zarn::PointF> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {5, 5}, {2, 8}};
    const auto hull = zarn::convexHull(square);
    EXPECT_EQ(hull.size(), 4u);
    const struct {
        zarn::PointF p;
        float margin;
        bool inside;
    } cases[] = {{{5, 5}, 0, true},  {{0, 0}, 0.01f, true}, {{11, 5}, 0, false}, {{11, 5}, 2, true},
                 {{5, 3}, -2, true}, {{5, 1}, -2, false},   {{-3, 12}, 2, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(zarn::insideHull(hull, c.p, c.margin), c.inside) << c.p.x << "," << c.p.y;
    }
    // Two points: their bounding box.
    const auto line = zarn::convexHull({{0, 0}, {10, 0}});
    EXPECT_TRUE(zarn::insideHull(line, {5, 1}, 2));
    EXPECT_FALSE(zarn::insideHull(line, {5, 3}, 2));
    EXPECT_FALSE(zarn::insideHull({}, {0, 0}, 100));
}

TEST(Merge, ThreeImpressionsFuseIntoOneViewCoveringTheirUnion) {
    const auto finger = zarn_test::fakeFinger(600, 600, 21);
    const auto windows = threeWindows();
    std::vector<zarn_test::FakeImpression> impressions;
    std::vector<FingerView> views;
    for (const auto& w : windows) {
        impressions.push_back(zarn_test::fakeImpression(finger, w));
        views.push_back(impressions.back().view);
    }
    const zarn::MergedViews merged = zarn::mergeViews(views);
    ASSERT_EQ(merged.members.size(), 3u);
    const FingerView& out = merged.view;
    ASSERT_FALSE(out.minutiae.empty());
    EXPECT_LE(out.minutiae.size(), 128u);
    for (const auto& w : windows) {
        EXPECT_GT(out.imageWidth, w.width);
        EXPECT_GT(out.imageHeight, w.height);
    }
    for (const Minutia& m : out.minutiae) {
        EXPECT_GE(m.x, 0);
        EXPECT_GE(m.y, 0);
        EXPECT_LE(m.x, static_cast<float>(out.imageWidth - 1));
        EXPECT_LE(m.y, static_cast<float>(out.imageHeight - 1));
    }

    // Put the truth into the merged frame: the reference window's mapping plus
    // the shift the most minutiae all three show agree on.
    const FakeWindow& reference = windows[merged.members[0]];
    std::vector<Minutia> common;
    for (std::size_t i = 0; i < finger.size(); ++i) {
        if (impressions[0].shows[i] && impressions[1].shows[i] && impressions[2].shows[i]) {
            common.push_back(zarn_test::fakeToImpression(reference, finger[i]));
        }
    }
    ASSERT_GE(common.size(), 5u);
    float shiftX = 0, shiftY = 0;
    std::size_t bestVotes = 0;
    for (const Minutia& t : common) {
        for (const Minutia& m : out.minutiae) {
            std::size_t votes = 0;
            for (const Minutia& u : common) {
                for (const Minutia& o : out.minutiae) {
                    votes += std::hypot(o.x - (u.x + m.x - t.x), o.y - (u.y + m.y - t.y)) < 4;
                }
            }
            if (votes > bestVotes) {
                bestVotes = votes;
                shiftX = m.x - t.x;
                shiftY = m.y - t.y;
            }
        }
    }
    EXPECT_GE(bestVotes, common.size() * 9 / 10);
    EXPECT_GE(shiftX, 0);
    EXPECT_GE(shiftY, 0);

    // Seen by two or more: exactly once in the merged view. Seen by one where
    // the other impressions do not reach: kept, which is the extra area.
    int shared = 0, sharedFound = 0, lone = 0, loneFound = 0;
    for (std::size_t i = 0; i < finger.size(); ++i) {
        int seen = 0;
        for (const auto& imp : impressions) {
            seen += imp.shows[i] ? 1 : 0;
        }
        if (seen == 0) {
            continue;
        }
        Minutia t = zarn_test::fakeToImpression(reference, finger[i]);
        t.x += shiftX;
        t.y += shiftY;
        int copies = 0;
        for (const Minutia& m : out.minutiae) {
            if (std::hypot(m.x - t.x, m.y - t.y) < 9 && angleGap(m.direction, t.direction) < 0.5f) {
                ++copies;
            }
        }
        EXPECT_LE(copies, 1) << "finger minutia " << i;
        bool othersReach = false;
        for (std::size_t k = 0; k < windows.size(); ++k) {
            const Minutia p = zarn_test::fakeToImpression(windows[k], finger[i]);
            othersReach |= !impressions[k].shows[i] && p.x > -10 && p.y > -10 &&
                           p.x < static_cast<float>(windows[k].width) + 10 &&
                           p.y < static_cast<float>(windows[k].height) + 10;
        }
        if (seen >= 2) {
            ++shared;
            sharedFound += copies;
        } else if (!othersReach) {
            ++lone;
            loneFound += copies;
        }
    }
    EXPECT_GE(sharedFound, shared * 9 / 10) << shared;
    EXPECT_GT(lone, 20);
    EXPECT_GE(loneFound, lone * 8 / 10) << lone;
    // Nothing beyond what the impressions show of the finger, but for a stray
    // spurious minutia near an edge.
    std::size_t seenAtAll = 0;
    for (std::size_t i = 0; i < finger.size(); ++i) {
        seenAtAll += impressions[0].shows[i] || impressions[1].shows[i] || impressions[2].shows[i];
    }
    EXPECT_LE(out.minutiae.size(), seenAtAll + 2);
}

TEST(Merge, AnImpressionOfAnotherFingerIsLeftOut) {
    const auto fingerA = zarn_test::fakeFinger(600, 600, 31);
    const auto fingerB = zarn_test::fakeFinger(600, 600, 32);
    const auto windows = threeWindows();
    for (std::size_t other = 0; other < 3; ++other) {
        std::vector<FingerView> views;
        for (std::size_t k = 0; k < 3; ++k) {
            // Windows 0 and 1 overlap most; whichever slot holds B, A's two overlap.
            const FakeWindow& w = windows[k == other ? 2 : (k < other ? k : k - 1)];
            views.push_back(zarn_test::fakeImpression(k == other ? fingerB : fingerA, w).view);
        }
        const zarn::MergedViews merged = zarn::mergeViews(views);
        ASSERT_EQ(merged.members.size(), 2u) << other;
        EXPECT_EQ(std::count(merged.members.begin(), merged.members.end(), other), 0) << other;
        EXPECT_FALSE(merged.view.minutiae.empty());
    }
}

TEST(Merge, FewerThanTwoAlignedImpressionsGiveNoView) {
    const auto windows = threeWindows();
    const FingerView a =
        zarn_test::fakeImpression(zarn_test::fakeFinger(600, 600, 41), windows[0]).view;
    const FingerView b =
        zarn_test::fakeImpression(zarn_test::fakeFinger(600, 600, 42), windows[0]).view;
    const struct {
        std::vector<FingerView> views;
        std::size_t members;
    } cases[] = {
        {{}, 0}, {{a}, 1}, {{a, b}, 1}, {{a, FingerView{}}, 1}, {{FingerView{}, FingerView{}}, 1}};
    for (const auto& c : cases) {
        const zarn::MergedViews merged = zarn::mergeViews(c.views);
        EXPECT_EQ(merged.members.size(), c.members) << c.views.size();
        EXPECT_TRUE(merged.view.minutiae.empty());
    }
}

TEST(Merge, TheOrderOfTheImpressionsDoesNotChangeTheView) {
    const auto finger = zarn_test::fakeFinger(600, 600, 51);
    std::vector<FingerView> views;
    for (const auto& w : threeWindows()) {
        views.push_back(zarn_test::fakeImpression(finger, w).view);
    }
    const zarn::MergedViews first = zarn::mergeViews(views);
    std::vector<std::size_t> order = {0, 1, 2};
    while (std::next_permutation(order.begin(), order.end())) {
        std::vector<FingerView> shuffled;
        for (std::size_t i : order) {
            shuffled.push_back(views[i]);
        }
        const zarn::MergedViews again = zarn::mergeViews(shuffled);
        ASSERT_EQ(again.members.size(), first.members.size());
        EXPECT_EQ(order[again.members[0]], first.members[0]);
        ASSERT_EQ(again.view.minutiae.size(), first.view.minutiae.size());
        for (std::size_t i = 0; i < first.view.minutiae.size(); ++i) {
            EXPECT_EQ(again.view.minutiae[i].x, first.view.minutiae[i].x);
            EXPECT_EQ(again.view.minutiae[i].y, first.view.minutiae[i].y);
            EXPECT_EQ(again.view.minutiae[i].direction, first.view.minutiae[i].direction);
        }
        EXPECT_GT(zarn::matchScore(again.view, first.view), 0.9f);
    }
}

}  // namespace

namespace {

// An impression that shares only a narrow band with the others matches the
// finger without enough pairs to fuse: it is accepted as a view of its own,
// after the fused one, and the finger's record holds both.
TEST(Merge, AMatchingImpressionThatCannotBeFusedIsKeptAsAViewOfItsOwn) {
    const auto finger = zarn_test::fakeFinger(700, 300, 61);
    FakeWindow a, b, band;
    a.seed = 1;
    b.x0 = 40, b.seed = 2;
    band.x0 = 270, band.seed = 3, band.jitter = 0.5f, band.dropRate = 0, band.spurious = 0;
    std::vector<FingerView> views;
    for (const FakeWindow& w : {a, b, band}) {
        views.push_back(zarn_test::fakeImpression(finger, w).view);
    }
    ASSERT_FALSE(zarn::alignViews(views[1], views[2]).aligned);
    const zarn::MergedViews merged = zarn::mergeViews(views);
    ASSERT_EQ(merged.members.size(), 3u);
    EXPECT_EQ(merged.members[2], 2u);
    ASSERT_EQ(merged.otherViews.size(), 1u);
    EXPECT_EQ(merged.otherViews[0].minutiae.size(), views[2].minutiae.size());

    const auto bytes = zarn::encodeIsoRecord(zarn::buildFingerRecord(merged, 3));
    const auto record = zarn::decodeIsoRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(record);
    ASSERT_EQ(record->views.size(), 2u);
    for (std::uint8_t v = 0; v < 2; ++v) {
        EXPECT_EQ(record->views[v].viewNumber, v);
        EXPECT_EQ(record->views[v].position, 3);
    }
    EXPECT_GT(record->views[0].minutiae.size(), record->views[1].minutiae.size());
    EXPECT_EQ(record->views[1].minutiae.size(), views[2].minutiae.size());

    // Without the two that fuse, the band matches nothing and is refused.
    EXPECT_EQ(zarn::mergeViews({views[0], views[2]}).members.size(), 1u);
}

}  // namespace
