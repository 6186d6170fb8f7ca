// Verification error rates from genuine and impostor scores.
#pragma once

#include <vector>

namespace zarn::bench {

struct ErrorRates {
    double eer = 0;         // where false non-matches and false matches are as frequent
    double fnmrAtFmr1 = 0;  // false non-match rate at the lowest threshold with FMR <= 1%
};

// A score at or above the threshold is a match; every score is tried as the threshold.
ErrorRates errorRates(std::vector<float> genuine, std::vector<float> impostor);

}  // namespace zarn::bench
