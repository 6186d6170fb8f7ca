// Pairing minutiae one-to-one once one view is moved into the other's
// frame, and refining a candidate transform on the pairs it finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "minutia.h"
#include "transform.h"

namespace zarn {

// The minutiae bucketed into square cells (kGridCell pixels), so pairing
// looks only at the cells around a point: members[cellStart[c]..cellStart[c+1])
// are the minutiae of cell c, row by row.
constexpr float kGridCell = 24;
constexpr float kNearCell = 6;
struct MinutiaGrid {
    float originX = 0;
    float originY = 0;
    int columns = 0;
    int rows = 0;
    std::vector<std::size_t> cellStart;
    std::vector<std::size_t> members;
    int cellOf(float offset) const;
    // A finer map, kNearCell-pixel cells, listing for each cell the minutiae
    // within the rigid pairing tolerance (and a pixel more) of some point of
    // it on both axes: nearMembers[nearStart[c]..nearStart[c+1]). Most points
    // a candidate transform moves have none, and the rest only a few, so a
    // rigid pairing looks at these alone. Empty (nothing ruled out) for views
    // too widely spread to map cheaply.
    int nearColumns = 0;
    int nearRows = 0;
    std::vector<std::uint16_t> nearStart;
    std::vector<std::uint16_t> nearMembers;
    // The map's cell of a point, or -1 off the map; -2 where there is no map
    // or the point is not a number.
    long nearCellOf(float x, float y) const;
    // False only where no minutia lies within kPairDistance on either axis.
    bool mayHavePartner(float x, float y) const;
};

MinutiaGrid minutiaGrid(const std::vector<Minutia>& minutiae);

struct Pairing {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    float fit = 0;  // summed closeness of the pairs, to break ties between equal counts
};

// Pairs `moved` (already in `to`'s frame) with `to` one-to-one, closest first.
// Around `centre` the position tolerance is kPairDistance; it widens with the
// distance from there when `elastic` is set.
Pairing pairMinutiae(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                     const MinutiaGrid& grid, PointF centre, bool elastic);

// More pairs, or as many fitting more closely.
bool betterPairing(const Pairing& a, const Pairing& b);

// Starting from a candidate transform: refit to the pairs it finds, widen the
// tolerance for distortion, and repeat while the pairing improves.
// `pairing` is what the rigid pairing under t finds.
std::pair<RigidTransform, Pairing> refine(const std::vector<Minutia>& from,
                                          const std::vector<Minutia>& to, const MinutiaGrid& grid,
                                          RigidTransform t, Pairing pairing);

}  // namespace zarn
