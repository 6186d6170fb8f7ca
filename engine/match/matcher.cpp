#include "matcher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "angles.h"
#include "relaxation.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn {
namespace {

// Local structures: the nearest neighbours, not too close to be noise.
constexpr float kMinNeighbourDistance = 6;
constexpr float kMaxNeighbourDistance = 160;
// Neighbour agreement tolerances: skin stretches, so distance tolerance grows
// with the distance.
constexpr float kNeighbourDistanceTolerance = 6;
constexpr float kNeighbourDistanceStretch = 0.08f;
constexpr float kNeighbourBearingTolerance = 0.35f;  // about 20 degrees
constexpr float kNeighbourTurnTolerance = 0.52f;     // about 30 degrees

// The best local pairings each propose a transform; these many are tested.
constexpr std::size_t kCandidates = 60;
constexpr std::size_t kRefined = 4;
// A pair of minutiae whose neighbourhoods agree less than this proposes no
// transform: such weak agreement is what any two fingers show, and leaving
// it out spares most of the work of comparing different fingers.
constexpr float kMinSeedSimilarity = 0.2f;
// Pairing tolerances under a candidate transform, and how far the position
// tolerance widens away from the paired area for elastic distortion.
constexpr float kPairDistance = 9;
constexpr float kPairStretch = 0.05f;
constexpr float kPairDistanceMax = 18;
constexpr float kPairAngle = 0.45f;  // about 26 degrees
constexpr int kRefineRounds = 3;
// Two views are taken to show the same skin from this many pairs and this
// score on; below, different fingers reach it often enough by chance (on
// real prints about 1 in 2,000 impostor comparisons pass both).
constexpr std::size_t kMinAlignedPairs = 8;
constexpr float kMinAlignedScore = 0.032f;
// Weight of a pair whose neighbourhoods share nothing, against 1 for full agreement.
constexpr float kPairBase = 0.15f;
// Overlap counts below this are treated as this, so two views that share a
// sliver of skin cannot score high on a handful of chance pairs.
constexpr float kMinOverlapCount = 12;
constexpr float kOverlapMargin = 8;
constexpr float kDoubtfulWeight = 0.3f;
constexpr float kClearQuality = 60;

// The neighbour grid: distance bins, bearing and turn sectors.
constexpr float kCellDistance = 10;
constexpr int kDistanceBins = 17;
constexpr int kBearingBins = 18;
constexpr int kTurnBins = 12;
static_assert(kDistanceBins * kCellDistance > kMaxNeighbourDistance);
static_assert(kDistanceBins * kBearingBins * kTurnBins == kNeighbourCells);

int sectorOf(float angle, int sectors) {
    const int s = static_cast<int>(std::floor(angle / (kTwoPi / static_cast<float>(sectors))));
    return ((s % sectors) + sectors) % sectors;
}

std::uint16_t cellOf(float distance, float bearing, float turn) {
    const int d = std::min(kDistanceBins - 1, static_cast<int>(distance / kCellDistance));
    return static_cast<std::uint16_t>((d * kBearingBins + sectorOf(bearing, kBearingBins)) *
                                          kTurnBins +
                                      sectorOf(turn, kTurnBins));
}

NeighbourReach reachOf(const LocalStructure& s) {
    NeighbourReach reach{};
    // Slightly wider than the tolerances, so rounding never drops a partner.
    constexpr float kSlack = 0.01f;
    for (std::size_t n = 0; n < s.count; ++n) {
        const float distance = s.distance[n], bearing = s.bearing[n], turn = s.turn[n];
        // |d - e| <= tolerance + stretch * max(d, e), solved for e.
        const float nearest =
            (1 - kNeighbourDistanceStretch) * distance - kNeighbourDistanceTolerance - 0.5f;
        const float farthest =
            (distance + kNeighbourDistanceTolerance) / (1 - kNeighbourDistanceStretch) + 0.5f;
        const int d0 = std::max(0, static_cast<int>(std::floor(nearest / kCellDistance)));
        const int d1 =
            std::min(kDistanceBins - 1, static_cast<int>(std::floor(farthest / kCellDistance)));
        const float bearingReach = kNeighbourBearingTolerance + kSlack;
        const float turnReach = kNeighbourTurnTolerance + kSlack;
        const float bearingWidth = kTwoPi / kBearingBins, turnWidth = kTwoPi / kTurnBins;
        const int b0 = static_cast<int>(std::floor((bearing - bearingReach) / bearingWidth));
        const int b1 = static_cast<int>(std::floor((bearing + bearingReach) / bearingWidth));
        const int t0 = static_cast<int>(std::floor((turn - turnReach) / turnWidth));
        const int t1 = static_cast<int>(std::floor((turn + turnReach) / turnWidth));
        for (int d = d0; d <= d1; ++d) {
            for (int b = b0; b <= b1; ++b) {
                const int bearing = ((b % kBearingBins) + kBearingBins) % kBearingBins;
                for (int t = t0; t <= t1; ++t) {
                    const int turn = ((t % kTurnBins) + kTurnBins) % kTurnBins;
                    const std::size_t cell =
                        static_cast<std::size_t>((d * kBearingBins + bearing) * kTurnBins + turn);
                    reach[cell / 64] |= std::uint64_t{1} << (cell % 64);
                }
            }
        }
    }
    return reach;
}

// An upper bound on localSimilarity(a, b): only b's neighbours inside a's
// reach can pair with one of a's.
float similarityBound(const NeighbourReach& reachA, std::size_t countA, const LocalStructure& b) {
    std::size_t hits = 0;
    for (std::size_t n = 0; n < b.count; ++n) {
        hits += (reachA[b.cells[n] / 64] >> (b.cells[n] % 64)) & 1;
    }
    return 2 * static_cast<float>(std::min(hits, countA)) / static_cast<float>(countA + b.count);
}

std::vector<LocalStructure> localStructures(const std::vector<Minutia>& minutiae) {
    const std::size_t n = minutiae.size();
    std::vector<LocalStructure> result(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Minutia& m = minutiae[i];
        // The kNeighbours nearest so far, nearest first; of two at the same
        // distance the earlier minutia comes first.
        std::array<float, kNeighbours> nearest{};
        std::array<std::size_t, kNeighbours> which{};
        std::size_t kept = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const float dx = minutiae[j].x - m.x, dy = minutiae[j].y - m.y;
            const float squared = dx * dx + dy * dy;
            // Clearly farther than the farthest kept: no square root needed
            // (the margin covers its rounding).
            const float farthest =
                kept == kNeighbours ? nearest[kNeighbours - 1] : kMaxNeighbourDistance;
            if (squared > farthest * farthest * 1.0001f) {
                continue;
            }
            const float d = std::sqrt(squared);
            if (j == i || d < kMinNeighbourDistance || d > kMaxNeighbourDistance ||
                (kept == kNeighbours && d >= nearest[kNeighbours - 1])) {
                continue;
            }
            std::size_t slot = std::min(kept, kNeighbours - 1);
            while (slot > 0 && nearest[slot - 1] > d) {
                nearest[slot] = nearest[slot - 1];
                which[slot] = which[slot - 1];
                --slot;
            }
            nearest[slot] = d;
            which[slot] = j;
            kept = std::min(kept + 1, kNeighbours);
        }
        LocalStructure& s = result[i];
        s.count = kept;
        for (std::size_t k = 0; k < kept; ++k) {
            const Minutia& o = minutiae[which[k]];
            s.distance[k] = nearest[k];
            s.bearing[k] = wrapAngle(bearingOf(o.x - m.x, o.y - m.y) - m.direction);
            s.turn[k] = wrapAngle(o.direction - m.direction);
            s.cells[k] = cellOf(s.distance[k], s.bearing[k], s.turn[k]);
        }
    }
    return result;
}

