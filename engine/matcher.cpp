#include "matcher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace zarn {
namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2 * kPi;

// Local structure: each minutia described by its nearest neighbours as seen
// from it (distance, bearing relative to its direction, their direction
// relative to its own), which no rotation or shift changes.
constexpr std::size_t kNeighbours = 8;
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
// Pairing tolerances under a candidate transform, and how far the position
// tolerance widens away from the paired area for elastic distortion.
constexpr float kPairDistance = 9;
constexpr float kPairStretch = 0.05f;
constexpr float kPairDistanceMax = 18;
constexpr float kPairAngle = 0.45f;  // about 26 degrees
constexpr int kRefineRounds = 3;
// Two views are taken to show the same skin from this many pairs and this
// score on; below, different fingers reach it often enough by chance (on
// real prints about 1 in 700 impostor comparisons pass both).
constexpr std::size_t kMinAlignedPairs = 8;
constexpr float kMinAlignedScore = 0.03f;
// Weight of a pair whose neighbourhoods share nothing, against 1 for full agreement.
constexpr float kPairBase = 0.15f;
// Overlap counts below this are treated as this, so two views that share a
// sliver of skin cannot score high on a handful of chance pairs.
constexpr float kMinOverlapCount = 12;
constexpr float kOverlapMargin = 8;

