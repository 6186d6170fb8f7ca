// Minutiae on hand-drawn skeletons: detection and tracing, the false-minutia filters,
// and the choice of the minutiae to keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "minutiae_detection.h"
#include "minutiae_filter.h"
#include "quality.h"
#include "tuning.h"

namespace zarn {
namespace {

constexpr float kPi = 3.14159265f;

struct Segment {
    int x0, y0, x1, y1;
};

// One-pixel, 8-connected lines (Bresenham), as thinning leaves them.
Image<std::uint8_t> drawSkeleton(int w, int h, const std::vector<Segment>& segments) {
    Image<std::uint8_t> img(w, h, 0);
    for (const Segment& s : segments) {
        int x = s.x0, y = s.y0;
        const int dx = std::abs(s.x1 - s.x0), dy = -std::abs(s.y1 - s.y0);
        const int sx = s.x0 < s.x1 ? 1 : -1, sy = s.y0 < s.y1 ? 1 : -1;
        for (int err = dx + dy;;) {
            img.at(x, y) = 1;
            if (x == s.x1 && y == s.y1)
                break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }
    return img;
}

const Candidate* at(const std::vector<Candidate>& list, int x, int y, int radius = 2) {
    for (const Candidate& c : list)
        if (std::abs(c.x - x) <= radius && std::abs(c.y - y) <= radius)
            return &c;
    return nullptr;
}

float angleDiff(float a, float b) {
    float d = std::fmod(std::abs(a - b), 2 * kPi);
    return std::min(d, 2 * kPi - d);
}

// A Y lying on its side: a stem from the left forking into two branches to the right.
TEST(ExtractMinutiae, DetectionFindsForkAndEndsWithTracedDirections) {
    const Image<std::uint8_t> sk =
        drawSkeleton(100, 100, {{20, 50, 50, 50}, {50, 50, 80, 30}, {50, 50, 80, 70}});
    const std::vector<Candidate> found = detectMinutiae(sk, Image<std::uint8_t>(13, 13, 1), 11, 40);
    ASSERT_EQ(found.size(), 4u);

    const Candidate* fork = at(found, 50, 50);
    ASSERT_NE(fork, nullptr);
    EXPECT_EQ(fork->type, MinutiaType::Bifurcation);
    EXPECT_LT(angleDiff(fork->angle, 0.0f), 0.15f);  // away from the stem, between branches
    int deadEnds = 0;
    for (int k = 0; k < fork->branchCount; ++k)
        deadEnds += fork->branches[k].stop == BranchStop::DeadEnd;
    EXPECT_EQ(deadEnds, 3);  // every branch ends within the 40-step reach

    // Endings point back along their ridge (pixel axes, y down).
    struct End {
        int x, y;
        float angle;
    };
    for (const End& e : {End{20, 50, 0.0f}, End{80, 30, std::atan2(20.0f, -30.0f)},
                         End{80, 70, std::atan2(-20.0f, -30.0f) + 2 * kPi}}) {
        SCOPED_TRACE(testing::Message() << e.x << "," << e.y);
        const Candidate* c = at(found, e.x, e.y);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->type, MinutiaType::RidgeEnding);
        EXPECT_LT(angleDiff(c->angle, e.angle), 0.15f);
        EXPECT_EQ(c->branches[0].stop, BranchStop::Junction);
        EXPECT_NEAR(c->branches[0].length, 30, 2);
    }
}

// Detection reads the skeleton several pixels at a time: a ridge in any column, of
// widths that are and are not a multiple of the word, must still give its two endings.
TEST(ExtractMinutiae, DetectionSeesRidgesInEveryColumn) {
    const Image<std::uint8_t> usable(4, 4, 1);
    for (int w = 5; w <= 27; ++w)
        for (int x = 1; x <= w - 2; ++x) {
            SCOPED_TRACE(testing::Message() << "width " << w << ", column " << x);
            const Image<std::uint8_t> sk = drawSkeleton(w, 30, {{x, 3, x, 26}});
            const std::vector<Candidate> found = detectMinutiae(sk, usable, 11, 40);
            ASSERT_EQ(found.size(), 2u);
            EXPECT_NE(at(found, x, 3, 0), nullptr);
            EXPECT_NE(at(found, x, 26, 0), nullptr);
        }
}

// Reported positions leave the skeleton pixel by a share of the local period: the
// ending's beyond its tip (away from its ridge), the fork's ahead into its crotch, both
// on the minutia's own line and never farther than half a period.
TEST(ExtractMinutiae, PlacementMovesEndingsPastTheTipAndForksIntoTheCrotch) {
    const Image<std::uint8_t> sk =
        drawSkeleton(100, 100, {{20, 50, 50, 50}, {50, 50, 80, 30}, {50, 50, 80, 70}});
    std::vector<Candidate> found = detectMinutiae(sk, Image<std::uint8_t>(13, 13, 1), 11, 40);
    // Fine ridges on the left (the stem's free end), coarse ones from the fork on.
    Image<float> period(13, 13, 12.0f);
    for (int by = 0; by < 13; ++by)
        for (int bx = 0; bx < 5; ++bx)
            period.at(bx, by) = 6.0f;
    placeMinutiae(found, period);

    const Candidate* end = at(found, 20, 50);
    const Candidate* fork = at(found, 50, 50);
    ASSERT_NE(end, nullptr);
    ASSERT_NE(fork, nullptr);
    EXPECT_LT(end->shiftX, 0.0f);  // into the gap left of the stem's end
    EXPECT_NEAR(end->shiftY, 0.0f, 0.1f);
    EXPECT_GT(fork->shiftX, 0.0f);  // between the branches, not up the stem
    EXPECT_NEAR(fork->shiftY, 0.0f, 0.1f);
    EXPECT_NEAR(fork->shiftX / -end->shiftX,
                12.0f / 6.0f * tuning::kForkCrotchPeriods / tuning::kEndingTipPeriods, 0.01f);
    for (const Candidate& c : found) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        const float t = c.x < 40 ? 6.0f : 12.0f;
        EXPECT_LE(std::hypot(c.shiftX, c.shiftY), 0.5f * t);
        EXPECT_GT(std::hypot(c.shiftX, c.shiftY), 0.1f * t);
        // Along the minutia's direction, one sense or the other.
        EXPECT_NEAR(std::abs(std::cos(c.angle) * c.shiftY - std::sin(c.angle) * c.shiftX), 0.0f,
                    1e-3f);
    }
}

TEST(ExtractMinutiae, DetectionSkipsBlocksNotMarkedUsable) {
    const Image<std::uint8_t> sk = drawSkeleton(100, 100, {{20, 50, 80, 50}});
    Image<std::uint8_t> usable(13, 13, 1);
    usable.at(20 / 8, 50 / 8) = 0;
    const std::vector<Candidate> found = detectMinutiae(sk, usable, 11, 40);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].x, 80);
}

