// Minutia and FingerView: what the extractor finds in one impression.
#pragma once

#include <cstdint>
#include <vector>

namespace zarn {

enum class MinutiaType : std::uint8_t { RidgeEnding = 1, Bifurcation = 2 };

struct Minutia {
    // Position in pixels: origin at the top-left pixel, x to the right, y down.
    float x = 0;
    float y = 0;
    // Direction in radians in [0, 2*pi), counter-clockwise from the positive
    // x axis as seen on the image (so a direction pointing up is pi/2), already
    // following the record format's convention for each minutia type.
    float direction = 0;
    MinutiaType type = MinutiaType::RidgeEnding;
    std::uint8_t quality = 0;  // 0-100, from local clarity
};

// The minutiae of one impression plus what the record needs about it.
struct FingerView {
    int imageWidth = 0;
    int imageHeight = 0;
    std::uint8_t fingerQuality = 0;  // 0-100
    std::vector<Minutia> minutiae;
};

}  // namespace zarn
