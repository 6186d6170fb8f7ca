// Minutia cylinders: each minutia's neighbourhood as a small bit volume
// (where its neighbours lie and which way they point, in the minutia's own
// frame), compared by counting the bits two cylinders disagree on. Tolerant
// of missing and spurious neighbours and of moderate distortion, after the
// Minutia Cylinder-Code of Cappelli, Ferrara and Maltoni.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "minutia.h"

namespace zarn {

// Spatial cells per side and direction sectors of one cylinder.
constexpr int kCylinderSide = 16;
constexpr int kCylinderSectors = 6;
constexpr std::size_t kCylinderWords = (kCylinderSide * kCylinderSide * kCylinderSectors + 63) / 64;

// Where cell i's centre lies along an axis of the cylinder's frame, and the
// bit of sector k of the cell in column i, row j.
inline float cylinderCellCentre(int i, float radius) {
    return (static_cast<float>(i) + 0.5f) * (2 * radius / kCylinderSide) - radius;
}
inline std::size_t cylinderBit(int i, int j, int k) {
    return static_cast<std::size_t>((j * kCylinderSide + i) * kCylinderSectors + k);
}

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

// A pair of minutiae (i of one view, k of the other) and their cylinders'
// similarity, packed so that plain integer order puts the most similar first,
// then by i, then by k: sorting plain integers is several times faster.
using CylinderPair = std::uint64_t;
constexpr std::size_t kMaxPairedMinutiae = 1 << 16;
inline CylinderPair cylinderPair(float similarity, std::size_t i, std::size_t k) {
    std::uint32_t bits;  // a positive float's bits rise with its value
    std::memcpy(&bits, &similarity, sizeof bits);
    return (std::uint64_t{~bits} << 32) | (std::uint64_t{i} << 16) | k;
}
inline float pairSimilarity(CylinderPair p) {
    const std::uint32_t bits = ~static_cast<std::uint32_t>(p >> 32);
    float similarity;
    std::memcpy(&similarity, &bits, sizeof similarity);
    return similarity;
}
inline std::size_t pairFirst(CylinderPair p) {
    return (p >> 16) & 0xffff;
}
inline std::size_t pairSecond(CylinderPair p) {
    return p & 0xffff;
}

// Every pair of minutiae whose cylinders are alike at all, in order of i,
// then k; `pairs` is reused to spare allocations. Views of more than
// kMaxPairedMinutiae minutiae (no record holds that many) give none.
void similarCylinderPairs(const std::vector<Minutia>& a, const std::vector<Cylinder>& ca,
                          const std::vector<Minutia>& b, const std::vector<Cylinder>& cb,
                          std::vector<CylinderPair>& pairs);

}  // namespace zarn