#if defined(__SSE2__)
// |a - b| folded into [0, pi], four lanes at a time.
__m128 angleGaps(__m128 a, __m128 b) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 d = _mm_and_ps(_mm_sub_ps(a, b), magnitude);
    const __m128 folded = _mm_sub_ps(_mm_set1_ps(kTwoPi), d);
    const __m128 wide = _mm_cmpgt_ps(d, _mm_set1_ps(kPi));
    return _mm_or_ps(_mm_and_ps(wide, folded), _mm_andnot_ps(wide, d));
}
#endif

// How well one neighbour (distance, bearing, turn) fits each of b's: 0 where
// it does not fit or b's is taken (free 0), else 1 less the mean of the
// three gaps relative to their tolerances. The same arithmetic on both paths.
std::array<float, kNeighbours> neighbourFits(float distance, float bearing, float turn,
                                             const LocalStructure& b,
                                             const std::array<float, kNeighbours>& free) {
    std::array<float, kNeighbours> fit;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 one = _mm_set1_ps(1);
    for (std::size_t j = 0; j < kNeighbours; j += 4) {
        const __m128 otherDistance = _mm_loadu_ps(&b.distance[j]);
        const __m128 tolerance =
            _mm_add_ps(_mm_set1_ps(kNeighbourDistanceTolerance),
                       _mm_mul_ps(_mm_set1_ps(kNeighbourDistanceStretch),
                                  _mm_max_ps(otherDistance, _mm_set1_ps(distance))));
        const __m128 dd = _mm_div_ps(
            _mm_and_ps(_mm_sub_ps(_mm_set1_ps(distance), otherDistance), magnitude), tolerance);
        const __m128 db = _mm_div_ps(angleGaps(_mm_set1_ps(bearing), _mm_loadu_ps(&b.bearing[j])),
                                     _mm_set1_ps(kNeighbourBearingTolerance));
        const __m128 dt = _mm_div_ps(angleGaps(_mm_set1_ps(turn), _mm_loadu_ps(&b.turn[j])),
                                     _mm_set1_ps(kNeighbourTurnTolerance));
        const __m128 fits = _mm_and_ps(_mm_and_ps(_mm_cmple_ps(dd, one), _mm_cmple_ps(db, one)),
                                       _mm_cmple_ps(dt, one));
        const __m128 value =
            _mm_sub_ps(one, _mm_div_ps(_mm_add_ps(_mm_add_ps(dd, db), dt), _mm_set1_ps(3)));
        _mm_storeu_ps(&fit[j], _mm_and_ps(fits, _mm_mul_ps(_mm_loadu_ps(&free[j]), value)));
    }
#else
    for (std::size_t j = 0; j < kNeighbours; ++j) {
        const float tolerance = kNeighbourDistanceTolerance +
                                kNeighbourDistanceStretch * std::max(b.distance[j], distance);
        const float dd = std::fabs(distance - b.distance[j]) / tolerance;
        const float db = angleGap(bearing, b.bearing[j]) / kNeighbourBearingTolerance;
        const float dt = angleGap(turn, b.turn[j]) / kNeighbourTurnTolerance;
        const bool fits = dd <= 1 && db <= 1 && dt <= 1;
        fit[j] = fits ? free[j] * (1 - (dd + db + dt) / 3) : 0;
    }
#endif
    return fit;
}

