// The extraction pipeline: 8-bit grey pixels in, one finger view out.
#pragma once

#include <cstdint>

#include "minutia.h"

namespace zarn {

enum class ExtractStatus { Ok, NoForeground, TooFewMinutiae };

struct ExtractResult {
    ExtractStatus status = ExtractStatus::Ok;
    FingerView view;
};

// pixels: width*height bytes, row-major, top row first, 500 dpi assumed.
// The caller has already checked the size limits.
ExtractResult extractFingerView(const std::uint8_t* pixels, int width, int height);

}  // namespace zarn
