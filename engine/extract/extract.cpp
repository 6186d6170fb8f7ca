// The extraction pipeline, one call per stage.
#include "extract.h"

#include <cmath>

#include "binarization.h"
#include "enhancement.h"
#include "extract_debug.h"
#include "frequency.h"
#include "minutiae_detection.h"
#include "minutiae_filter.h"
#include "normalization.h"
#include "orientation.h"
#include "quality.h"
#include "segmentation.h"
#include "stage_pictures.h"
#include "thinning.h"

namespace zarn {

namespace {

int maxTraceSteps() {
    return static_cast<int>(std::ceil(tuning::kMaxPeriod *
                                      std::max(tuning::kSpurPeriods, tuning::kBridgePeriods))) +
           1;
}

}  // namespace

ExtractResult extractFingerViewDebug(const std::uint8_t* pixels, int width, int height,
                                     ExtractStages* stages) {
    ExtractResult result;
    result.view.imageWidth = width;
    result.view.imageHeight = height;
    if (!pixels || width < 3 || height < 3) {
        result.status = ExtractStatus::NoForeground;
        return result;
    }

    const BlockStats stats = computeBlockStats(pixels, width, height);
    const OrientationField field = computeOrientation(pixels, width, height);
    const ForegroundMask mask = segmentForeground(stats, field);
    if (stages)
        drawMaskAndFlow(*stages, mask, field, width, height);
    if (mask.foregroundBlocks < tuning::kSegMinForegroundBlocks) {
        result.status = ExtractStatus::NoForeground;
        return result;
    }

    PaddedPlane plane = normalizeImage(pixels, width, height, stats);
    if (stages)
        stages->normalized = pictureOf(plane, 40.0f);
    const Image<float> period = estimateRidgePeriod(plane, field, mask);
    if (stages)
        stages->period = pictureOf(period, width, height, 255.0f / 20.0f);
    const Image<float> response = enhanceRidges(plane, field, period, mask);
    if (stages)
        stages->enhanced = pictureOf(plane, 60.0f);

    Image<std::uint8_t> skeleton = binarizeRidges(plane, mask);
    removeSmallIslands(skeleton, mask, tuning::kMaxIslandArea);
    if (stages)
        stages->binary = pictureOf(skeleton);
    thinRidges(skeleton, plane);
    plane = PaddedPlane();
    if (stages)
        stages->unprunedCandidates =
            detectMinutiae(skeleton, mask.interior, tuning::kDirectionTraceSteps, maxTraceSteps());
    pruneSpurs(skeleton, tuning::kSpurPruneLength);
    if (stages)
        stages->skeleton = pictureOf(skeleton);

    const std::vector<Candidate> candidates =
        detectMinutiae(skeleton, mask.interior, tuning::kDirectionTraceSteps, maxTraceSteps());
    std::vector<Candidate> kept = removeFalseMinutiae(candidates, mask, field, period,
                                                      stages ? &stages->dropReasons : nullptr);
    if (stages)
        stages->candidates = candidates;
    refineDirections(kept, field);
    placeMinutiae(kept, period);

    const Image<float> clarity = ridgeClarity(mask, field, stats, response);
    if (stages)
        stages->clarity = pictureOf(clarity, width, height, 255.0f);
    result.view.minutiae = keepBest(rateMinutiae(kept, mask, clarity), tuning::kMaxMinutiae);
    result.view.fingerQuality = fingerQuality(mask, clarity);
    if (countReliable(result.view.minutiae) < tuning::kMinReliableMinutiae)
        result.status = ExtractStatus::TooFewMinutiae;
    return result;
}

ExtractResult extractFingerView(const std::uint8_t* pixels, int width, int height) {
    return extractFingerViewDebug(pixels, width, height, nullptr);
}

}  // namespace zarn
