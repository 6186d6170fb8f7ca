// A drawn fingerprint-like image for tests of the entry points.
#pragma once

#include <cstdint>
#include <vector>

namespace zarn_test {

// Concentric sine ridges (period 9 px, as at 500 dpi) in an elliptic finger
// area on a light background, with gaps cut into several ridges so that there
// are ridge endings to find. shiftX/shiftY move the pattern, to get different
// impressions of the same "finger".
std::vector<std::uint8_t> drawSyntheticFinger(int width, int height, int shiftX = 0,
                                              int shiftY = 0);

}  // namespace zarn_test
