// A master print: the whole fingertip's ridge pattern and its ground-truth minutiae.
#pragma once

#include <cstdint>
#include <vector>

#include "fingergen/pattern.h"
#include "fingergen/ridges.h"
#include "image.h"
#include "minutia.h"

namespace zarn::gen {

struct MasterOptions {
    int width = 400;
    int height = 400;
    PatternClass cls = PatternClass::RightLoop;
    RidgeGrowth growth;
};

struct Master {
    Pattern pattern;
    FloatPlane ridges;              // > 0 on ridges, smooth profile in [-1, 1]
    FloatPlane period;              // local ridge period in pixels
    FloatPlane inside;              // distance to the silhouette edge in pixels (0 outside)
    FloatPlane pores;               // 0..1, sweat pores on the ridges
    FloatPlane creases;             // 0..1, skin creases (white lines crossing the ridges)
    std::vector<Minutia> minutiae;  // ground truth, record convention
};

// Minutiae closer than this to the silhouette edge are not ground truth: the edge cuts ridges.
constexpr float kSilhouetteMargin = 14.0f;

// Ground-truth quality: 100 for a minutia that survives moderate thinning and thickening of
// the ridges; kFragileQuality for one that appears or vanishes with skin condition (two ridges
// nearly touching), which an impression may or may not show.
constexpr std::uint8_t kSolidQuality = 100;
constexpr std::uint8_t kFragileQuality = 40;

Master makeMaster(const MasterOptions& options, std::uint64_t seed);

// Renders the master alone as an ideal grey image (dark ridges on white), to look at by eye.
GrayPlane renderMaster(const Master& master);

}  // namespace zarn::gen
