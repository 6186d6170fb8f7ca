// Enrollment bookkeeping below the C entry points, with injected views so it
// does not depend on what the extractor finds.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "enrollment.h"
#include "test_iso_check.h"
#include "test_merge_fakes.h"
#include "zarn_engine.h"

namespace {

zarn::FingerView fakeView(int width, int height, int minutiae) {
    zarn::FingerView view;
    view.imageWidth = width;
    view.imageHeight = height;
    view.fingerQuality = 55;
    for (int i = 0; i < minutiae; ++i) {
        zarn::Minutia m;
        m.x = static_cast<float>(i * 7 % width);
        m.y = static_cast<float>(i * 13 % height);
        m.direction = 0.1f * static_cast<float>(i);
        m.type = i % 2 ? zarn::MinutiaType::Bifurcation : zarn::MinutiaType::RidgeEnding;
        m.quality = static_cast<std::uint8_t>(i * 11 % 101);
        view.minutiae.push_back(m);
    }
    return view;
}

zarn::Enrollment enrollmentFor(std::uint8_t position, std::uint32_t expected) {
    zarn::Enrollment enrollment;
    enrollment.position = position;
    enrollment.expectedCount = expected;
    return enrollment;
}

// Impressions of one made-up finger: windows of the given sizes, each a little
// further along and turned, so they overlap pairwise.
std::vector<zarn::FingerView> impressionsOf(std::uint32_t fingerSeed, int fingerSide,
                                            const std::vector<std::pair<int, int>>& sizes) {
    const auto finger = zarn_test::fakeFinger(fingerSide, fingerSide, fingerSeed);
    std::vector<zarn::FingerView> views;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        zarn_test::FakeWindow w;
        w.x0 = 30 + 9 * static_cast<float>(i % 8);
        w.y0 = 30 + 7 * static_cast<float>(i % 5);
        w.width = sizes[i].first;
        w.height = sizes[i].second;
        w.angle = 0.04f * static_cast<float>(i % 6) - 0.1f;
        w.seed = static_cast<std::uint32_t>(i + 1);
        views.push_back(zarn_test::fakeImpression(finger, w).view);
    }
    return views;
}

TEST(Enrollment, AcceptedImagesMergeIntoOneView) {
    const struct {
        int fingerSide;
        std::vector<std::pair<int, int>> sizes;
        bool unrelated;  // one more view, of nothing the others show
    } cases[] = {{500, {{300, 200}, {250, 400}, {320, 320}}, false},
                 {500, {{300, 300}, {300, 300}}, true}};
    for (const auto& c : cases) {
        zarn::Enrollment enrollment = enrollmentFor(4, 4);
        for (zarn::FingerView& view : impressionsOf(61, c.fingerSide, c.sizes)) {
            ASSERT_EQ(zarn::addImage(enrollment, std::move(view)), ZARN_OK);
        }
        if (c.unrelated) {
            ASSERT_EQ(zarn::addImage(enrollment, fakeView(300, 200, 10)), ZARN_OK);
        }
        EXPECT_EQ(zarn::mergeEnrollment(enrollment), c.sizes.size());

        const std::vector<std::uint8_t>* bytes = nullptr;
        ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
        ASSERT_NE(bytes, nullptr);
        const auto record = zarn_test::checkEngineRecord(*bytes);
        ASSERT_EQ(record.views.size(), 1u);
        EXPECT_EQ(record.views[0].position, 4);
        EXPECT_EQ(record.views[0].viewNumber, 0);
        EXPECT_GE(record.views[0].minutiae.size(), 6u);
        EXPECT_LE(record.views[0].minutiae.size(), 128u);
        // The union of the aligned images is at least as large as each of them.
        for (const auto& size : c.sizes) {
            EXPECT_GE(record.width, size.first);
            EXPECT_GE(record.height, size.second);
        }
    }
    // Dense enough that the fused view is cut to the 128 best.
    zarn::Enrollment dense = enrollmentFor(4, 3);
    for (zarn::FingerView& view : impressionsOf(61, 900, {{700, 700}, {700, 700}})) {
        ASSERT_EQ(zarn::addImage(dense, std::move(view)), ZARN_OK);
    }
    const std::vector<std::uint8_t>* bytes = nullptr;
    ASSERT_EQ(zarn::finaliseEnrollment(dense, &bytes), ZARN_OK);
    EXPECT_EQ(zarn_test::checkEngineRecord(*bytes).views.at(0).minutiae.size(), 128u);
}

