#include "merge.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "matcher.h"

namespace zarn {
namespace {

// Minutiae of different impressions closer than this (after alignment) and
// pointing the same way are taken for the same minutia.
constexpr float kClusterDistance = 13;
constexpr float kClusterAngle = 0.6f;  // about 35 degrees
// Clusters closer than this are one minutia split in two.
constexpr float kTwinDistance = 7;
// A minutia's place counts as covered by an impression within this distance
// of the hull of that impression's minutiae.
constexpr float kCoverMargin = 4;
// A minutia only one impression covers is kept from this quality on, and one
// that one of two covering impressions shows from kHalfQuality on.
constexpr int kLoneQuality = 20;
constexpr int kHalfQuality = 50;
// Each further impression that shows a minutia raises its quality this much.
constexpr int kSupportBonus = 10;
constexpr std::size_t kMaxMergedMinutiae = 128;
// Record coordinates have 14 bits.
constexpr int kMaxCoordinate = (1 << 14) - 1;

constexpr float kPi = 3.14159265358979f;

float angleGap(float a, float b) {
    float d = std::fmod(std::fabs(a - b), 2 * kPi);
    return d > kPi ? 2 * kPi - d : d;
}

// A fingerprint of a view's content, so the views can be put in an order
// that does not depend on the order they were given in.
std::uint64_t contentKey(const FingerView& view) {
    std::uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            h = (h ^ bytes[i]) * 1099511628211ull;
        }
    };
    mix(&view.imageWidth, sizeof view.imageWidth);
    mix(&view.imageHeight, sizeof view.imageHeight);
    for (const Minutia& m : view.minutiae) {
        const float values[] = {m.x, m.y, m.direction};
        mix(values, sizeof values);
        const std::uint8_t tags[] = {static_cast<std::uint8_t>(m.type), m.quality};
        mix(tags, sizeof tags);
    }
    return h;
}

struct Edge {
    std::size_t weight = 0;    // paired minutiae when aligned, else 0
    RigidTransform transform;  // from the row's view into the column's view
};

struct Cluster {
    float sumX = 0, sumY = 0, sumCos = 0, sumSin = 0;
    int qualitySum = 0;
    int endings = 0, bifurcations = 0;
    MinutiaType firstType = MinutiaType::RidgeEnding;
    std::vector<std::size_t> members;  // ranks of the impressions that show it

    float x() const { return sumX / static_cast<float>(members.size()); }
    float y() const { return sumY / static_cast<float>(members.size()); }
    float direction() const {
        const float a = std::atan2(sumSin, sumCos);
        return a < 0 ? a + 2 * kPi : a;
    }
};

struct Placed {
    Minutia minutia;
    std::size_t rank;   // of the impression it comes from
    std::size_t index;  // within that impression
};

struct Fused {
    Minutia minutia;
    std::size_t support;
};

}  // namespace

