#include "calibration.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace zarn {

namespace {

struct CalibrationPoint {
    float similarity;
    double log10Fmr;  // of the impostor comparisons reaching `similarity`
};

// Measured by bench/match/calibrate.py (see there for the prints used); the
// last point, at similarity 1, continues the measured tail.
constexpr CalibrationPoint kImpostorTail[] = {
#include "impostor_tail.inc"
};

}  // namespace

double calibratedScore(float similarity) {
    const auto* begin = std::begin(kImpostorTail);
    const auto* end = std::end(kImpostorTail);
    if (similarity <= begin->similarity) {
        return 0;
    }
    const auto* upper =
        std::upper_bound(begin, end, similarity,
                         [](float s, const CalibrationPoint& p) { return s < p.similarity; });
    if (upper == end) {
        return std::clamp(-10 * (end - 1)->log10Fmr, 0.0, kMaxScore);
    }
    // Linear in log FMR between two measured points.
    const CalibrationPoint& a = *(upper - 1);
    const CalibrationPoint& b = *upper;
    const double t = (similarity - a.similarity) / (b.similarity - a.similarity);
    const double log10Fmr = a.log10Fmr + t * (b.log10Fmr - a.log10Fmr);
    return std::clamp(-10 * log10Fmr, 0.0, kMaxScore);
}

float similarityAtRate(double fmr) {
    const double wanted = std::log10(fmr);
    const auto* begin = std::begin(kImpostorTail);
    const auto* end = std::end(kImpostorTail);
    for (const auto* p = begin + 1; p != end; ++p) {
        if (p->log10Fmr <= wanted) {
            const CalibrationPoint& a = *(p - 1);
            const double t = (wanted - a.log10Fmr) / (p->log10Fmr - a.log10Fmr);
            return static_cast<float>(a.similarity + t * (p->similarity - a.similarity));
        }
    }
    return (end - 1)->similarity;
}

double scoreThreshold(double fmr) {
    return -10 * std::log10(fmr);
}

}  // namespace zarn
