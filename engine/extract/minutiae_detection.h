// Minutiae on the skeleton: ridge endings and bifurcations by crossing number, each
// traced along its branches to measure its direction and what the branches run into.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image.h"
#include "minutia.h"

namespace zarn {

enum class BranchStop : std::uint8_t { Open, DeadEnd, Junction };

struct Branch {
    float dx = 0, dy = 0;  // from the minutia to the traced point, pixel axes
    int length = 0;        // skeleton steps traced before stopping
    BranchStop stop = BranchStop::Open;
    int endX = 0, endY = 0;  // where the trace stopped
};

struct Candidate {
    int x = 0, y = 0;
    // Sub-pixel move from the skeleton pixel to the reported position.
    float shiftX = 0, shiftY = 0;
    MinutiaType type = MinutiaType::RidgeEnding;
    float angle = 0;  // direction in pixel axes (y down), radians in [0, 2pi)
    int branchCount = 0;
    std::array<Branch, 3> branches;
    // Signs that the minutia may be an artefact although no filter removed it (see
    // removeFalseMinutiae); each one lowers its quality.
    int doubts = 0;
};

// Only skeleton pixels in blocks marked in `usable` are examined; maxSteps bounds every
// trace; directions are measured directionSteps along.
std::vector<Candidate> detectMinutiae(const Image<std::uint8_t>& skeleton,
                                      const Image<std::uint8_t>& usable, int directionSteps,
                                      int maxSteps);

}  // namespace zarn

#include "orientation.h"

namespace zarn {

// Replaces each traced direction by a blend with the smoothed ridge flow at the
// minutia, keeping the trace's sense: the flow is steadier than a short trace, the
// trace knows which way along the flow the minutia points.
void refineDirections(std::vector<Candidate>& candidates, const OrientationField& field);

// Moves each minutia from its skeleton pixel to where the ridge and valley meet: an
// ending's skeleton stops short of the ridge's rounded tip, and a fork's skeleton joint
// lies back towards the stem from the crotch between its branches. Both gaps scale with
// the local ridge period; the move runs along the minutia's final direction.
void placeMinutiae(std::vector<Candidate>& candidates, const Image<float>& period);

}  // namespace zarn