// How well two local structures agree, 0-1: neighbours paired greedily, each
// pairing worth more the closer it fits. Gives up, returning 0, as soon as
// the result can no longer reach `floor`: most pairs of minutiae have
// nothing in common, and only the best few matter.
float localSimilarity(const LocalStructure& a, const LocalStructure& b, float floor = 0) {
    if (a.count == 0 || b.count == 0) {
        return 0;
    }
    // Each further pairing adds at most 1 to the sum; the margin keeps a
    // rounding difference from dropping a structure that just reaches floor.
    const float sumNeeded = floor * static_cast<float>(a.count + b.count) / 2 - 1e-4f;
    // 1 where b's neighbour is still free; the unused slots past b.count hold
    // a distance no neighbour can fit.
    std::array<float, kNeighbours> free;
    free.fill(1);
    std::size_t matched = 0;
    float sum = 0;
    for (std::size_t i = 0; i < a.count; ++i) {
        const std::size_t left = std::min(a.count - i, b.count - matched);
        if (sum + static_cast<float>(left) < sumNeeded) {
            return 0;
        }
        const float distance = a.distance[i], bearing = a.bearing[i], turn = a.turn[i];
        const std::array<float, kNeighbours> fit = neighbourFits(distance, bearing, turn, b, free);
        float bestFit = 0;
        std::size_t best = kNeighbours;
        for (std::size_t j = 0; j < kNeighbours; ++j) {
            if (fit[j] > bestFit) {
                bestFit = fit[j];
                best = j;
            }
        }
        if (best < kNeighbours) {
            free[best] = 0;
            sum += bestFit;
            ++matched;
        }
    }
    return 2 * sum / static_cast<float>(a.count + b.count);
}

