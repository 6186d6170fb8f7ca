// One enrollment: the images accepted so far and the template built from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "iso19794.h"
#include "merge.h"
#include "minutia.h"

namespace zarn {

struct Enrollment {
    std::uint8_t position = 0;        // finger position, 0-10
    std::uint32_t expectedCount = 0;  // images announced at the start
    // The accepted impressions as extracted, so a later merge can align and
    // fuse them instead of listing them side by side.
    std::vector<FingerView> views;
    // The alignment and fusion of the views, computed once when the count is
    // asked for (or at finalisation) and dropped when a view is added.
    std::optional<MergedViews> merged;
    // Built by the first finalisation and never rebuilt, so the size call and
    // the buffer call of the template always see the same bytes.
    std::optional<std::vector<std::uint8_t>> record;
};

// How many images the enrollment takes at most: what was announced, capped by
// ZARN_MAX_ENROLL_IMAGES.
std::size_t enrollmentCapacity(const Enrollment& enrollment);

// ZARN_OK when one more image may be added; otherwise why not
// (ZARN_E_FINALISED, ZARN_E_TOO_MANY_IMAGES).
std::int32_t checkCanAddImage(const Enrollment& enrollment);

// Adds an accepted view; same refusals as checkCanAddImage.
std::int32_t addImage(Enrollment& enrollment, FingerView view);

// Checks the image size and extracts one view that is good enough to enrol:
// ZARN_OK, ZARN_E_IMAGE_SIZE, ZARN_E_NO_FOREGROUND or ZARN_E_TOO_FEW_MINUTIAE.
// pixels must not be null.
std::int32_t extractEnrollableView(const std::uint8_t* pixels, std::int32_t width,
                                   std::int32_t height, FingerView& view);

// A record of one finger view with the view's own image size.
IsoRecord buildViewRecord(const FingerView& view, std::uint8_t position);

// The record of an enrolled finger: the fused view first, then the accepted
// impressions kept apart from it, each a view of its own.
IsoRecord buildFingerRecord(const MergedViews& merged, std::uint8_t position);

// Aligns and fuses the accepted views unless that is already done; returns
// how many impressions belong to the finger (0 or 1 when none match).
std::size_t mergeEnrollment(Enrollment& enrollment);

// Builds the template on the first call and returns the same bytes on every
// later one: ZARN_OK with *bytes set, ZARN_E_NO_IMAGES, or ZARN_E_NOT_ALIGNED
// when fewer than two impressions match.
std::int32_t finaliseEnrollment(Enrollment& enrollment, const std::vector<std::uint8_t>** bytes);

}  // namespace zarn
