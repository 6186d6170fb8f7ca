// The pair score: how much of what two views share pairs up under one
// transform, each pair weighted by how well the neighbourhoods agree and how
// reliable its minutiae are.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "local_structure.h"
#include "minutia.h"

namespace zarn {

// 0-1: the weighted pairs squared over the minutiae each view has inside the
// other's area (`moved` is `from` already in `to`'s frame), so a template
// covering more skin is not penalised for its extra area.
float pairScore(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                const std::vector<LocalStructure>& fromStructures,
                const std::vector<LocalStructure>& toStructures,
                const std::vector<std::pair<std::size_t, std::size_t>>& pairs);

}  // namespace zarn