RigidTransform transformFromPair(const Minutia& from, const Minutia& to) {
    RigidTransform t;
    t.angle = wrapAngle(to.direction - from.direction);
    const PointF rotated = applyTransform(t, PointF{from.x, from.y});
    t.tx = to.x - rotated.x;
    t.ty = to.y - rotated.y;
    return t;
}

// The rigid transform that best maps the paired `from` points onto `to` in
// the least-squares sense.
RigidTransform fitTransform(const std::vector<Minutia>& from, const std::vector<Minutia>& to,
                            const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
    double fx = 0, fy = 0, gx = 0, gy = 0;
    for (const auto& [i, k] : pairs) {
        fx += from[i].x;
        fy += from[i].y;
        gx += to[k].x;
        gy += to[k].y;
    }
    const double n = static_cast<double>(pairs.size());
    fx /= n;
    fy /= n;
    gx /= n;
    gy /= n;
    // With x' = c x + s y, y' = -s x + c y the best angle maximises
    // c * sum(p.q) + s * sum(qx py - qy px).
    double dot = 0, cross = 0;
    for (const auto& [i, k] : pairs) {
        const double px = from[i].x - fx, py = from[i].y - fy;
        const double qx = to[k].x - gx, qy = to[k].y - gy;
        dot += px * qx + py * qy;
        cross += qx * py - qy * px;
    }
    RigidTransform t;
    t.angle = wrapAngle(static_cast<float>(std::atan2(cross, dot)));
    const PointF rotated =
        applyTransform(t, PointF{static_cast<float>(fx), static_cast<float>(fy)});
    t.tx = static_cast<float>(gx) - rotated.x;
    t.ty = static_cast<float>(gy) - rotated.y;
    return t;
}

struct Pairing {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    float fit = 0;  // summed closeness of the pairs, to break ties between equal counts
};

// Pairs `moved` (already in `to`'s frame) with `to` one-to-one, closest first.
// Around `centre` the position tolerance is kPairDistance; it widens with the
// distance from there when `elastic` is set.
Pairing pairMinutiae(const std::vector<Minutia>& moved, const PreparedView& target, PointF centre,
                     bool elastic) {
    struct Candidate {
        float cost;
        std::size_t i, k;
    };
    const std::vector<Minutia>& to = target.minutiae;
    const MinutiaGrid& grid = target.grid;
    std::vector<Candidate> candidates;
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
                    candidates.push_back({(d + a) / 2, i, k});
                }
            }
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.cost != b.cost) {
            return a.cost < b.cost;
        }
        return a.i != b.i ? a.i < b.i : a.k < b.k;
    });
    std::vector<std::uint8_t> usedFrom(moved.size()), usedTo(to.size());
    Pairing result;
    for (const Candidate& c : candidates) {
        if (!usedFrom[c.i] && !usedTo[c.k]) {
            usedFrom[c.i] = usedTo[c.k] = true;
            result.pairs.emplace_back(c.i, c.k);
            result.fit += 1 - c.cost;
        }
    }
    return result;
}

std::vector<Minutia> moveAll(const std::vector<Minutia>& minutiae, const RigidTransform& t) {
    // The same arithmetic as applyTransform, with the rotation computed once.
    const float c = std::cos(t.angle);
    const float s = std::sin(t.angle);
    std::vector<Minutia> moved(minutiae);
    for (Minutia& m : moved) {
        const float x = m.x, y = m.y;
        m.x = c * x + s * y + t.tx;
        m.y = -s * x + c * y + t.ty;
        m.direction = wrapAngle(m.direction + t.angle);
    }
    return moved;
}

PointF pairedCentre(const std::vector<Minutia>& to, const Pairing& pairing) {
    PointF c;
    for (const auto& pair : pairing.pairs) {
        c.x += to[pair.second].x;
        c.y += to[pair.second].y;
    }
    const float n = static_cast<float>(std::max<std::size_t>(1, pairing.pairs.size()));
    return {c.x / n, c.y / n};
}

