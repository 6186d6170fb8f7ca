// Pairs extracted minutiae with ground truth: one-to-one, greedy by distance.
#pragma once

#include <vector>

#include "minutia.h"

namespace zarn::bench {

struct Pair {
    int truth = 0;
    int found = 0;
    float distance = 0;
    float angleError = 0;  // radians in [0, pi]
};

// Angular difference of two directions in radians, in [0, pi].
float angleDifference(float a, float b);

// Pairs closer than maxDistance pixels whose directions differ by at most maxAngle radians
// (pass pi or more to ignore direction); each minutia is used at most once, nearest pairs first.
std::vector<Pair> matchMinutiae(const std::vector<Minutia>& truth,
                                const std::vector<Minutia>& found, float maxDistance,
                                float maxAngle);

}  // namespace zarn::bench
