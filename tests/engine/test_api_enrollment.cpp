// Enrollment bookkeeping below the C entry points, with injected views so it
// does not depend on what the extractor finds.
#include <gtest/gtest.h>

#include <vector>

#include "enrollment.h"
#include "test_iso_check.h"
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

TEST(Enrollment, EachAcceptedImageBecomesANumberedView) {
    zarn::Enrollment enrollment = enrollmentFor(4, 3);
    ASSERT_EQ(zarn::addImage(enrollment, fakeView(300, 200, 10)), ZARN_OK);
    ASSERT_EQ(zarn::addImage(enrollment, fakeView(250, 400, 200)), ZARN_OK);
    ASSERT_EQ(zarn::addImage(enrollment, fakeView(120, 120, 6)), ZARN_OK);

    const std::vector<std::uint8_t>* bytes = nullptr;
    ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
    ASSERT_NE(bytes, nullptr);
    const auto record = zarn_test::checkEngineRecord(*bytes);
    EXPECT_EQ(record.width, 300);  // largest over the views
    EXPECT_EQ(record.height, 400);
    ASSERT_EQ(record.views.size(), 3u);
    const std::size_t counts[] = {10, 128, 6};
    for (std::size_t v = 0; v < 3; ++v) {
        EXPECT_EQ(record.views[v].position, 4);
        EXPECT_EQ(record.views[v].viewNumber, static_cast<int>(v));
        EXPECT_EQ(record.views[v].minutiae.size(), counts[v]);
    }
    // A smaller view's minutiae stay inside its own image.
    for (const auto& m : record.views[2].minutiae) {
        EXPECT_LT(m.x, 120);
        EXPECT_LT(m.y, 120);
    }
}

TEST(Enrollment, RefusesImagesBeyondTheAnnouncedCountAndSixteen) {
    const struct {
        std::uint32_t expected;
        std::size_t accepted;
    } cases[] = {{1, 1}, {3, 3}, {16, 16}, {17, 16}, {1000000, 16}};
    for (const auto& c : cases) {
        zarn::Enrollment enrollment = enrollmentFor(1, c.expected);
        for (std::size_t i = 0; i < c.accepted; ++i) {
            ASSERT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 6)), ZARN_OK) << c.expected;
        }
        EXPECT_EQ(zarn::checkCanAddImage(enrollment), ZARN_E_TOO_MANY_IMAGES) << c.expected;
        EXPECT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 6)), ZARN_E_TOO_MANY_IMAGES);
        EXPECT_EQ(enrollment.views.size(), c.accepted);
    }
    // Sixteen views is the most a record can number; they must all encode.
    zarn::Enrollment full = enrollmentFor(2, 16);
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(zarn::addImage(full, fakeView(100, 100, 6)), ZARN_OK);
    }
    const std::vector<std::uint8_t>* bytes = nullptr;
    ASSERT_EQ(zarn::finaliseEnrollment(full, &bytes), ZARN_OK);
    EXPECT_EQ(zarn_test::checkEngineRecord(*bytes).views.size(), 16u);
}

TEST(Enrollment, FinalisationIsFixedOnceBuilt) {
    zarn::Enrollment enrollment = enrollmentFor(0, 2);
    const std::vector<std::uint8_t>* bytes = nullptr;
    EXPECT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_E_NO_IMAGES);
    EXPECT_EQ(bytes, nullptr);

    ASSERT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 8)), ZARN_OK);
    ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
    const std::vector<std::uint8_t> first = *bytes;
    // No more images once the template exists, and it never changes.
    EXPECT_EQ(zarn::addImage(enrollment, fakeView(100, 100, 8)), ZARN_E_FINALISED);
    ASSERT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
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
