// Writes ground-truth minutiae as text: a header stating the convention, one minutia a line.
#pragma once

#include <ostream>
#include <vector>

#include "minutia.h"

namespace zarn::gen {

// Lines are "x y direction_degrees type quality" with type "ending" or "bifurcation".
void writeTruth(std::ostream& out, const std::vector<Minutia>& minutiae);

}  // namespace zarn::gen
