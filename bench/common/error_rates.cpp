#include "error_rates.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zarn::bench {

ErrorRates errorRates(std::vector<float> genuine, std::vector<float> impostor) {
    ErrorRates r{1, 1};
    if (genuine.empty() || impostor.empty())
        return r;
    std::sort(genuine.begin(), genuine.end());
    std::sort(impostor.begin(), impostor.end());
    std::vector<float> thresholds = genuine;
    thresholds.insert(thresholds.end(), impostor.begin(), impostor.end());
    thresholds.push_back(std::numeric_limits<float>::infinity());
    std::sort(thresholds.begin(), thresholds.end());
    double bestGap = 2;
    for (float t : thresholds) {
        const double fnmr =
            static_cast<double>(std::lower_bound(genuine.begin(), genuine.end(), t) -
                                genuine.begin()) /
            static_cast<double>(genuine.size());
        const double fmr =
            static_cast<double>(impostor.end() -
                                std::lower_bound(impostor.begin(), impostor.end(), t)) /
            static_cast<double>(impostor.size());
        if (std::abs(fnmr - fmr) < bestGap) {
            bestGap = std::abs(fnmr - fmr);
            r.eer = (fnmr + fmr) / 2;
        }
        if (fmr <= 0.01)
            r.fnmrAtFmr1 = std::min(r.fnmrAtFmr1, fnmr);
    }
    return r;
}

}  // namespace zarn::bench