// Filters on horizontal ridges of period 9 in a print that fills the image. The drawing
// sits kFrame pixels in from the left and right image edges, so the endings drawn near its
// sides do not face the frame (which ends ridges as the mask edge does); coordinates in
// and out are the drawing's.
struct Scene {
    static constexpr int kFrame = 24;
    ForegroundMask mask;
    OrientationField field;
    Image<float> period;

    explicit Scene(int w, int h) {
        const int bw = (w + 2 * kFrame + 7) / 8, bh = (h + 7) / 8;
        mask.blocks = Image<std::uint8_t>(bw, bh, 1);
        mask.interior = Image<std::uint8_t>(bw, bh, 1);
        mask.borderDistance = Image<float>(bw, bh, 100.0f);
        mask.foregroundBlocks = bw * bh;
        field.angle = Image<float>(bw, bh, 0.0f);
        field.coherence = Image<float>(bw, bh, 1.0f);
        period = Image<float>(bw, bh, 9.0f);
    }
    std::vector<Candidate> filter(const std::vector<Segment>& segments,
                                  std::vector<DropReason>* why = nullptr) const {
        std::vector<Segment> shifted = segments;
        for (Segment& seg : shifted) {
            seg.x0 += kFrame;
            seg.x1 += kFrame;
        }
        const Image<std::uint8_t> sk =
            drawSkeleton(mask.blocks.width * 8, mask.blocks.height * 8, shifted);
        std::vector<Candidate> kept = removeFalseMinutiae(detectMinutiae(sk, mask.interior, 11, 40),
                                                          mask, field, period, why);
        for (Candidate& c : kept)
            c.x -= kFrame;
        return kept;
    }
    // Foreground ends at pixel column x of the drawing: blocks from there on are background.
    void cutAt(int x) {
        for (int by = 0; by < mask.blocks.height; ++by)
            for (int bx = (x + kFrame) / 8; bx < mask.blocks.width; ++bx)
                mask.blocks.at(bx, by) = 0;
    }
};