TEST(Enrollment, RefusesImagesBeyondTheAnnouncedCountAndThirtyTwo) {
    const struct {
        std::uint32_t expected;
        std::size_t accepted;
    } cases[] = {{1, 1}, {3, 3}, {32, 32}, {33, 32}, {1000000, 32}};
    for (const auto& c : cases) {
        zarn::Enrollment enrollment = enrollmentFor(1, c.expected);
        for (std::size_t i = 0; i < c.accepted; ++i) {
            ASSERT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 6)), ZARN_OK) << c.expected;
        }
        EXPECT_EQ(zarn::checkCanAddImage(enrollment), ZARN_E_TOO_MANY_IMAGES) << c.expected;
        EXPECT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 6)), ZARN_E_TOO_MANY_IMAGES);
        EXPECT_EQ(enrollment.views.size(), c.accepted);
    }
    // Thirty-two impressions of one finger all go into the one view.
    zarn::Enrollment full = enrollmentFor(2, ZARN_MAX_ENROLL_IMAGES);
    const std::vector<std::pair<int, int>> sizes(ZARN_MAX_ENROLL_IMAGES, {300, 300});
    for (zarn::FingerView& view : impressionsOf(71, 500, sizes)) {
        ASSERT_EQ(zarn::addImage(full, std::move(view)), ZARN_OK);
    }
    EXPECT_EQ(zarn::mergeEnrollment(full), static_cast<std::size_t>(ZARN_MAX_ENROLL_IMAGES));
    const std::vector<std::uint8_t>* bytes = nullptr;
    ASSERT_EQ(zarn::finaliseEnrollment(full, &bytes), ZARN_OK);
    EXPECT_EQ(zarn_test::checkEngineRecord(*bytes).views.size(), 1u);
}

TEST(Enrollment, FinalisationIsFixedOnceBuilt) {
    zarn::Enrollment enrollment = enrollmentFor(0, 3);
    const std::vector<std::uint8_t>* bytes = nullptr;
    EXPECT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_E_NO_IMAGES);
    EXPECT_EQ(bytes, nullptr);

    // One image, or two that do not align, is nothing to merge; the
    // enrollment stays open for another image.
    auto views = impressionsOf(81, 500, {{300, 300}, {300, 300}});
    ASSERT_EQ(zarn::addImage(enrollment, views[0]), ZARN_OK);
    EXPECT_EQ(zarn::mergeEnrollment(enrollment), 1u);
    EXPECT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_E_NOT_ALIGNED);
    ASSERT_EQ(zarn::addImage(enrollment, fakeView(300, 300, 12)), ZARN_OK);
    EXPECT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_E_NOT_ALIGNED);
    EXPECT_EQ(bytes, nullptr);

    // The count asked before the last image is not reused after it.
    ASSERT_EQ(zarn::addImage(enrollment, views[1]), ZARN_OK);
    EXPECT_EQ(zarn::mergeEnrollment(enrollment), 2u);
    ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
    const std::vector<std::uint8_t> first = *bytes;
    // No more images once the template exists, and it never changes.
    EXPECT_EQ(zarn::addImage(enrollment, views[1]), ZARN_E_FINALISED);
    ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
    EXPECT_EQ(*bytes, first);
    EXPECT_EQ(zarn::mergeEnrollment(enrollment), 2u);

    // Finalising without asking the count first gives the same bytes.
    zarn::Enrollment direct = enrollmentFor(0, 3);
    ASSERT_EQ(zarn::addImage(direct, views[0]), ZARN_OK);
    ASSERT_EQ(zarn::addImage(direct, fakeView(300, 300, 12)), ZARN_OK);
    ASSERT_EQ(zarn::addImage(direct, views[1]), ZARN_OK);
    ASSERT_EQ(zarn::finaliseEnrollment(direct, &bytes), ZARN_OK);
    EXPECT_EQ(*bytes, first);
}

TEST(Enrollment, ImageSizeIsCheckedBeforeExtraction) {
    const struct {
        int width, height;
        bool sizeOk;
    } cases[] = {{63, 100, false}, {100, 63, false},  {64, 64, true},      {4000, 64, true},
                 {64, 4000, true}, {4001, 64, false}, {64, 4001, false},   {0, 0, false},
                 {-64, 64, false}, {64, -100, false}, {1 << 30, 64, false}};
    for (const auto& c : cases) {
        // A blank image: a sized buffer is only needed when the size passes.
        std::vector<std::uint8_t> pixels(
            c.sizeOk ? static_cast<std::size_t>(c.width) * c.height : 1, 200);
        zarn::FingerView view;
        const std::int32_t status =
            zarn::extractEnrollableView(pixels.data(), c.width, c.height, view);
        if (c.sizeOk) {
            // Past the size check the blank image fails in extraction.
            EXPECT_TRUE(status == ZARN_E_NO_FOREGROUND || status == ZARN_E_TOO_FEW_MINUTIAE)
                << c.width << "x" << c.height << ": " << status;
        } else {
            EXPECT_EQ(status, ZARN_E_IMAGE_SIZE) << c.width << "x" << c.height;
        }
    }
}

}  // namespace
