// The cylinders' verdict on two views: the most alike minutia pairs,
// weighed by how well the pairs agree with one another's geometry.
#pragma once

#include <vector>

#include "cylinder.h"
#include "minutia.h"

namespace zarn {

// 0 (nothing in common) to 1. The most similar pairs, one-to-one, each
// gain or lose weight over a few rounds by how well their distances and
// angles to the other pairs agree in both views (relaxation); the pairs
// that kept the most of their weight decide, averaged. Depends on no
// global alignment, so elastic distortion costs it little.
// With a floor, the score when it reaches the floor; otherwise it may be an
// upper bound of the score below the floor, found without the relaxation.
float relaxedCylinderScore(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                           const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                           float floor = 0);

}  // namespace zarn