bool betterPairing(const Pairing& a, const Pairing& b) {
    if (a.pairs.size() != b.pairs.size()) {
        return a.pairs.size() > b.pairs.size();
    }
    return a.fit > b.fit;
}

// Starting from a candidate transform: refit to the pairs it finds, widen the
// tolerance for distortion, and repeat while the pairing improves.
std::pair<RigidTransform, Pairing> refine(const std::vector<Minutia>& from,
                                          const PreparedView& target, RigidTransform t) {
    const std::vector<Minutia>& to = target.minutiae;
    Pairing best = pairMinutiae(moveAll(from, t), target, {}, false);
    RigidTransform bestTransform = t;
    for (int round = 0; round < kRefineRounds && best.pairs.size() >= 2; ++round) {
        const RigidTransform fitted = fitTransform(from, to, best.pairs);
        const std::vector<Minutia> moved = moveAll(from, fitted);
        Pairing next = pairMinutiae(moved, target, pairedCentre(to, best), true);
        if (!betterPairing(next, best)) {
            break;
        }
        best = std::move(next);
        bestTransform = fitted;
    }
    return {bestTransform, best};
}

// How much a minutia counts in a score: one from a clear ridge area fully, a
// doubtful one less, since it is as likely to be missing from the other view
// as to be paired.
float reliability(const Minutia& m) {
    return kDoubtfulWeight +
           (1 - kDoubtfulWeight) * std::min(1.0f, static_cast<float>(m.quality) / kClearQuality);
}

float overlapCount(const std::vector<Minutia>& minutiae, const std::vector<PointF>& hull) {
    float count = 0;
    for (const Minutia& m : minutiae) {
        if (insideHull(hull, {m.x, m.y}, kOverlapMargin)) {
            count += reliability(m);
        }
    }
    return std::max(count, kMinOverlapCount);
}

std::vector<PointF> hullOf(const std::vector<Minutia>& minutiae) {
    std::vector<PointF> points;
    points.reserve(minutiae.size());
    for (const Minutia& m : minutiae) {
        points.push_back({m.x, m.y});
    }
    return convexHull(std::move(points));
}

}  // namespace

PointF applyTransform(const RigidTransform& t, PointF p) {
    const float c = std::cos(t.angle);
    const float s = std::sin(t.angle);
    return {c * p.x + s * p.y + t.tx, -s * p.x + c * p.y + t.ty};
}

Minutia applyTransform(const RigidTransform& t, const Minutia& m) {
    Minutia moved = m;
    const PointF p = applyTransform(t, PointF{m.x, m.y});
    moved.x = p.x;
    moved.y = p.y;
    moved.direction = wrapAngle(m.direction + t.angle);
    return moved;
}

RigidTransform composeTransforms(const RigidTransform& outer, const RigidTransform& inner) {
    RigidTransform t;
    t.angle = wrapAngle(outer.angle + inner.angle);
    const PointF shift = applyTransform(outer, PointF{inner.tx, inner.ty});
    t.tx = shift.x;
    t.ty = shift.y;
    return t;
}

RigidTransform invertTransform(const RigidTransform& t) {
    RigidTransform inverse;
    inverse.angle = wrapAngle(-t.angle);
    const PointF shift = applyTransform(inverse, PointF{t.tx, t.ty});
    inverse.tx = -shift.x;
    inverse.ty = -shift.y;
    return inverse;
}

void addNeighbourReach(PreparedView& view) {
    view.reach.clear();
    for (const LocalStructure& structure : view.structures) {
        view.reach.push_back(reachOf(structure));
    }
}

int MinutiaGrid::cellOf(float offset) const {
    return static_cast<int>(std::floor(offset / kGridCell));
}

