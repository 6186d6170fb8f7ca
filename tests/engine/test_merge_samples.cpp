// Merging real extractions: the bundled generated samples through extraction,
// alignment and fusion into a record.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <cmath>
#include <map>
#include <string>

#include "enrollment.h"
#include "iso19794.h"
#include "matcher.h"
#include "test_iso_check.h"
#include "zarn_engine.h"

namespace {

using zarn::FingerView;

constexpr float kPi = 3.14159265f;

// Extracted once per run: under the sanitizers extraction is the slow part.
const FingerView& sampleView(const std::string& name) {
    static std::map<std::string, FingerView> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        const std::string path = std::string(ZARN_SAMPLES_DIR) + "/" + name + ".png";
        int w = 0, h = 0, channels = 0;
        unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &channels, 1);
        FingerView view;
        const std::int32_t status =
            pixels ? zarn::extractEnrollableView(pixels, w, h, view) : ZARN_E_INTERNAL;
        stbi_image_free(pixels);
        EXPECT_EQ(status, ZARN_OK) << path;
        found = cache.emplace(name, std::move(view)).first;
    }
    return found->second;
}

std::vector<std::uint8_t> mergedRecord(const std::vector<std::string>& names,
                                       std::size_t expectedCount) {
    zarn::Enrollment enrollment;
    enrollment.position = 3;
    enrollment.expectedCount = static_cast<std::uint32_t>(names.size());
    for (const std::string& name : names) {
        EXPECT_EQ(zarn::addImage(enrollment, sampleView(name)), ZARN_OK);
    }
    EXPECT_EQ(zarn::mergeEnrollment(enrollment), expectedCount);
    const std::vector<std::uint8_t>* bytes = nullptr;
    EXPECT_EQ(zarn::finaliseEnrollment(enrollment, &bytes), ZARN_OK);
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

FingerView fromRecord(const std::vector<std::uint8_t>& bytes) {
    FingerView view;
    const auto record = zarn::decodeIsoRecord(bytes.data(), bytes.size());
    if (!record || record->views.empty()) {
        ADD_FAILURE() << "record does not decode";
        return view;
    }
    view.imageWidth = record->width;
    view.imageHeight = record->height;
    for (const zarn::IsoMinutia& m : record->views[0].minutiae) {
        zarn::Minutia out;
        out.x = m.x;
        out.y = m.y;
        out.direction = static_cast<float>(m.angle) * 2 * kPi / 256;
        out.type = m.type == 2 ? zarn::MinutiaType::Bifurcation : zarn::MinutiaType::RidgeEnding;
        out.quality = m.quality;
        view.minutiae.push_back(out);
    }
    return view;
}

float hullArea(const FingerView& view) {
    std::vector<zarn::PointF> points;
    for (const zarn::Minutia& m : view.minutiae) {
        points.push_back({m.x, m.y});
    }
    const auto hull = zarn::convexHull(points);
    float area = 0;
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const auto& a = hull[i];
        const auto& b = hull[(i + 1) % hull.size()];
        area += a.x * b.y - a.y * b.x;
    }
    return std::fabs(area) / 2;
}

// Minutiae closer than 6 px that point the same way: what fusing a minutia
// several impressions show without clustering would leave.
int nearTwins(const FingerView& view) {
    int twins = 0;
    for (std::size_t i = 0; i < view.minutiae.size(); ++i) {
        for (std::size_t j = i + 1; j < view.minutiae.size(); ++j) {
            const auto& a = view.minutiae[i];
            const auto& b = view.minutiae[j];
            float gap = std::fmod(std::fabs(a.direction - b.direction), 2 * kPi);
            gap = gap > kPi ? 2 * kPi - gap : gap;
            twins += std::hypot(a.x - b.x, a.y - b.y) < 6 && gap < 0.5f;
        }
    }
    return twins;
}

TEST(MergeSamples, ThreeImpressionsGiveOneViewCoveringMoreThanEach) {
    const std::vector<std::string> names = {"finger1_1", "finger1_2", "finger1_3"};
    const std::vector<std::uint8_t> bytes = mergedRecord(names, 3);
    const auto checked = zarn_test::checkEngineRecord(bytes);
    ASSERT_EQ(checked.views.size(), 1u);
    EXPECT_EQ(checked.views[0].position, 3);
    const FingerView merged = fromRecord(bytes);
    int singleTwins = 0;
    for (const std::string& name : names) {
        const FingerView& single = sampleView(name);
        EXPECT_GE(hullArea(merged), hullArea(single)) << name;
        EXPECT_GE(checked.width, single.imageWidth);
        EXPECT_GE(checked.height, single.imageHeight);
        singleTwins = std::max(singleTwins, nearTwins(single));
    }
    EXPECT_LE(nearTwins(merged), singleTwins);
    // The fused view still is the finger: it matches each impression.
    for (const std::string& name : names) {
        EXPECT_TRUE(zarn::alignViews(merged, sampleView(name)).aligned) << name;
    }
}

TEST(MergeSamples, AnotherFingersImpressionIsLeftOut) {
    const struct {
        std::vector<std::string> names;
    } cases[] = {{{"finger1_1", "finger1_2", "finger2_1"}},
                 {{"finger3_4", "finger2_2", "finger2_3"}},
                 {{"finger3_1", "finger1_4", "finger3_2"}}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> bytes = mergedRecord(c.names, 2);
        EXPECT_EQ(zarn_test::checkEngineRecord(bytes).views.size(), 1u) << c.names[2];
    }
}

TEST(MergeSamples, AnotherOrderGivesTheSameTemplate) {
    const auto firstBytes = mergedRecord({"finger2_1", "finger2_2", "finger2_4"}, 3);
    const auto secondBytes = mergedRecord({"finger2_4", "finger2_1", "finger2_2"}, 3);
    EXPECT_EQ(firstBytes, secondBytes);
    const FingerView first = fromRecord(firstBytes);
    const FingerView second = fromRecord(secondBytes);
    const FingerView other = fromRecord(mergedRecord({"finger3_1", "finger3_2", "finger3_3"}, 3));
    const float same = zarn::matchScore(first, second);
    EXPECT_GT(same, 0.5f);
    EXPECT_GT(same, 10 * zarn::matchScore(first, other));
}

}  // namespace
