// Quality: per minutia from the clarity of the ridges around it, per view from the
// clarity and size of the foreground, and the choice of the minutiae to keep.
#pragma once

#include <cstdint>
#include <vector>

#include "minutia.h"
#include "minutiae_detection.h"
#include "normalization.h"
#include "orientation.h"
#include "segmentation.h"

namespace zarn {

// Ridge clarity per block, 0 to 1: orientation coherence, grey contrast and how strongly
// the oriented filters responded (`response`, from the enhancement).
Image<float> ridgeClarity(const ForegroundMask& mask, const OrientationField& field,
                          const BlockStats& stats, const Image<float>& response);

// 1-100 from the clarity around the minutia and its distance to the foreground border,
// lowered for each doubt the filters left on it.
std::uint8_t minutiaQuality(const Candidate& m, const ForegroundMask& mask,
                            const Image<float>& clarity);

// The candidates as minutiae in the record's terms (directions counter-clockwise as
// seen), each with its quality.
std::vector<Minutia> rateMinutiae(const std::vector<Candidate>& candidates,
                                  const ForegroundMask& mask, const Image<float>& clarity);

// How many minutiae are clear enough to rely on.
int countReliable(const std::vector<Minutia>& minutiae);

// 0-100 from the mean clarity of the foreground and how much foreground there is.
std::uint8_t fingerQuality(const ForegroundMask& mask, const Image<float>& clarity);

// The best `limit` minutiae by quality; ties broken by position then type so the
// choice never depends on the order of the input.
std::vector<Minutia> keepBest(std::vector<Minutia> minutiae, int limit);

}  // namespace zarn
