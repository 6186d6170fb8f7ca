// Impressions of a master: placement, elastic distortion, partial contact, skin condition,
// sensor noise and background, with the ground truth carried along.
#pragma once

#include <cstdint>
#include <vector>

#include "fingergen/master.h"
#include "fingergen/random.h"
#include "image.h"
#include "minutia.h"

namespace zarn::gen {

enum class Difficulty { Easy, Medium, Hard };

struct ImpressionParams {
    // Rigid placement about the contact centre: impression = R(rotation) (master - c) + c + shift.
    float rotation = 0;  // radians, counter-clockwise in image axes (y down)
    float shiftX = 0;
    float shiftY = 0;
    // Elastic distortion: the skin inside the close-contact disc stays put, skin farther out
    // follows a small extra rotation and shift, with a smooth transition of width `brake`.
    float distortRotation = 0;
    float distortShiftX = 0;
    float distortShiftY = 0;
    float closeRadius = 60;
    float brake = 40;
    // Contact area: an ellipse relative to the silhouette, with a ragged edge.
    float contactOffsetX = 0;  // in silhouette half-sizes
    float contactOffsetY = 0;
    float contactScaleX = 1;
    float contactScaleY = 1;
    float edgeRoughness = 0.05f;
    // Skin: > 0 dry (thin ridges, breaks), < 0 wet (thick ridges, merged valleys).
    float dryness = 0;
    float blotchiness = 0.1f;  // amplitude of small-scale breaks or merges
    float pressureVariation = 0.2f;
    float texture = 0.1f;           // uneven inking along ridges, 0..1
    float poreVisibility = 0.2f;    // 0..1
    float creaseVisibility = 0.0f;  // 0..1
    // Sensor.
    float contrast = 180;
    float background = 240;
    float backgroundVariation = 5;
    float blur = 0.6f;
    float noise = 4;
    float dust = 0;  // fraction of pixels hit by dust or dead sensor cells
    // Patches where the print is lost: wet smudges (valleys filled) and dry spots (no ink).
    int wetPatches = 0;
    int dryPatches = 0;
};

struct Impression {
    GrayPlane image;
    GrayPlane contact;  // 255 where the finger touched the sensor, 0 elsewhere
    // Ground truth. Quality is the master's (kSolidQuality or kFragileQuality), or
    // kUnclearQuality where this impression shows too little ridge contrast for anyone to
    // mark the minutia (smudges, dry spots, faint edges).
    std::vector<Minutia> minutiae;
};

constexpr std::uint8_t kUnclearQuality = 20;

// Draws placement, distortion, skin and sensor settings whose strength grows with difficulty.
ImpressionParams drawImpressionParams(Difficulty difficulty, Rng& rng);

// Renders one impression at the master's size. The seed drives the noise fields only, so the
// same parameters and seed give the same image.
Impression makeImpression(const Master& master, const ImpressionParams& params, std::uint64_t seed);

// Where a point of the master lands in the impression (inverts the render mapping).
Point masterToImpression(const Master& master, const ImpressionParams& params, Point m);

// Where an impression pixel comes from on the master (the render mapping).
Point impressionToMaster(const Master& master, const ImpressionParams& params, Point p);

const char* difficultyName(Difficulty difficulty);

}  // namespace zarn::gen
