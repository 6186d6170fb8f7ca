// The global shape of a master print: class, singular points, orientation, ridge period and
// the fingertip silhouette.
#pragma once

#include <vector>

#include "fingergen/random.h"
#include "image.h"

namespace zarn::gen {

enum class PatternClass { Arch, LeftLoop, RightLoop, Whorl };

struct Point {
    float x = 0;
    float y = 0;
};

// Fingertip outline: upper half an ellipse, lower half squarer, as a pressed fingertip is.
struct Silhouette {
    float cx = 0;
    float cy = 0;
    float halfWidth = 0;
    float halfHeight = 0;
};

struct Pattern {
    PatternClass cls = PatternClass::Arch;
    Silhouette silhouette;
    std::vector<Point> cores;
    std::vector<Point> deltas;
    float baseAngle = 0;  // small rotation of the whole pattern (radians)
    float archStrength = 0;
    float basePeriod = 9;
};

// Draws a plausible pattern of the given class for a canvas of width x height.
Pattern drawPattern(PatternClass cls, int width, int height, Rng& rng);

// Draws a class with roughly natural frequencies (loops most, then whorls, then arches).
PatternClass drawClass(Rng& rng);

// Ridge orientation (radians, modulo pi, image axes: x right, y down) at every pixel, from the
// zero-pole model of the singular points plus an arch term and a smooth random perturbation.
FloatPlane orientationField(const Pattern& pattern, int width, int height, Rng& rng);

// Ridge period in pixels at every pixel: the pattern's base period, denser towards the tip,
// with a smooth random variation; always within [6.5, 11.5].
FloatPlane periodField(const Pattern& pattern, int width, int height, Rng& rng);

// Signed inside-ness of the silhouette: > 0 inside, about the normalised distance to the edge.
float silhouetteValue(const Silhouette& s, float x, float y);

}  // namespace zarn::gen
