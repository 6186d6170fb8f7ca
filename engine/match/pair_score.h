// The pair score: how much of what two views share pairs up under one
// transform, each pair weighted by how well the neighbourhoods agree and how
// reliable its minutiae are.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "cylinder.h"
#include "local_structure.h"
#include "minutia.h"

namespace zarn {

// What the pair score needs of one view: its minutiae where the other view
// sees them (for `from`, moved into `to`'s frame), as extracted, and their
// two descriptors.
struct ScoredView {
    const std::vector<Minutia>& placed;
    const std::vector<Minutia>& extracted;
    const std::vector<LocalStructure>& structures;
    const std::vector<Cylinder>& cylinders;
};

// 0-1: the weighted pairs squared over the minutiae each view has inside the
// other's area, so a template covering more skin is not penalised for its
// extra area.
float pairScore(const ScoredView& moved, const ScoredView& to,
                const std::vector<std::pair<std::size_t, std::size_t>>& pairs);

}  // namespace zarn
