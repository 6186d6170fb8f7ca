// Angle arithmetic shared by the matcher and the merge: directions in
// radians in [0, 2pi), counter-clockwise as seen on the image.
#pragma once

#include <cmath>

namespace zarn {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2 * kPi;

// The angle brought into [0, 2pi).
inline float wrapAngle(float a) {
    // Sums and differences of two wrapped angles need at most one turn added
    // or taken away, which gives fmod's result exactly.
    if (a >= 0 && a < kTwoPi) {
        return a;
    }
    if (a >= kTwoPi && a < 2 * kTwoPi) {
        return a - kTwoPi;
    }
    if (a < 0 && a > -kTwoPi) {
        return a + kTwoPi;
    }
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

// The angle brought into [-pi, pi).
inline float signedAngle(float a) {
    const float w = wrapAngle(a);
    return w >= kPi ? w - kTwoPi : w;
}

// Absolute difference of two angles in [0, 2pi), in [0, pi].
inline float angleGap(float a, float b) {
    const float d = std::fabs(a - b);
    return d > kPi ? kTwoPi - d : d;
}

// Direction of the vector (dx, dy) in the record's convention (counter-
// clockwise as seen, y down).
inline float bearingOf(float dx, float dy) {
    return std::atan2(-dy, dx);
}

}  // namespace zarn