float wrapAngle(float a) {
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

// Absolute difference of two angles in [0, 2pi), in [0, pi].
float angleGap(float a, float b) {
    const float d = std::fabs(a - b);
    return d > kPi ? kTwoPi - d : d;
}

// Direction of the vector (dx, dy) in the record's convention (counter-
// clockwise as seen, y down).
float bearingOf(float dx, float dy) {
    return std::atan2(-dy, dx);
}

struct Neighbour {
    float distance = 0;
    float bearing = 0;  // where the neighbour lies, relative to the minutia's direction
    float turn = 0;     // the neighbour's direction relative to the minutia's
};

struct LocalStructure {
    std::array<Neighbour, kNeighbours> neighbours{};
    std::size_t count = 0;
};

std::vector<LocalStructure> localStructures(const std::vector<Minutia>& minutiae) {
    const std::size_t n = minutiae.size();
    std::vector<LocalStructure> result(n);
    std::vector<std::pair<float, std::size_t>> byDistance;
    for (std::size_t i = 0; i < n; ++i) {
        const Minutia& m = minutiae[i];
        byDistance.clear();
        for (std::size_t j = 0; j < n; ++j) {
            const float dx = minutiae[j].x - m.x, dy = minutiae[j].y - m.y;
            const float d = std::sqrt(dx * dx + dy * dy);
            if (j != i && d >= kMinNeighbourDistance && d <= kMaxNeighbourDistance) {
                byDistance.emplace_back(d, j);
            }
        }
        const std::size_t keep = std::min(kNeighbours, byDistance.size());
        std::partial_sort(byDistance.begin(), byDistance.begin() + keep, byDistance.end());
        LocalStructure& s = result[i];
        s.count = keep;
        for (std::size_t k = 0; k < keep; ++k) {
            const Minutia& o = minutiae[byDistance[k].second];
            s.neighbours[k].distance = byDistance[k].first;
            s.neighbours[k].bearing = wrapAngle(bearingOf(o.x - m.x, o.y - m.y) - m.direction);
            s.neighbours[k].turn = wrapAngle(o.direction - m.direction);
        }
    }
    return result;
}

// How well two local structures agree, 0-1: neighbours paired greedily, each
// pairing worth more the closer it fits.
float localSimilarity(const LocalStructure& a, const LocalStructure& b) {
    if (a.count == 0 || b.count == 0) {
        return 0;
    }
    std::array<bool, kNeighbours> used{};
    float sum = 0;
    for (std::size_t i = 0; i < a.count; ++i) {
        const Neighbour& na = a.neighbours[i];
        float bestFit = 0;
        std::size_t best = kNeighbours;
        for (std::size_t j = 0; j < b.count; ++j) {
            if (used[j]) {
                continue;
            }
            const Neighbour& nb = b.neighbours[j];
            // Neighbours come nearest first: past this one, all are too far.
            if ((1 - kNeighbourDistanceStretch) * nb.distance >
                na.distance + kNeighbourDistanceTolerance) {
                break;
            }
            const float tolerance = kNeighbourDistanceTolerance +
                                    kNeighbourDistanceStretch * std::max(na.distance, nb.distance);
            const float dd = std::fabs(na.distance - nb.distance) / tolerance;
            if (dd > 1) {
                continue;
            }
            const float db = angleGap(na.bearing, nb.bearing) / kNeighbourBearingTolerance;
            const float dt = angleGap(na.turn, nb.turn) / kNeighbourTurnTolerance;
            if (db > 1 || dt > 1) {
                continue;
            }
            const float fit = 1 - (dd + db + dt) / 3;
            if (fit > bestFit) {
                bestFit = fit;
                best = j;
            }
        }
        if (best < kNeighbours) {
            used[best] = true;
            sum += bestFit;
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
Pairing pairMinutiae(const std::vector<Minutia>& moved, const std::vector<Minutia>& to,
                     PointF centre, bool elastic) {
    struct Candidate {
        float cost;
        std::size_t i, k;
    };
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const Minutia& m = moved[i];
        float tolerance = kPairDistance;
        if (elastic) {
            const float r = std::hypot(m.x - centre.x, m.y - centre.y);
            tolerance = std::min(kPairDistanceMax, kPairDistance + kPairStretch * r);
        }
        for (std::size_t k = 0; k < to.size(); ++k) {
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
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.cost != b.cost) {
            return a.cost < b.cost;
        }
        return a.i != b.i ? a.i < b.i : a.k < b.k;
    });
    std::vector<bool> usedFrom(moved.size()), usedTo(to.size());
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
    std::vector<Minutia> moved;
    moved.reserve(minutiae.size());
    for (const Minutia& m : minutiae) {
        moved.push_back(applyTransform(t, m));
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
                                          const std::vector<Minutia>& to, RigidTransform t) {
    Pairing best = pairMinutiae(moveAll(from, t), to, {}, false);
    RigidTransform bestTransform = t;
    for (int round = 0; round < kRefineRounds && best.pairs.size() >= 2; ++round) {
        const RigidTransform fitted = fitTransform(from, to, best.pairs);
        const std::vector<Minutia> moved = moveAll(from, fitted);
        Pairing next = pairMinutiae(moved, to, pairedCentre(to, best), true);
        if (!betterPairing(next, best)) {
            break;
        }
        best = std::move(next);
        bestTransform = fitted;
    }
    return {bestTransform, best};
}

float overlapCount(const std::vector<Minutia>& minutiae, const std::vector<PointF>& hull) {
    float count = 0;
    for (const Minutia& m : minutiae) {
        if (insideHull(hull, {m.x, m.y}, kOverlapMargin)) {
            ++count;
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

ViewAlignment alignViews(const FingerView& from, const FingerView& to) {
    ViewAlignment result;
    const std::vector<Minutia>& a = from.minutiae;
    const std::vector<Minutia>& b = to.minutiae;
    if (a.size() < 2 || b.size() < 2) {
        return result;
    }
    const std::vector<LocalStructure> sa = localStructures(a);
    const std::vector<LocalStructure> sb = localStructures(b);

    struct Seed {
        float similarity;
        std::size_t i, k;
    };
    std::vector<Seed> seeds;
    std::vector<float> similarity(a.size() * b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t k = 0; k < b.size(); ++k) {
            const float s = localSimilarity(sa[i], sb[k]);
            similarity[i * b.size() + k] = s;
            if (s > 0) {
                seeds.push_back({s, i, k});
            }
        }
    }
    const auto bySimilarity = [](const Seed& x, const Seed& y) {
        if (x.similarity != y.similarity) {
            return x.similarity > y.similarity;
        }
        return x.i != y.i ? x.i < y.i : x.k < y.k;
    };
    const std::size_t tested = std::min(kCandidates, seeds.size());
    std::partial_sort(seeds.begin(), seeds.begin() + tested, seeds.end(), bySimilarity);

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
        scored.push_back({pairMinutiae(moveAll(a, t), b, {}, false), t, s});
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
        auto [transform, pairing] = refine(a, b, scored[r].transform);
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
        m += kPairBase + (1 - kPairBase) * similarity[i * b.size() + k];
    }
    const float overlapA = overlapCount(moved, hullOf(b));
    const float overlapB = overlapCount(b, hullOf(moved));
    result.score = std::min(1.0f, m * m / (overlapA * overlapB));
    result.aligned = result.pairs.size() >= kMinAlignedPairs && result.score >= kMinAlignedScore;
    return result;
}

float matchScore(const FingerView& a, const FingerView& b) {
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