MergedViews mergeViews(const std::vector<FingerView>& views) {
    MergedViews result;
    const std::size_t n = views.size();
    if (n == 0) {
        return result;
    }
    // Work in content order: rank r is views[order[r]].
    std::vector<std::uint64_t> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        keys[i] = contentKey(views[i]);
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    std::vector<Edge> edges(n * n);
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t s = r + 1; s < n; ++s) {
            const ViewAlignment a = alignViews(views[order[r]], views[order[s]]);
            if (!a.aligned) {
                continue;
            }
            edges[r * n + s] = {a.pairs.size(), a.transform};
            edges[s * n + r] = {a.pairs.size(), invertTransform(a.transform)};
        }
    }

    // The reference agrees best with the others overall.
    std::size_t reference = 0;
    std::size_t bestTotal = 0;
    for (std::size_t r = 0; r < n; ++r) {
        std::size_t total = 0;
        for (std::size_t s = 0; s < n; ++s) {
            total += edges[r * n + s].weight;
        }
        if (total > bestTotal) {
            bestTotal = total;
            reference = r;
        }
    }

    // Grow a maximum spanning tree from the reference: each impression joins
    // through its strongest alignment to one already placed, so one that
    // overlaps only another member still finds its place.
    std::vector<RigidTransform> toReference(n);
    std::vector<bool> placed(n, false);
    std::vector<std::size_t> memberRanks = {reference};
    placed[reference] = true;
    for (;;) {
        std::size_t bestWeight = 0, joiner = n, via = n;
        for (std::size_t s = 0; s < n; ++s) {
            if (placed[s]) {
                continue;
            }
            for (std::size_t r : memberRanks) {
                if (edges[s * n + r].weight > bestWeight) {
                    bestWeight = edges[s * n + r].weight;
                    joiner = s;
                    via = r;
                }
            }
        }
        if (joiner == n) {
            break;
        }
        toReference[joiner] =
            composeTransforms(toReference[via], edges[joiner * n + via].transform);
        placed[joiner] = true;
        memberRanks.push_back(joiner);
    }
    result.members.push_back(order[reference]);
    std::vector<std::size_t> others;
    for (std::size_t r : memberRanks) {
        if (r != reference) {
            others.push_back(order[r]);
        }
    }
    std::sort(others.begin(), others.end());
    result.members.insert(result.members.end(), others.begin(), others.end());
    if (memberRanks.size() < 2) {
        return result;
    }

    // Every member's minutiae and covered area in the reference frame.
    std::vector<Placed> all;
    std::vector<std::vector<PointF>> hulls(n);
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    int qualitySum = 0;
    for (std::size_t r : memberRanks) {
        const FingerView& view = views[order[r]];
        std::vector<PointF> points;
        for (std::size_t i = 0; i < view.minutiae.size(); ++i) {
            const Minutia m = applyTransform(toReference[r], view.minutiae[i]);
            all.push_back({m, r, i});
            points.push_back({m.x, m.y});
        }
        hulls[r] = convexHull(std::move(points));
        const float w = static_cast<float>(view.imageWidth);
        const float h = static_cast<float>(view.imageHeight);
        for (const PointF corner : {PointF{0, 0}, PointF{w, 0}, PointF{0, h}, PointF{w, h}}) {
            const PointF c = applyTransform(toReference[r], corner);
            minX = std::min(minX, c.x);
            minY = std::min(minY, c.y);
            maxX = std::max(maxX, c.x);
            maxY = std::max(maxY, c.y);
        }
        qualitySum += view.fingerQuality;
    }

    // Cluster: strongest minutiae first, each joining the nearest matching
    // cluster that has nothing yet from its impression.
    std::sort(all.begin(), all.end(), [](const Placed& a, const Placed& b) {
        if (a.minutia.quality != b.minutia.quality) {
            return a.minutia.quality > b.minutia.quality;
        }
        return a.rank != b.rank ? a.rank < b.rank : a.index < b.index;
    });
    std::vector<Cluster> clusters;
    for (const Placed& p : all) {
        const Minutia& m = p.minutia;
        Cluster* target = nullptr;
        float bestCost = 2;
        for (Cluster& c : clusters) {
            if (std::find(c.members.begin(), c.members.end(), p.rank) != c.members.end()) {
                continue;
            }
            const float d = std::hypot(c.x() - m.x, c.y() - m.y) / kClusterDistance;
            const float a = angleGap(c.direction(), m.direction) / kClusterAngle;
            if (d <= 1 && a <= 1 && d + a < bestCost) {
                bestCost = d + a;
                target = &c;
            }
        }
        if (target == nullptr) {
            clusters.emplace_back();
            target = &clusters.back();
            target->firstType = m.type;
        }
        target->sumX += m.x;
        target->sumY += m.y;
        target->sumCos += std::cos(m.direction);
        target->sumSin += std::sin(m.direction);
        target->qualitySum += m.quality;
        (m.type == MinutiaType::Bifurcation ? target->bifurcations : target->endings) += 1;
        target->members.push_back(p.rank);
    }

    // Two clusters this close that point the same way are one minutia split
    // between them (an impression that showed it twice, or distortion moving
    // it between clusters): join them when no impression shows both, else
    // keep the better supported one.
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        Cluster& a = clusters[i];
        for (std::size_t j = i + 1; j < clusters.size() && !a.members.empty(); ++j) {
            Cluster& b = clusters[j];
            if (b.members.empty() || std::hypot(a.x() - b.x(), a.y() - b.y()) >= kTwinDistance ||
                angleGap(a.direction(), b.direction()) > kClusterAngle) {
                continue;
            }
            bool shared = false;
            for (std::size_t r : b.members) {
                shared |= std::find(a.members.begin(), a.members.end(), r) != a.members.end();
            }
            Cluster& keep = b.members.size() > a.members.size() ? b : a;
            Cluster& drop = &keep == &a ? b : a;
            if (!shared) {
                keep.sumX += drop.sumX;
                keep.sumY += drop.sumY;
                keep.sumCos += drop.sumCos;
                keep.sumSin += drop.sumSin;
                keep.qualitySum += drop.qualitySum;
                keep.endings += drop.endings;
                keep.bifurcations += drop.bifurcations;
                keep.members.insert(keep.members.end(), drop.members.begin(), drop.members.end());
            }
            drop.members.clear();
        }
    }

    // Keep what enough of the covering impressions agree on; where only one
    // impression covers the place, keep its reliable minutiae.
    std::vector<Fused> kept;
    for (const Cluster& c : clusters) {
        const std::size_t support = c.members.size();
        if (support == 0) {
            continue;
        }
        std::size_t covering = 0;
        for (std::size_t r : memberRanks) {
            if (insideHull(hulls[r], {c.x(), c.y()}, kCoverMargin)) {
                ++covering;
            }
        }
        covering = std::max(covering, support);
        const int meanQuality = c.qualitySum / static_cast<int>(support);
        // At least half of the impressions that cover the place must show it;
        // shown by one alone it must be clear, clearer still when another
        // impression covers the place and missed it.
        const int needed = covering == 1 ? kLoneQuality : kHalfQuality;
        if (2 * support < covering || (support == 1 && meanQuality < needed)) {
            continue;
        }
        Fused f;
        f.support = support;
        f.minutia.x = c.x();
        f.minutia.y = c.y();
        f.minutia.direction = c.direction();
        f.minutia.type =
            c.endings != c.bifurcations
                ? (c.endings > c.bifurcations ? MinutiaType::RidgeEnding : MinutiaType::Bifurcation)
                : c.firstType;
        f.minutia.quality = static_cast<std::uint8_t>(
            std::min(100, meanQuality + kSupportBonus * static_cast<int>(support - 1)));
        kept.push_back(f);
    }
    std::sort(kept.begin(), kept.end(), [](const Fused& a, const Fused& b) {
        if (a.support != b.support) {
            return a.support > b.support;
        }
        if (a.minutia.quality != b.minutia.quality) {
            return a.minutia.quality > b.minutia.quality;
        }
        return a.minutia.y != b.minutia.y ? a.minutia.y < b.minutia.y : a.minutia.x < b.minutia.x;
    });

    // The union of the aligned images, shifted so nothing is negative.
    const float shiftX = -std::floor(minX);
    const float shiftY = -std::floor(minY);
    FingerView& out = result.view;
    out.imageWidth = std::min(kMaxCoordinate, static_cast<int>(std::ceil(maxX + shiftX)));
    out.imageHeight = std::min(kMaxCoordinate, static_cast<int>(std::ceil(maxY + shiftY)));
    out.fingerQuality =
        static_cast<std::uint8_t>((qualitySum + static_cast<int>(memberRanks.size()) / 2) /
                                  static_cast<int>(memberRanks.size()));
    for (const Fused& f : kept) {
        if (out.minutiae.size() == kMaxMergedMinutiae) {
            break;
        }
        Minutia m = f.minutia;
        m.x += shiftX;
        m.y += shiftY;
        if (m.x >= 0 && m.y >= 0 && m.x <= static_cast<float>(out.imageWidth - 1) &&
            m.y <= static_cast<float>(out.imageHeight - 1)) {
            out.minutiae.push_back(m);
        }
    }
    return result;
}

}  // namespace zarn
