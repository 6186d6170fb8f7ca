// Worse copies of a real impression, the skin and sensor conditions an extractor must
// survive: dark (wet or pressed, ridges merged), dry (ridges broken), faint, noisy, on a
// grainy background, scaled and cropped. Deterministic for a given seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "real_sets.h"

namespace zarn::bench {

struct Degradation {
    std::string name;
    GreyImage (*apply)(const GreyImage& image, std::uint32_t seed);
};

// Every degradation, in the order the benchmark reports them.
const std::vector<Degradation>& degradations();

}  // namespace zarn::bench