PreparedView prepareView(const FingerView& view) {
    PreparedView prepared;
    prepared.minutiae = view.minutiae;
    prepared.structures = localStructures(view.minutiae);
    prepared.cylinders = minutiaCylinders(view.minutiae);
    MinutiaGrid& grid = prepared.grid;
    if (view.minutiae.empty()) {
        return prepared;
    }
    float maxX = view.minutiae[0].x, maxY = view.minutiae[0].y;
    grid.originX = maxX;
    grid.originY = maxY;
    for (const Minutia& m : view.minutiae) {
        grid.originX = std::min(grid.originX, m.x);
        grid.originY = std::min(grid.originY, m.y);
        maxX = std::max(maxX, m.x);
        maxY = std::max(maxY, m.y);
    }
    grid.columns = grid.cellOf(maxX - grid.originX) + 1;
    grid.rows = grid.cellOf(maxY - grid.originY) + 1;
    std::vector<std::size_t> cells(view.minutiae.size());
    grid.cellStart.assign(static_cast<std::size_t>(grid.columns * grid.rows) + 1, 0);
    for (std::size_t k = 0; k < view.minutiae.size(); ++k) {
        const Minutia& m = view.minutiae[k];
        cells[k] = static_cast<std::size_t>(grid.cellOf(m.y - grid.originY) * grid.columns +
                                            grid.cellOf(m.x - grid.originX));
        ++grid.cellStart[cells[k] + 1];
    }
    for (std::size_t c = 1; c < grid.cellStart.size(); ++c) {
        grid.cellStart[c] += grid.cellStart[c - 1];
    }
    grid.members.resize(view.minutiae.size());
    std::vector<std::size_t> filled(grid.cellStart.begin(), grid.cellStart.end() - 1);
    for (std::size_t k = 0; k < view.minutiae.size(); ++k) {
        grid.members[filled[cells[k]]++] = k;
    }
    return prepared;
}

ViewAlignment alignViews(const FingerView& from, const FingerView& to) {
    return alignViews(prepareView(from), prepareView(to));
}

ViewAlignment alignViews(const PreparedView& from, const PreparedView& to) {
    ViewAlignment result;
    const std::vector<Minutia>& a = from.minutiae;
    const std::vector<Minutia>& b = to.minutiae;
    if (a.size() < 2 || b.size() < 2) {
        return result;
    }
    const std::vector<LocalStructure>& sa = from.structures;
    const std::vector<LocalStructure>& sb = to.structures;

    struct Seed {
        float similarity;
        std::size_t i, k;
    };
    const auto bySimilarity = [](const Seed& x, const Seed& y) {
        if (x.similarity != y.similarity) {
            return x.similarity > y.similarity;
        }
        return x.i != y.i ? x.i < y.i : x.k < y.k;
    };
    // The kCandidates most similar pairs, kept in a heap whose top is the
    // weakest of them, so a pair that cannot beat it is abandoned early.
    std::vector<NeighbourReach> ownReach;
    if (from.reach.size() != a.size()) {
        ownReach.reserve(a.size());
        for (const LocalStructure& structure : sa) {
            ownReach.push_back(reachOf(structure));
        }
    }
    const std::vector<NeighbourReach>& reach = ownReach.empty() ? from.reach : ownReach;
    std::vector<Seed> seeds;
    seeds.reserve(kCandidates + 1);
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t k = 0; k < b.size(); ++k) {
            const float floor =
                seeds.size() < kCandidates ? kMinSeedSimilarity : seeds.front().similarity;
            if (similarityBound(reach[i], sa[i].count, sb[k]) < floor - 1e-4f) {
                continue;
            }
            const float s = localSimilarity(sa[i], sb[k], floor);
            if (s <= kMinSeedSimilarity) {
                continue;
            }
            const Seed seed{s, i, k};
            if (seeds.size() < kCandidates) {
                seeds.push_back(seed);
                std::push_heap(seeds.begin(), seeds.end(), bySimilarity);
            } else if (bySimilarity(seed, seeds.front())) {
                std::pop_heap(seeds.begin(), seeds.end(), bySimilarity);
                seeds.back() = seed;
                std::push_heap(seeds.begin(), seeds.end(), bySimilarity);
            }
        }
    }
    std::sort_heap(seeds.begin(), seeds.end(), bySimilarity);
    const std::size_t tested = seeds.size();

    // Consensus: each seed's transform is scored by the rigid pairs it gets;
    // the few best are refined with the elastic tolerance.
    struct Scored {
        Pairing pairing;
        RigidTransform transform;
        std::size_t order;
    };
    std::vector<Scored> scored;
    for (std::size_t s = 0; s < tested; ++s) {
        const RigidTransform t = transformFromPair(a[seeds[s].i], b[seeds[s].k]);
        scored.push_back({pairMinutiae(moveAll(a, t), to, {}, false), t, s});
    }
    const std::size_t refined = std::min(kRefined, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + refined, scored.end(),
                      [](const Scored& x, const Scored& y) {
                          if (x.pairing.pairs.size() != y.pairing.pairs.size() ||
                              x.pairing.fit != y.pairing.fit) {
                              return betterPairing(x.pairing, y.pairing);
                          }
                          return x.order < y.order;
                      });
    Pairing best;
    for (std::size_t r = 0; r < refined; ++r) {
        auto [transform, pairing] = refine(a, to, scored[r].transform);
        if (r == 0 || betterPairing(pairing, best)) {
            best = std::move(pairing);
            result.transform = transform;
        }
    }
    result.pairs = std::move(best.pairs);
    // Score against the minutiae each view has inside the other's area.
    const std::vector<Minutia> moved = moveAll(a, result.transform);
    // A pair counts more when the neighbourhoods agree too, which chance
    // pairs between different fingers rarely do.
    float m = 0;
    for (const auto& [i, k] : result.pairs) {
        m += (kPairBase + (1 - kPairBase) * localSimilarity(sa[i], sb[k])) *
             std::sqrt(reliability(a[i]) * reliability(b[k]));
    }
    const float overlapA = overlapCount(moved, hullOf(b));
    const float overlapB = overlapCount(b, hullOf(moved));
    result.pairScore = std::min(1.0f, m * m / (overlapA * overlapB));
    // The pairing under one transform suffers where the skin stretched; the
    // cylinders' verdict, which needs no transform, does not. Both must
    // agree for a high score, which chance agreement of either alone cannot
    // give.
    result.score =
        std::sqrt(result.pairScore * relaxedCylinderScore(a, from.cylinders, b, to.cylinders));
    result.aligned =
        result.pairs.size() >= kMinAlignedPairs && result.pairScore >= kMinAlignedScore;
    return result;
}

