// Minutia matching: aligns two finger views by their local minutia structures
// and scores how well they agree once aligned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "cylinder.h"
#include "minutia.h"

namespace zarn {

// A rotation about the origin followed by a shift, in image coordinates
// (y down). A direction turns by `angle` (counter-clockwise as seen).
struct RigidTransform {
    float angle = 0;
    float tx = 0;
    float ty = 0;
};

struct PointF {
    float x = 0;
    float y = 0;
};

PointF applyTransform(const RigidTransform& t, PointF p);
Minutia applyTransform(const RigidTransform& t, const Minutia& m);
// outer after inner.
RigidTransform composeTransforms(const RigidTransform& outer, const RigidTransform& inner);
RigidTransform invertTransform(const RigidTransform& t);

// Where two views agree: the transform taking `from` into `to`'s frame and
// the minutiae paired under it (index into from, index into to).
struct ViewAlignment {
    bool aligned = false;
    RigidTransform transform;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    // How well the minutiae pair up under the transform, 0-1: what decides
    // whether the alignment is firm enough to place one view in the other.
    float pairScore = 0;
    float score = 0;  // 0-1, see matchScore
};

// One minutia's nearest neighbours as seen from it, nearest first: their
// distance, where they lie relative to its direction (bearing) and their
// direction relative to its own (turn), which no rotation or shift changes.
// Slots past `count` hold a distance no neighbour can match.
constexpr std::size_t kNeighbours = 8;
constexpr float kNoNeighbour = 1e9f;
struct LocalStructure {
    std::array<float, kNeighbours> distance;
    std::array<float, kNeighbours> bearing{};
    std::array<float, kNeighbours> turn{};
    // Each neighbour's cell in a coarse (distance, bearing, turn) grid.
    std::array<std::uint16_t, kNeighbours> cells{};
    std::size_t count = 0;
    LocalStructure() { distance.fill(kNoNeighbour); }
};

// For each minutia, the grid cells a neighbour of another view's minutia may
// lie in to agree with one of its own neighbours: a bound, found with a few
// bit tests, that rules out most pairs of minutiae before they are compared.
constexpr std::size_t kNeighbourCells = 17 * 18 * 12;
using NeighbourReach = std::array<std::uint64_t, (kNeighbourCells + 63) / 64>;

// The minutiae bucketed into square cells (kGridCell pixels), so pairing
// looks only at the cells around a point: members[cellStart[c]..cellStart[c+1])
// are the minutiae of cell c, row by row.
constexpr float kGridCell = 24;
struct MinutiaGrid {
    float originX = 0;
    float originY = 0;
    int columns = 0;
    int rows = 0;
    std::vector<std::size_t> cellStart;
    std::vector<std::size_t> members;
    int cellOf(float offset) const;
};

// A view made ready for many comparisons: what the matcher derives from it
// alone, computed once.
struct PreparedView {
    std::vector<Minutia> minutiae;
    std::vector<LocalStructure> structures;
    std::vector<Cylinder> cylinders;
    MinutiaGrid grid;
    // Filled by addNeighbourReach, for a view compared as `from` many times;
    // otherwise each alignment works it out itself.
    std::vector<NeighbourReach> reach;
};
PreparedView prepareView(const FingerView& view);
void addNeighbourReach(PreparedView& view);

// Finds the rigid transform most minutiae agree on, with a tolerance that
// grows away from the paired area for elastic skin distortion. `aligned` when
// enough minutiae pair up, and the pair score is high enough, to rule out a
// chance agreement between different fingers.
ViewAlignment alignViews(const FingerView& from, const FingerView& to);
ViewAlignment alignViews(const PreparedView& from, const PreparedView& to);

// Similarity of two views, 0 (nothing in common) to 1: the geometric mean of
// the pair score (the paired minutiae, each weighted by how well their
// neighbourhoods agree, relative to the minutiae each view has where the
// other one also sees the finger, so a template covering more skin is not
// penalised for its extra area) and the relaxed cylinder score (relaxation.h).
float matchScore(const FingerView& a, const FingerView& b);
float matchScore(const PreparedView& a, const PreparedView& b);

// The convex hull of a set of points, counter-clockwise as seen on the image;
// the area a view's minutiae cover.
std::vector<PointF> convexHull(std::vector<PointF> points);

// Whether p lies inside the hull or within `margin` pixels of it (a negative
// margin asks for that far inside). Fewer than three hull points: within
// margin of the points' bounding box.
bool insideHull(const std::vector<PointF>& hull, PointF p, float margin);

}  // namespace zarn
