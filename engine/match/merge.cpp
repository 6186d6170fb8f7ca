#include "merge.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <utility>

#include "angles.h"
#include "calibration.h"
#include "match_tuning.h"
#include "matcher.h"

namespace zarn {
namespace {

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
    std::size_t weight = 0;    // paired minutiae when firmly aligned, else 0
    bool matches = false;      // the same finger at kEnrollFalseMatchRate
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
    float direction() const { return wrapAngle(std::atan2(sumSin, sumCos)); }
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

// The impressions that join the reference and where each lies in its frame.
struct Placement {
    std::vector<std::size_t> ranks;           // the reference first
    std::vector<RigidTransform> toReference;  // by rank
    // Ranks that match the finger but have no firm alignment into the frame.
    std::vector<std::size_t> apart;
};

bool showsImpression(const Cluster& c, std::size_t rank) {
    return std::find(c.members.begin(), c.members.end(), rank) != c.members.end();
}

void addMinutia(Cluster& c, const Minutia& m, std::size_t rank) {
    if (c.members.empty()) {
        c.firstType = m.type;
    }
    c.sumX += m.x;
    c.sumY += m.y;
    c.sumCos += std::cos(m.direction);
    c.sumSin += std::sin(m.direction);
    c.qualitySum += m.quality;
    (m.type == MinutiaType::Bifurcation ? c.bifurcations : c.endings) += 1;
    c.members.push_back(rank);
}

void absorb(Cluster& into, Cluster& from) {
    into.sumX += from.sumX;
    into.sumY += from.sumY;
    into.sumCos += from.sumCos;
    into.sumSin += from.sumSin;
    into.qualitySum += from.qualitySum;
    into.endings += from.endings;
    into.bifurcations += from.bifurcations;
    into.members.insert(into.members.end(), from.members.begin(), from.members.end());
    from.members.clear();
}

// Rank r is views[order[r]]: content order, so nothing depends on the order
// the views were given in.
std::vector<std::size_t> contentOrder(const std::vector<FingerView>& views) {
    std::vector<std::uint64_t> keys(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
        keys[i] = contentKey(views[i]);
    }
    std::vector<std::size_t> order(views.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    return order;
}

// Every pair aligned once; edges[r * n + s] takes rank r into rank s.
std::vector<Edge> alignAll(const std::vector<FingerView>& views,
                           const std::vector<std::size_t>& order) {
    const std::size_t n = order.size();
    const float sameFinger = similarityAtRate(kEnrollFalseMatchRate);
    std::vector<Edge> edges(n * n);
    // Each view is prepared once, not once for every view it is aligned with.
    std::vector<PreparedView> prepared;
    prepared.reserve(n);
    for (const std::size_t index : order) {
        prepared.push_back(prepareView(views[index]));
    }
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t s = r + 1; s < n; ++s) {
            const ViewAlignment a = alignViews(prepared[r], prepared[s]);
            const bool matches = a.score >= sameFinger;
            const std::size_t weight = a.aligned && matches ? a.pairs.size() : 0;
            edges[r * n + s] = {weight, matches, a.transform};
            edges[s * n + r] = {weight, matches, invertTransform(a.transform)};
        }
    }
    return edges;
}

// The ranks connected to `start` through edges that match, `start` first.
std::vector<bool> sameFingerAs(const std::vector<Edge>& edges, std::size_t n, std::size_t start) {
    std::vector<bool> reached(n, false);
    std::vector<std::size_t> pending{start};
    reached[start] = true;
    while (!pending.empty()) {
        const std::size_t r = pending.back();
        pending.pop_back();
        for (std::size_t s = 0; s < n; ++s) {
            if (!reached[s] && edges[r * n + s].matches) {
                reached[s] = true;
                pending.push_back(s);
            }
        }
    }
    return reached;
}

// The reference agrees best with the others overall (firm pairs first, then
// how many it matches); from it grows a maximum spanning tree over the firm
// alignments: each impression joins through its strongest alignment to one
// already placed, so one that overlaps only another member still finds its
// place. What matches the finger but joins no firm alignment stays apart.
Placement placeMembers(const std::vector<Edge>& edges, std::size_t n) {
    std::size_t reference = 0;
    std::pair<std::size_t, std::size_t> bestTotal{0, 0};
    for (std::size_t r = 0; r < n; ++r) {
        std::pair<std::size_t, std::size_t> total{0, 0};
        for (std::size_t s = 0; s < n; ++s) {
            total.first += edges[r * n + s].weight;
            total.second += edges[r * n + s].matches ? 1 : 0;
        }
        if (total > bestTotal) {
            bestTotal = total;
            reference = r;
        }
    }
    Placement placement;
    placement.ranks = {reference};
    placement.toReference.resize(n);
    std::vector<bool> placed(n, false);
    placed[reference] = true;
    for (;;) {
        std::size_t bestWeight = 0, joiner = n, via = n;
        for (std::size_t s = 0; s < n; ++s) {
            for (std::size_t r : placement.ranks) {
                if (!placed[s] && edges[s * n + r].weight > bestWeight) {
                    bestWeight = edges[s * n + r].weight;
                    joiner = s;
                    via = r;
                }
            }
        }
        if (joiner == n) {
            break;
        }
        placement.toReference[joiner] =
            composeTransforms(placement.toReference[via], edges[joiner * n + via].transform);
        placed[joiner] = true;
        placement.ranks.push_back(joiner);
    }
    const std::vector<bool> accepted = sameFingerAs(edges, n, reference);
    for (std::size_t r = 0; r < n; ++r) {
        if (accepted[r] && !placed[r]) {
            placement.apart.push_back(r);
        }
    }
    return placement;
}

// Strongest minutiae first, each joins the nearest matching cluster that has
// nothing yet from its impression.
std::vector<Cluster> clusterMinutiae(std::vector<Placed> all) {
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
            if (showsImpression(c, p.rank)) {
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
            target = &clusters.emplace_back();
        }
        addMinutia(*target, m, p.rank);
    }
    return clusters;
}

