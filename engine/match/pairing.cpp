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
// pixel more, so rounding never leaves out a partner.
constexpr float kNearReach = kPairDistance + 1;
// Views spread wider than this many near cells, or listed in more entries
// than 16 bits count, get no map.
constexpr long kMaxNearCells = 1L << 16;

int MinutiaGrid::cellOf(float offset) const {
    return static_cast<int>(std::floor(offset / kGridCell));
}

long MinutiaGrid::nearCellOf(float x, float y) const {
    const float u = (x - originX + kNearReach) / kNearCell;
    const float v = (y - originY + kNearReach) / kNearCell;
    if (nearStart.empty() || std::isnan(u) || std::isnan(v)) {
        return -2;
    }
    if (u >= 0 && v >= 0 && u < static_cast<float>(nearColumns) &&
        v < static_cast<float>(nearRows)) {
        return static_cast<long>(v) * nearColumns + static_cast<long>(u);
    }
    return -1;
}

bool MinutiaGrid::mayHavePartner(float x, float y) const {
    const long cell = nearCellOf(x, y);
    const auto c = static_cast<std::size_t>(cell);
    return cell == -2 || (cell >= 0 && nearStart[c + 1] > nearStart[c]);
}

namespace {

// Each minutia's near cells (those of every point within kNearReach of it on
// both axes) as a range of columns and rows, clipped to the map.
struct NearSpan {
    int u0, u1, v0, v1;
};

NearSpan nearSpan(const MinutiaGrid& grid, const Minutia& m) {
    return {static_cast<int>((m.x - grid.originX) / kNearCell),
            std::min(static_cast<int>((m.x - grid.originX + 2 * kNearReach) / kNearCell),
                     grid.nearColumns - 1),
            static_cast<int>((m.y - grid.originY) / kNearCell),
            std::min(static_cast<int>((m.y - grid.originY + 2 * kNearReach) / kNearCell),
                     grid.nearRows - 1)};
}

void addNearMap(MinutiaGrid& grid, const std::vector<Minutia>& minutiae, float maxX, float maxY) {
    const float columns = std::floor((maxX - grid.originX + 2 * kNearReach) / kNearCell) + 1;
    const float rows = std::floor((maxY - grid.originY + 2 * kNearReach) / kNearCell) + 1;
    if (columns * rows > static_cast<float>(kMaxNearCells) || minutiae.size() > 0xffff) {
        return;
    }
    grid.nearColumns = static_cast<int>(columns);
    grid.nearRows = static_cast<int>(rows);
    const auto cells = static_cast<std::size_t>(grid.nearColumns * grid.nearRows);
    std::vector<std::uint32_t> start(cells + 1, 0);
    const auto forEachCell = [&](const Minutia& m, auto&& visit) {
        const NearSpan span = nearSpan(grid, m);
        for (int v = span.v0; v <= span.v1; ++v) {
            for (int u = span.u0; u <= span.u1; ++u) {
                visit(static_cast<std::size_t>(v * grid.nearColumns + u));
            }
        }
    };
    for (const Minutia& m : minutiae) {
        forEachCell(m, [&](std::size_t cell) { ++start[cell + 1]; });
    }
    for (std::size_t c = 1; c <= cells; ++c) {
        start[c] += start[c - 1];
    }
    if (start[cells] > 0xffff) {
        grid.nearColumns = grid.nearRows = 0;
        return;
    }
    grid.nearStart.assign(start.begin(), start.end());
    grid.nearMembers.resize(start[cells]);
    for (std::size_t k = 0; k < minutiae.size(); ++k) {
        forEachCell(minutiae[k], [&](std::size_t cell) {
            grid.nearMembers[start[cell]++] = static_cast<std::uint16_t>(k);
        });
    }
}

}  // namespace

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
    addNearMap(grid, minutiae, maxX, maxY);
    return grid;
}

namespace {

// The candidate pairing of moved minutia i with to's minutia k, if they are
// within `tolerance` and kPairAngle of each other: packed so that integer
// order is by cost, then i, then k (a cost is never negative, so its bits
// rise with it).
inline void addCandidate(const Minutia& m, std::size_t i, const Minutia& other, std::size_t k,
                         float tolerance, std::vector<std::uint64_t>& candidates) {
    const float dx = std::fabs(other.x - m.x);
    const float dy = std::fabs(other.y - m.y);
    if (dx > tolerance || dy > tolerance) {
        return;
    }
    const float d = std::sqrt(dx * dx + dy * dy) / tolerance;
    const float a = angleGap(m.direction, other.direction) / kPairAngle;
    if (d > 1 || a > 1) {
        return;
    }
    const float cost = (d + a) / 2;
    std::uint32_t bits;
    std::memcpy(&bits, &cost, sizeof bits);
    candidates.push_back((std::uint64_t{bits} << 32) | (std::uint64_t{i} << 16) | k);
}

}  // namespace

Pairing pairMinutiae(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                     const MinutiaGrid& grid, PointF centre, bool elastic) {
    // The space is kept between calls, which an alignment makes many of.
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
        } else {
            // The near map lists every minutia the rigid tolerance can reach.
            const long cell = grid.nearCellOf(m.x, m.y);
            if (cell == -1) {
                continue;
            }
            if (cell >= 0) {
                const auto c = static_cast<std::size_t>(cell);
                for (std::size_t n = grid.nearStart[c]; n < grid.nearStart[c + 1]; ++n) {
                    const std::size_t k = grid.nearMembers[n];
                    addCandidate(m, i, to[k], k, tolerance, candidates);
                }
                continue;
            }
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
                    addCandidate(m, i, to[k], k, tolerance, candidates);
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
                                          RigidTransform t, Pairing pairing) {
    Pairing best = std::move(pairing);
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
