// Local structures: each minutia's nearest neighbours as seen from it, the
// descriptor that proposes alignments, and a cheap bound that rules most
// pairs of minutiae out before they are compared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "minutia.h"

namespace zarn {

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

std::vector<LocalStructure> localStructures(const std::vector<Minutia>& minutiae);
NeighbourReach reachOf(const LocalStructure& s);

// An upper bound on localSimilarity(a, b): only b's neighbours inside a's
// reach can pair with one of a's.
float similarityBound(const NeighbourReach& reachA, std::size_t countA, const LocalStructure& b);

// How well two local structures agree, 0-1: neighbours paired greedily, each
// pairing worth more the closer it fits. Gives up, returning 0, as soon as
// the result can no longer reach `floor`: most pairs of minutiae have
// nothing in common, and only the best few matter.
float localSimilarity(const LocalStructure& a, const LocalStructure& b, float floor = 0);
// The same, bit for bit, without the processor's widest vectors: what
// localSimilarity gives where they are missing.
float localSimilarityPortable(const LocalStructure& a, const LocalStructure& b, float floor = 0);

}  // namespace zarn