TEST(ExtractMinutiae, FiltersRemoveTypicalFalseStructuresAndKeepRealOnes) {
    struct Case {
        const char* name;
        std::vector<Segment> skeleton;
        std::vector<std::pair<int, int>> kept;  // where survivors must be, nothing else
    };
    const std::vector<Case> cases = {
        {"spur", {{10, 50, 150, 50}, {80, 49, 80, 44}}, {{10, 50}, {150, 50}}},
        // As short as the spur, but running with the flow: a ridge forks and soon ends.
        {"short branch",
         {{10, 50, 150, 50}, {80, 49, 81, 48}, {81, 48, 87, 48}},
         {{10, 50}, {150, 50}, {80, 50}, {87, 48}}},
        {"bridge",
         {{10, 40, 150, 40}, {10, 50, 150, 50}, {80, 41, 80, 49}},
         {{10, 40}, {150, 40}, {10, 50}, {150, 50}}},
        {"fragment across the flow", {{10, 50, 150, 50}, {80, 56, 80, 63}}, {{10, 50}, {150, 50}}},
        {"short ridge",
         {{10, 50, 150, 50}, {70, 60, 78, 60}},
         {{10, 50}, {150, 50}, {70, 60}, {78, 60}}},
        {"broken ridge", {{10, 50, 75, 50}, {83, 50, 150, 50}}, {{10, 50}, {150, 50}}},
        // A ridge stops a period beside where its neighbour starts: facing within the
        // gap's reach and angle, but on two ridge lines.
        {"neighbours stop and start",
         {{10, 45, 70, 45}, {81, 54, 150, 54}},
         {{10, 45}, {70, 45}, {81, 54}, {150, 54}}},
        {"real endings",
         {{10, 40, 60, 40}, {100, 50, 150, 50}},
         {{10, 40}, {60, 40}, {100, 50}, {150, 50}}},
        {"real fork",
         {{10, 50, 80, 50}, {80, 50, 150, 25}, {80, 50, 150, 75}},
         {{10, 50}, {80, 50}, {150, 25}, {150, 75}}},
    };
    const Scene scene(160, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Candidate> kept = scene.filter(c.skeleton);
        EXPECT_EQ(kept.size(), c.kept.size());
        for (const auto& [x, y] : c.kept)
            EXPECT_NE(at(kept, x, y), nullptr) << x << "," << y;
    }
}

TEST(ExtractMinutiae, FiltersDropBorderAgainstFlowAndClusters) {
    Scene scene(160, 100);
    // Near the border: the blocks around the ending at (150, 50) are 3 px from it.
    for (int by = 5; by <= 7; ++by)
        for (int bx = (150 + Scene::kFrame) / 8 - 1; bx <= (150 + Scene::kFrame) / 8 + 1; ++bx)
            scene.mask.borderDistance.at(bx, by) = 3.0f;
    std::vector<DropReason> why;
    std::vector<Candidate> kept = scene.filter({{10, 50, 150, 50}}, &why);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].x, 10);
    EXPECT_NE(std::find(why.begin(), why.end(), DropReason::Border), why.end());

    // A ridge running across the flow the field reports.
    const Scene flat(160, 100);
    kept = flat.filter({{80, 25, 80, 75}}, &why);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(std::count(why.begin(), why.end(), DropReason::AgainstFlow), 2);

    // Six ridge ends bunched within two periods, well apart from anything else.
    kept = flat.filter({{10, 30, 60, 30},
                        {10, 33, 62, 33},
                        {10, 36, 60, 36},
                        {10, 39, 62, 39},
                        {10, 42, 60, 42},
                        {10, 45, 62, 45}},
                       &why);
    for (const Candidate& c : kept)
        EXPECT_LT(c.x, 30) << c.x;
}

