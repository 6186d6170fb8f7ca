// The calibrated score: rises with similarity, means what the table says, and
// the decision threshold for a rate is the score that rate gives.
#include <gtest/gtest.h>

#include <cmath>

#include "calibration.h"

namespace zarn::test {
namespace {

using zarn::calibratedScore;
using zarn::kMaxScore;
using zarn::scoreThreshold;

TEST(Calibration, ScoreRisesWithSimilarityFromZeroToTheCap) {
    EXPECT_EQ(calibratedScore(0), 0);
    EXPECT_EQ(calibratedScore(-1), 0);
    double previous = 0;
    for (int step = 0; step <= 1000; ++step) {
        const double score = calibratedScore(static_cast<float>(step) / 1000);
        ASSERT_GE(score, previous) << step;
        ASSERT_LE(score, kMaxScore);
        previous = score;
    }
    EXPECT_EQ(calibratedScore(1), kMaxScore);
    EXPECT_EQ(calibratedScore(5), kMaxScore);
}

TEST(Calibration, ThresholdIsTenTimesTheDecadesOfTheRate) {
    EXPECT_DOUBLE_EQ(scoreThreshold(1), 0);
    EXPECT_NEAR(scoreThreshold(0.01), 20, 1e-9);
    EXPECT_NEAR(scoreThreshold(1e-4), 40, 1e-9);
}

TEST(Calibration, TheMeasuredTailIsWhereImpostorsRarelyReach) {
    // Different fingers: the matcher's similarity of chance agreements stays
    // well below 0.1, so a typical chance score is low, and a similarity that
    // genuine pairs reach is far beyond 1 in 10,000.
    EXPECT_LT(calibratedScore(0.005f), 10);
    EXPECT_GT(calibratedScore(0.3f), 40);
}

}  // namespace
}  // namespace zarn::test