float matchScore(const FingerView& a, const FingerView& b) {
    return alignViews(a, b).score;
}

float matchScore(const PreparedView& a, const PreparedView& b) {
    return alignViews(a, b).score;
}

std::vector<PointF> convexHull(std::vector<PointF> points) {
    std::sort(points.begin(), points.end(),
              [](const PointF& p, const PointF& q) { return p.x != q.x ? p.x < q.x : p.y < q.y; });
    points.erase(
        std::unique(points.begin(), points.end(),
                    [](const PointF& p, const PointF& q) { return p.x == q.x && p.y == q.y; }),
        points.end());
    if (points.size() < 3) {
        return points;
    }
    const auto cross = [](const PointF& o, const PointF& p, const PointF& q) {
        return (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x);
    };
    // Monotone chain; in y-down image axes a negative cross product is a
    // counter-clockwise turn as seen, so those are the turns kept.
    std::vector<PointF> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) >= 0) {
            --k;
        }
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) >= 0) {
            --k;
        }
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

bool insideHull(const std::vector<PointF>& hull, PointF p, float margin) {
    if (hull.empty()) {
        return false;
    }
    if (hull.size() < 3) {
        float x0 = hull[0].x, x1 = hull[0].x, y0 = hull[0].y, y1 = hull[0].y;
        for (const PointF& q : hull) {
            x0 = std::min(x0, q.x);
            x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y);
            y1 = std::max(y1, q.y);
        }
        return p.x >= x0 - margin && p.x <= x1 + margin && p.y >= y0 - margin && p.y <= y1 + margin;
    }
    // Counter-clockwise as seen means the inside lies where the cross product
    // of an edge with the point is negative.
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const PointF& a = hull[i];
        const PointF& b = hull[(i + 1) % hull.size()];
        const float ex = b.x - a.x, ey = b.y - a.y;
        const float length = std::hypot(ex, ey);
        if (length == 0) {
            continue;
        }
        const float outward = (ex * (p.y - a.y) - ey * (p.x - a.x)) / length;
        if (outward > margin) {
            return false;
        }
    }
    return true;
}

}  // namespace zarn
