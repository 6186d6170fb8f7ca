// Access to the intermediate images of the extraction, for tools that save them.
// The normal entry point never fills these.
#pragma once

#include <cstdint>
#include <vector>

#include "extract.h"
#include "image.h"
#include "minutiae_detection.h"
#include "minutiae_filter.h"

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
    GrayPlane clarity;      // local ridge clarity, 0-1 mapped to 0-255

    // What the minutiae went through, so a tool can tell where one was lost: every
    // candidate on the final skeleton with the filters' verdict, and the candidates the
    // skeleton had before spur pruning.
    std::vector<Candidate> candidates;
    std::vector<DropReason> dropReasons;
    std::vector<Candidate> unprunedCandidates;
};

// As extractFingerView, also filling `stages` when it is not null.
ExtractResult extractFingerViewDebug(const std::uint8_t* pixels, int width, int height,
                                     ExtractStages* stages);

}  // namespace zarn
