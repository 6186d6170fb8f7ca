// Access to the intermediate images of the extraction, for tools that save them.
// The normal entry point never fills these.
#pragma once

#include <cstdint>

#include "extract.h"
#include "image.h"

namespace zarn {

// Each stage as an 8-bit picture of the input's size.
struct ExtractStages {
    GrayPlane normalized;   // local contrast normalisation, ridges bright
    GrayPlane mask;         // foreground blocks
    GrayPlane orientation;  // ridge direction, 0-179 degrees mapped to 0-255
    GrayPlane period;       // ridge period, 0-20 pixels mapped to 0-255
    GrayPlane enhanced;     // after the oriented filters
    GrayPlane binary;       // ridges 255
    GrayPlane skeleton;     // skeleton 255
};

// As extractFingerView, also filling `stages` when it is not null.
ExtractResult extractFingerViewDebug(const std::uint8_t* pixels, int width, int height,
                                     ExtractStages* stages);

}  // namespace zarn
