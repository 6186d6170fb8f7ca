// Extracted views of generated fingers, several impressions each, for the merge benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "minutia.h"

namespace zarn::bench {

// fingers x impressions views of side x side prints, every impression hard (strong distortion,
// partial contact, poor skin), or with `mixed` cycling easy, medium, hard. An impression the
// extractor refuses gives an empty view.
std::vector<std::vector<FingerView>> generatedFingerViews(int fingers, int impressions, int side,
                                                          std::uint64_t seed, bool mixed = false);

}  // namespace zarn::bench
