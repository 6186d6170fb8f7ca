// Enrollment of several impressions of one generated finger: the cases users meet, where
// the impressions overlap only partly, the skin is strongly distorted, another finger's
// impression is among them, or the images come in another order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "enrollment.h"
#include "fingergen/impression.h"
#include "fingergen/master.h"
#include "zarn_engine.h"

namespace {

using zarn::FingerView;
using zarn::gen::ImpressionParams;

zarn::gen::Master master(std::uint64_t seed) {
    zarn::gen::MasterOptions options;
    options.cls = zarn::gen::PatternClass::RightLoop;
    return zarn::gen::makeMaster(options, seed);
}

FingerView extracted(const zarn::gen::Master& finger, const ImpressionParams& params,
                     std::uint64_t seed) {
    const zarn::gen::Impression imp = zarn::gen::makeImpression(finger, params, seed);
    FingerView view;
    EXPECT_EQ(zarn::extractEnrollableView(imp.image.pixels.data(), imp.image.width,
                                          imp.image.height, view),
              ZARN_OK);
    return view;
}

struct Merged {
    std::size_t members = 0;
    std::vector<std::uint8_t> record;
};

Merged enroll(const std::vector<FingerView>& views) {
    zarn::Enrollment enrollment;
    enrollment.expectedCount = static_cast<std::uint32_t>(views.size());
    for (const FingerView& view : views)
        EXPECT_EQ(zarn::addImage(enrollment, view), ZARN_OK);
    Merged merged;
    merged.members = zarn::mergeEnrollment(enrollment);
    const std::vector<std::uint8_t>* bytes = nullptr;
    if (zarn::finaliseEnrollment(enrollment, &bytes) == ZARN_OK)
        merged.record = *bytes;
    return merged;
}

// The finger slid along the sensor: each impression shows a band of the print that
// overlaps the next one by about half.
std::vector<FingerView> slidingImpressions(const zarn::gen::Master& finger) {
    std::vector<FingerView> views;
    for (int k = 0; k < 3; ++k) {
        ImpressionParams params;
        params.contactOffsetY = -0.45f + 0.45f * static_cast<float>(k);
        params.contactScaleY = 0.55f;
        params.rotation = 0.1f * static_cast<float>(k - 1);
        views.push_back(extracted(finger, params, 100 + static_cast<std::uint64_t>(k)));
    }
    return views;
}

TEST(MergeGenerated, PartlyOverlappingImpressionsAllJoin) {
    const std::vector<FingerView> views = slidingImpressions(master(7));
    // The outer two share too little skin to align on their own; they join through the
    // middle one.
    EXPECT_LT(enroll({views[0], views[2]}).members, 2u);
    const Merged merged = enroll(views);
    EXPECT_EQ(merged.members, 3u);
    EXPECT_FALSE(merged.record.empty());
}

TEST(MergeGenerated, StronglyDistortedImpressionsAllJoin) {
    const zarn::gen::Master finger = master(11);
    std::vector<FingerView> views;
    for (int k = 0; k < 3; ++k) {
        // The skin away from the pressed centre dragged sideways and twisted, a different
        // way each time.
        ImpressionParams params;
        params.rotation = 0.15f * static_cast<float>(k - 1);
        params.shiftX = 12.0f * static_cast<float>(k - 1);
        params.distortRotation = 0.06f * static_cast<float>(1 - k);
        params.distortShiftX = 8.0f * static_cast<float>(k - 1);
        params.distortShiftY = 6.0f;
        params.closeRadius = 50;
        views.push_back(extracted(finger, params, 200 + static_cast<std::uint64_t>(k)));
    }
    EXPECT_EQ(enroll(views).members, 3u);
}

TEST(MergeGenerated, AnotherFingersImpressionIsLeftOutOfEveryPlace) {
    const zarn::gen::Master own = master(7), other = master(23);
    std::vector<FingerView> views;
    for (int k = 0; k < 2; ++k) {
        ImpressionParams params;
        params.rotation = 0.1f * static_cast<float>(k);
        params.shiftY = 15.0f * static_cast<float>(k);
        views.push_back(extracted(own, params, 400 + static_cast<std::uint64_t>(k)));
    }
    const FingerView intruder = extracted(other, ImpressionParams{}, 300);
    for (std::size_t at = 0; at <= views.size(); ++at) {
        SCOPED_TRACE(at);
        std::vector<FingerView> mixed = views;
        mixed.insert(mixed.begin() + static_cast<std::ptrdiff_t>(at), intruder);
        EXPECT_EQ(enroll(mixed).members, 2u);
    }
}

TEST(MergeGenerated, AnyOrderGivesTheSameBytes) {
    std::vector<FingerView> views = slidingImpressions(master(7));
    std::vector<std::size_t> order{0, 1, 2};
    const Merged first = enroll(views);
    ASSERT_FALSE(first.record.empty());
    while (std::next_permutation(order.begin(), order.end())) {
        std::vector<FingerView> shuffled;
        for (std::size_t i : order)
            shuffled.push_back(views[i]);
        EXPECT_EQ(enroll(shuffled).record, first.record);
    }
}

}  // namespace