// Two clusters this close that point the same way are one minutia split
// between them (an impression that showed it twice, or distortion moving it
// between clusters): join them when no impression shows both, else keep the
// better supported one. Emptied clusters stay behind, empty.
void joinSplitClusters(std::vector<Cluster>& clusters) {
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
                shared |= showsImpression(a, r);
            }
            Cluster& keep = b.members.size() > a.members.size() ? b : a;
            Cluster& drop = &keep == &a ? b : a;
            if (shared) {
                drop.members.clear();
            } else {
                absorb(keep, drop);
            }
        }
    }
}

// Keeps what enough of the covering impressions agree on and, where only one
// impression covers the place, its reliable minutiae; best supported first.
std::vector<Fused> keepAgreed(const std::vector<Cluster>& clusters,
                              const std::vector<std::vector<PointF>>& hulls) {
    std::vector<Fused> kept;
    for (const Cluster& c : clusters) {
        const std::size_t support = c.members.size();
        if (support == 0) {
            continue;
        }
        std::size_t covering = 0;
        for (const std::vector<PointF>& hull : hulls) {
            covering += insideHull(hull, {c.x(), c.y()}, kCoverMargin) ? 1 : 0;
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
    return kept;
}

}  // namespace

MergedViews mergeViews(const std::vector<FingerView>& views) {
    MergedViews result;
    const std::size_t n = views.size();
    if (n == 0) {
        return result;
    }
    const std::vector<std::size_t> order = contentOrder(views);
    const Placement placement = placeMembers(alignAll(views, order), n);
    result.members.push_back(order[placement.ranks[0]]);
    for (std::size_t i = 1; i < placement.ranks.size(); ++i) {
        result.members.push_back(order[placement.ranks[i]]);
    }
    std::sort(result.members.begin() + 1, result.members.end());
    std::vector<std::size_t> apart;
    for (std::size_t r : placement.apart) {
        apart.push_back(order[r]);
    }
    std::sort(apart.begin(), apart.end());
    for (std::size_t index : apart) {
        result.members.push_back(index);
        result.otherViews.push_back(views[index]);
    }
    if (result.members.size() < 2) {
        result.otherViews.clear();
        return result;
    }
    if (placement.ranks.size() < 2) {
        result.view = views[result.members[0]];
        return result;
    }

    // Every member's minutiae, covered area and image in the reference frame.
    std::vector<Placed> all;
    std::vector<std::vector<PointF>> hulls;
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    int qualitySum = 0;
    for (std::size_t r : placement.ranks) {
        const FingerView& view = views[order[r]];
        const RigidTransform& t = placement.toReference[r];
        std::vector<PointF> points;
        for (std::size_t i = 0; i < view.minutiae.size(); ++i) {
            const Minutia m = applyTransform(t, view.minutiae[i]);
            all.push_back({m, r, i});
            points.push_back({m.x, m.y});
        }
        hulls.push_back(convexHull(std::move(points)));
        const float w = static_cast<float>(view.imageWidth);
        const float h = static_cast<float>(view.imageHeight);
        for (const PointF corner : {PointF{0, 0}, PointF{w, 0}, PointF{0, h}, PointF{w, h}}) {
            const PointF c = applyTransform(t, corner);
            minX = std::min(minX, c.x);
            minY = std::min(minY, c.y);
            maxX = std::max(maxX, c.x);
            maxY = std::max(maxY, c.y);
        }
        qualitySum += view.fingerQuality;
    }
    std::vector<Cluster> clusters = clusterMinutiae(std::move(all));
    joinSplitClusters(clusters);
    const std::vector<Fused> kept = keepAgreed(clusters, hulls);

    // The union of the aligned images, shifted so nothing is negative.
    const float shiftX = -std::floor(minX);
    const float shiftY = -std::floor(minY);
    const int members = static_cast<int>(placement.ranks.size());
    FingerView& out = result.view;
    out.imageWidth = std::min(kMaxCoordinate, static_cast<int>(std::ceil(maxX + shiftX)));
    out.imageHeight = std::min(kMaxCoordinate, static_cast<int>(std::ceil(maxY + shiftY)));
    out.fingerQuality = static_cast<std::uint8_t>((qualitySum + members / 2) / members);
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
