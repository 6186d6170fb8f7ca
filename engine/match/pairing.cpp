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

// The near map reaches this far around each minutia: the tolerance and a
// pixel more, so rounding never clears a cell that holds a partner.
constexpr float kNearReach = kPairDistance + 1;
// Views spread wider than this many near cells get no map.
constexpr long kMaxNearCells = 1L << 20;

int MinutiaGrid::cellOf(float offset) const {
    return static_cast<int>(std::floor(offset / kGridCell));
}

bool MinutiaGrid::mayHavePartner(float x, float y) const {
    if (near.empty()) {
        return true;
    }
    const float u = (x - originX + kNearReach) / kNearCell;
    const float v = (y - originY + kNearReach) / kNearCell;
    if (u >= 0 && v >= 0 && u < static_cast<float>(nearColumns) &&
        v < static_cast<float>(nearRows)) {
        const std::size_t cell =
            static_cast<std::size_t>(static_cast<int>(v) * nearColumns + static_cast<int>(u));
        return (near[cell / 64] >> (cell % 64)) & 1;
    }
    // Off the map no minutia is near; a point that is not a number is left
    // to the full test.
    return std::isnan(u) || std::isnan(v);
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
    const float nearColumns = std::floor((maxX - grid.originX + 2 * kNearReach) / kNearCell) + 1;
    const float nearRows = std::floor((maxY - grid.originY + 2 * kNearReach) / kNearCell) + 1;
    if (nearColumns * nearRows > static_cast<float>(kMaxNearCells)) {
        return grid;
    }
    grid.nearColumns = static_cast<int>(nearColumns);
    grid.nearRows = static_cast<int>(nearRows);
    grid.near.assign((static_cast<std::size_t>(grid.nearColumns * grid.nearRows) + 63) / 64, 0);
    for (const Minutia& m : minutiae) {
        // The cells of every point within kNearReach of m on both axes.
        const int u0 = static_cast<int>((m.x - grid.originX) / kNearCell);
        const int u1 = static_cast<int>((m.x - grid.originX + 2 * kNearReach) / kNearCell);
        const int v0 = static_cast<int>((m.y - grid.originY) / kNearCell);
        const int v1 = static_cast<int>((m.y - grid.originY + 2 * kNearReach) / kNearCell);
        for (int v = v0; v <= std::min(v1, grid.nearRows - 1); ++v) {
            for (int u = u0; u <= std::min(u1, grid.nearColumns - 1); ++u) {
                const std::size_t cell = static_cast<std::size_t>(v * grid.nearColumns + u);
                grid.near[cell / 64] |= std::uint64_t{1} << (cell % 64);
            }
        }
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
        if (!elastic && !grid.mayHavePartner(m.x, m.y)) {
            continue;
        }
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
