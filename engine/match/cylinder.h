// Minutia cylinders: each minutia's neighbourhood as a small bit volume
// (where its neighbours lie and which way they point, in the minutia's own
// frame), compared by counting the bits two cylinders disagree on. Tolerant
// of missing and spurious neighbours and of moderate distortion, after the
// Minutia Cylinder-Code of Cappelli, Ferrara and Maltoni.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "minutia.h"

namespace zarn {

// Spatial cells per side and direction sectors of one cylinder.
constexpr int kCylinderSide = 16;
constexpr int kCylinderSectors = 6;
constexpr std::size_t kCylinderWords = (kCylinderSide * kCylinderSide * kCylinderSectors + 63) / 64;

struct Cylinder {
    std::uint64_t bits[kCylinderWords] = {};
    std::uint64_t valid[kCylinderWords] = {};  // cells inside the print
    bool usable = false;  // enough of it inside the print, and neighbours in it
};

// One cylinder per minutia, in order.
std::vector<Cylinder> minutiaCylinders(const std::vector<Minutia>& minutiae);

// How alike two cylinders are, 0-1, over the cells both see; 0 when too few
// cells are shared or the minutiae point too differently.
float cylinderSimilarity(const Cylinder& a, const Minutia& ma, const Cylinder& b,
                         const Minutia& mb);

// Every pair of minutiae (i of a, k of b) whose cylinders are alike at all,
// in order of i, then k; `pairs` is reused to spare allocations.
struct CylinderPair {
    float similarity;
    std::size_t i, k;
};
void similarCylinderPairs(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                          const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                          std::vector<CylinderPair>& pairs);

}  // namespace zarn
