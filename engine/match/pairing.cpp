#include "pairing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "angles.h"
#include "match_tuning.h"

namespace zarn {
namespace {

PointF pairedCentre(const std::vector<Minutia>& to, const Pairing& pairing) {
    PointF c;
    for (const auto& pair : pairing.pairs) {
        c.x += to[pair.second].x;
        c.y += to[pair.second].y;
    }
    const float n = static_cast<float>(std::max<std::size_t>(1, pairing.pairs.size()));
    return {c.x / n, c.y / n};
}

}  // namespace

int MinutiaGrid::cellOf(float offset) const {
    return static_cast<int>(std::floor(offset / kGridCell));
}

MinutiaGrid minutiaGrid(const std::vector<Minutia>& minutiae) {
    MinutiaGrid grid;
    if (minutiae.empty()) {
        return grid;
    }
    float maxX = minutiae[0].x, maxY = minutiae[0].y;
    grid.originX = maxX;
    grid.originY = maxY;
    for (const Minutia& m : minutiae) {
        grid.originX = std::min(grid.originX, m.x);
        grid.originY = std::min(grid.originY, m.y);
        maxX = std::max(maxX, m.x);
        maxY = std::max(maxY, m.y);
    }
    grid.columns = grid.cellOf(maxX - grid.originX) + 1;
    grid.rows = grid.cellOf(maxY - grid.originY) + 1;
    std::vector<std::size_t> cells(minutiae.size());
    grid.cellStart.assign(static_cast<std::size_t>(grid.columns * grid.rows) + 1, 0);
    for (std::size_t k = 0; k < minutiae.size(); ++k) {
        const Minutia& m = minutiae[k];
        cells[k] = static_cast<std::size_t>(grid.cellOf(m.y - grid.originY) * grid.columns +
                                            grid.cellOf(m.x - grid.originX));
        ++grid.cellStart[cells[k] + 1];
    }
    for (std::size_t c = 1; c < grid.cellStart.size(); ++c) {
        grid.cellStart[c] += grid.cellStart[c - 1];
    }
    grid.members.resize(minutiae.size());
    std::vector<std::size_t> filled(grid.cellStart.begin(), grid.cellStart.end() - 1);
    for (std::size_t k = 0; k < minutiae.size(); ++k) {
        grid.members[filled[cells[k]]++] = k;
    }
    return grid;
}

Pairing pairMinutiae(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                     const MinutiaGrid& grid, PointF centre, bool elastic) {
    // Candidates packed so that integer order is by cost, then i, then k
    // (a cost is never negative, so its bits rise with it); the space is kept
    // between calls, which an alignment makes many of.
    thread_local std::vector<std::uint64_t> candidates;
    thread_local std::vector<std::uint8_t> usedFrom, usedTo;
    candidates.clear();
    if (moved.size() > 0xffff || to.size() > 0xffff) {
        return {};
    }
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const Minutia& m = moved[i];
        float tolerance = kPairDistance;
        if (elastic) {
            const float r = std::hypot(m.x - centre.x, m.y - centre.y);
            tolerance = std::min(kPairDistanceMax, kPairDistance + kPairStretch * r);
        }
        // Only the grid cells within the tolerance can hold a partner.
        const int col0 = std::max(0, grid.cellOf(m.x - tolerance - grid.originX));
        const int col1 = std::min(grid.columns - 1, grid.cellOf(m.x + tolerance - grid.originX));
        const int row0 = std::max(0, grid.cellOf(m.y - tolerance - grid.originY));
        const int row1 = std::min(grid.rows - 1, grid.cellOf(m.y + tolerance - grid.originY));
        for (int row = row0; row <= row1; ++row) {
            for (int col = col0; col <= col1; ++col) {
                const std::size_t cell = static_cast<std::size_t>(row * grid.columns + col);
                for (std::size_t n = grid.cellStart[cell]; n < grid.cellStart[cell + 1]; ++n) {
                    const std::size_t k = grid.members[n];
                    const float dx = std::fabs(to[k].x - m.x);
                    const float dy = std::fabs(to[k].y - m.y);
                    if (dx > tolerance || dy > tolerance) {
                        continue;
                    }
                    const float d = std::sqrt(dx * dx + dy * dy) / tolerance;
                    const float a = angleGap(m.direction, to[k].direction) / kPairAngle;
                    if (d > 1 || a > 1) {
                        continue;
                    }
                    const float cost = (d + a) / 2;
                    std::uint32_t bits;
                    std::memcpy(&bits, &cost, sizeof bits);
                    candidates.push_back((std::uint64_t{bits} << 32) | (std::uint64_t{i} << 16) |
                                         k);
                }
            }
        }
    }
    std::sort(candidates.begin(), candidates.end());
    usedFrom.assign(moved.size(), 0);
    usedTo.assign(to.size(), 0);
    Pairing result;
    for (const std::uint64_t c : candidates) {
        const std::size_t i = (c >> 16) & 0xffff, k = c & 0xffff;
        if (!usedFrom[i] && !usedTo[k]) {
            usedFrom[i] = usedTo[k] = 1;
            const auto bits = static_cast<std::uint32_t>(c >> 32);
            float cost;
            std::memcpy(&cost, &bits, sizeof cost);
            result.pairs.emplace_back(i, k);
            result.fit += 1 - cost;
        }
    }
    return result;
}

bool betterPairing(const Pairing& a, const Pairing& b) {
    if (a.pairs.size() != b.pairs.size()) {
        return a.pairs.size() > b.pairs.size();
    }
    return a.fit > b.fit;
}

std::pair<RigidTransform, Pairing> refine(const std::vector<Minutia>& from,
                                          const std::vector<Minutia>& to, const MinutiaGrid& grid,
                                          RigidTransform t) {
    Pairing best = pairMinutiae(moveAll(from, t), to, grid, {}, false);
    RigidTransform bestTransform = t;
    for (int round = 0; round < kRefineRounds && best.pairs.size() >= 2; ++round) {
        const RigidTransform fitted = fitTransform(from, to, best.pairs);
        const std::vector<Minutia> moved = moveAll(from, fitted);
        Pairing next = pairMinutiae(moved, to, grid, pairedCentre(to, best), true);
        if (!betterPairing(next, best)) {
            break;
        }
        best = std::move(next);
        bestTransform = fitted;
    }
    return {bestTransform, best};
}

}  // namespace zarn