// The mask edge cuts ridges into endings that face it; such an ending goes even well
// inside the border margin, while endings along the edge and forks next to it stay.
TEST(ExtractMinutiae, EndingsFacingTheMaskEdgeAreCutsOthersNearItStay) {
    Scene scene(160, 100);
    scene.cutAt(152);  // background from x = 152 on; the border distances stay generous
    std::vector<DropReason> why;
    // Ridges running into the edge, ending 2, 10 and 30 px before it (reach: 2 periods).
    std::vector<Candidate> kept =
        scene.filter({{10, 30, 150, 30}, {10, 50, 142, 50}, {10, 70, 122, 70}}, &why);
    EXPECT_EQ(at(kept, 150, 30), nullptr);
    EXPECT_EQ(at(kept, 142, 50), nullptr);
    EXPECT_NE(at(kept, 122, 70), nullptr);
    EXPECT_EQ(std::count(why.begin(), why.end(), DropReason::Border), 2);

    // A fork whose branches the edge cuts: the fork stays, the cut branch ends go.
    kept = scene.filter({{60, 50, 134, 50}, {134, 50, 151, 42}, {134, 50, 151, 58}}, &why);
    EXPECT_NE(at(kept, 134, 50), nullptr);
    EXPECT_EQ(at(kept, 151, 42), nullptr);
    EXPECT_EQ(at(kept, 151, 58), nullptr);
}

// The kept minutiae are the best by quality, and the choice does not depend on the
// order they arrive in.
TEST(ExtractMinutiae, KeepBestIsByQualityAndIndependentOfOrder) {
    std::vector<Minutia> all;
    for (int i = 0; i < 200; ++i) {
        Minutia m;
        m.x = static_cast<float>(i % 17);
        m.y = static_cast<float>(i / 17);
        m.quality = static_cast<std::uint8_t>(i % 5 == 0 ? 90 : 40);  // 40 at 90, many ties
        m.type = i % 2 ? MinutiaType::RidgeEnding : MinutiaType::Bifurcation;
        all.push_back(m);
    }
    const std::vector<Minutia> best = keepBest(all, 128);
    ASSERT_EQ(best.size(), 128u);
    EXPECT_EQ(
        std::count_if(best.begin(), best.end(), [](const Minutia& m) { return m.quality == 90; }),
        40);

    std::vector<Minutia> shuffled = all;
    std::reverse(shuffled.begin(), shuffled.end());
    std::rotate(shuffled.begin(), shuffled.begin() + 77, shuffled.end());
    const std::vector<Minutia> again = keepBest(shuffled, 128);
    for (std::size_t i = 0; i < best.size(); ++i) {
        EXPECT_EQ(best[i].x, again[i].x);
        EXPECT_EQ(best[i].y, again[i].y);
    }
}

// Survivors of the filters that sit in structures thinning noise leaves (a branch that
// stops within a period and a half, a minutia close by) carry doubts and rate below an
// isolated minutia of equal clarity; clear structures carry none.
TEST(ExtractMinutiae, DoubtfulSurvivorsRateBelowClearOnes) {
    const Scene scene(160, 100);
    const Image<float> clarity(scene.mask.blocks.width, scene.mask.blocks.height, 1.0f);
    auto qualityAt = [&](const std::vector<Candidate>& kept, int x, int y) {
        const Candidate* c = at(kept, x, y);
        EXPECT_NE(c, nullptr) << x << "," << y;
        return c ? static_cast<int>(minutiaQuality(*c, scene.mask, clarity)) : 0;
    };

    const std::vector<Candidate> clear =
        scene.filter({{10, 50, 80, 50}, {80, 50, 150, 25}, {80, 50, 150, 75}});
    for (const Candidate& c : clear)
        EXPECT_EQ(c.doubts, 0) << c.x << "," << c.y;

    // The same fork where one branch ends 7 px on: both the fork and that ending doubted.
    const std::vector<Candidate> shortBranch =
        scene.filter({{10, 50, 150, 50}, {80, 49, 81, 48}, {81, 48, 87, 48}});
    ASSERT_NE(at(shortBranch, 87, 48), nullptr);
    EXPECT_GE(at(shortBranch, 87, 48)->doubts, 1);
    EXPECT_LT(qualityAt(shortBranch, 80, 50), qualityAt(clear, 80, 50));
    EXPECT_EQ(at(shortBranch, 10, 50)->doubts, 0);

    // A short ridge: two endings close together, each with a short branch.
    const std::vector<Candidate> shortRidge = scene.filter({{10, 30, 150, 30}, {70, 60, 78, 60}});
    ASSERT_NE(at(shortRidge, 70, 60), nullptr);
    EXPECT_EQ(at(shortRidge, 70, 60)->doubts, 2);
    EXPECT_EQ(at(shortRidge, 150, 30)->doubts, 0);
}

}  // namespace
}  // namespace zarn
