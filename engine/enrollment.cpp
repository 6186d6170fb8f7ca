#include "enrollment.h"

#include <algorithm>
#include <utility>

#include "extract.h"
#include "zarn_engine.h"

namespace zarn {

std::size_t enrollmentCapacity(const Enrollment& enrollment) {
    return std::min<std::size_t>(enrollment.expectedCount, ZARN_MAX_ENROLL_IMAGES);
}

std::int32_t checkCanAddImage(const Enrollment& enrollment) {
    if (enrollment.record) {
        return ZARN_E_FINALISED;
    }
    if (enrollment.views.size() >= enrollmentCapacity(enrollment)) {
        return ZARN_E_TOO_MANY_IMAGES;
    }
    return ZARN_OK;
}

std::int32_t addImage(Enrollment& enrollment, FingerView view) {
    const std::int32_t status = checkCanAddImage(enrollment);
    if (status == ZARN_OK) {
        enrollment.views.push_back(std::move(view));
        enrollment.merged.reset();
    }
    return status;
}

std::int32_t extractEnrollableView(const std::uint8_t* pixels, std::int32_t width,
                                   std::int32_t height, FingerView& view) {
    auto sideOk = [](std::int32_t side) {
        return side >= ZARN_MIN_IMAGE_SIDE && side <= ZARN_MAX_IMAGE_SIDE;
    };
    if (!sideOk(width) || !sideOk(height)) {
        return ZARN_E_IMAGE_SIZE;
    }
    ExtractResult result = extractFingerView(pixels, width, height);
    if (result.status == ExtractStatus::NoForeground) {
        return ZARN_E_NO_FOREGROUND;
    }
    // Also enforced here, whatever the extractor's own threshold, because the
    // limit is part of the engine's documented behaviour.
    if (result.status == ExtractStatus::TooFewMinutiae ||
        result.view.minutiae.size() < ZARN_MIN_MINUTIAE) {
        return ZARN_E_TOO_FEW_MINUTIAE;
    }
    // The record describes the image the caller gave, whatever the extractor
    // filled in.
    result.view.imageWidth = width;
    result.view.imageHeight = height;
    view = std::move(result.view);
    return ZARN_OK;
}

IsoRecord buildViewRecord(const FingerView& view, std::uint8_t position) {
    IsoRecord record;
    record.width = static_cast<std::uint16_t>(view.imageWidth);
    record.height = static_cast<std::uint16_t>(view.imageHeight);
    record.views.push_back(toIsoFingerView(view, position, 0));
    return record;
}

IsoRecord buildFingerRecord(const MergedViews& merged, std::uint8_t position) {
    IsoRecord record = buildViewRecord(merged.view, position);
    // View numbers have four bits; an enrollment of more impressions than
    // that keeps the first views, the fused one always among them.
    constexpr std::size_t kMaxViews = 16;
    for (const FingerView& view : merged.otherViews) {
        if (record.views.size() == kMaxViews) {
            break;
        }
        record.views.push_back(
            toIsoFingerView(view, position, static_cast<std::uint8_t>(record.views.size())));
        record.width = std::max(record.width, static_cast<std::uint16_t>(view.imageWidth));
        record.height = std::max(record.height, static_cast<std::uint16_t>(view.imageHeight));
    }
    return record;
}

std::size_t mergeEnrollment(Enrollment& enrollment) {
    if (!enrollment.merged) {
        enrollment.merged = mergeViews(enrollment.views);
    }
    return enrollment.merged->members.size();
}

std::int32_t finaliseEnrollment(Enrollment& enrollment, const std::vector<std::uint8_t>** bytes) {
    if (!enrollment.record) {
        if (enrollment.views.empty()) {
            return ZARN_E_NO_IMAGES;
        }
        if (mergeEnrollment(enrollment) < 2) {
            return ZARN_E_NOT_ALIGNED;
        }
        enrollment.record =
            encodeIsoRecord(buildFingerRecord(*enrollment.merged, enrollment.position));
    }
    *bytes = &*enrollment.record;
    return ZARN_OK;
}

}  // namespace zarn
