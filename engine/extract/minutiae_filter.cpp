#include "minutiae_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "block_map.h"

namespace zarn {

namespace {

constexpr float kPi = static_cast<float>(M_PI);

// Smallest difference between two angles taken modulo `period`.
float angleDiff(float a, float b, float period) {
    float d = std::fmod(std::abs(a - b), period);
    return std::min(d, period - d);
}

// Finds a candidate at or right next to a pixel, via candidates sorted by position.
struct PositionIndex {
    std::vector<std::pair<std::int64_t, int>> keys;
    int width;

    PositionIndex(const std::vector<Candidate>& c, int w) : width(w) {
        for (std::size_t i = 0; i < c.size(); ++i)
            keys.push_back({static_cast<std::int64_t>(c[i].y) * w + c[i].x, static_cast<int>(i)});
        std::sort(keys.begin(), keys.end());
    }
    int find(int x, int y, int self) const {
        for (int r = 0; r <= 2; ++r)
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    if (std::max(std::abs(dx), std::abs(dy)) != r)
                        continue;
                    const std::int64_t key = static_cast<std::int64_t>(y + dy) * width + x + dx;
                    auto it = std::lower_bound(keys.begin(), keys.end(), std::make_pair(key, -1));
                    for (; it != keys.end() && it->first == key; ++it)
                        if (it->second != self)
                            return it->second;
                }
        return -1;
    }
};

// Whether the line ahead of a ridge ending (away from its ridge) leaves the foreground
// within `reach` pixels.
bool endsAtBackground(const ForegroundMask& mask, const Candidate& m, float reach) {
    const float ux = -std::cos(m.angle), uy = -std::sin(m.angle);
    const int w = mask.blocks.width * tuning::kBlockSize;
    const int h = mask.blocks.height * tuning::kBlockSize;
    for (float d = 2; d <= reach; d += 2) {
        const int x = static_cast<int>(std::lround(m.x + d * ux));
        const int y = static_cast<int>(std::lround(m.y + d * uy));
        if (x < 0 || y < 0 || x >= w || y >= h || !blockAt(mask.blocks, x, y))
            return true;
    }
    return false;
}

// Doubts of each survivor: a short branch of its own, and a survivor close by. Pairs are
// few (tens of minutiae), so the neighbour test compares all of them.
void countDoubts(std::vector<Candidate>& kept, const std::vector<float>& localPeriod) {
    for (std::size_t i = 0; i < kept.size(); ++i) {
        Candidate& m = kept[i];
        const float reach = tuning::kDoubtReachPeriods * localPeriod[i];
        m.doubts = 0;
        for (int k = 0; k < m.branchCount; ++k)
            if (m.branches[k].stop != BranchStop::Open && m.branches[k].length < reach) {
                ++m.doubts;
                break;
            }
        for (std::size_t j = 0; j < kept.size(); ++j) {
            const float dx = static_cast<float>(kept[j].x - m.x);
            const float dy = static_cast<float>(kept[j].y - m.y);
            if (j != i && dx * dx + dy * dy < reach * reach) {
                ++m.doubts;
                break;
            }
        }
    }
}

}  // namespace

float distanceToBorder(const ForegroundMask& mask, int x, int y) {
    if (!blockAt(mask.blocks, x, y))
        return 0;
    // The block map is coarse next to the image frame, which is exact in pixels (the last
    // block row or column may reach a few pixels past the image).
    const float w = static_cast<float>(mask.blocks.width * tuning::kBlockSize);
    const float h = static_cast<float>(mask.blocks.height * tuning::kBlockSize);
    const float frame = std::min({x + 0.5f, y + 0.5f, w - x - 0.5f, h - y - 0.5f});
    return std::min(frame, sampleBlockMap(mask.borderDistance, x + 0.5f, y + 0.5f));
}

std::vector<Candidate> removeFalseMinutiae(const std::vector<Candidate>& c,
                                           const ForegroundMask& mask,
                                           const OrientationField& field,
                                           const Image<float>& period,
                                           std::vector<DropReason>* reasons) {
    const std::size_t n = c.size();
    std::vector<DropReason> drop(n, DropReason::Kept);
    auto mark = [&](std::size_t i, DropReason why) {
        if (drop[i] == DropReason::Kept)
            drop[i] = why;
    };
    std::vector<float> localPeriod(n);
    const PositionIndex index(c, mask.blocks.width * tuning::kBlockSize);
    auto dropPartner = [&](const Branch& b, std::size_t self) {
        const int other = index.find(b.endX, b.endY, static_cast<int>(self));
        if (other >= 0)
            mark(static_cast<std::size_t>(other), DropReason::Partner);
    };

    for (std::size_t i = 0; i < n; ++i) {
        const Candidate& m = c[i];
        const float t = sampleBlockMap(period, m.x + 0.5f, m.y + 0.5f);
        // Thinning leaves spurs where a ridge edge bulges, sticking out across the flow; a
        // short branch running with the flow is a ridge that forks and soon ends.
        auto alongFlow = [&](const Branch& b) {
            return angleDiff(std::atan2(b.dy, b.dx), blockAt(field.angle, m.x, m.y), kPi) <=
                   tuning::kMaxFlowDeviation;
        };
        localPeriod[i] = t;
        // The mask edge cuts ridges into false endings, not into false forks: an ending
        // goes when the gap ahead of it runs into the background.
        if (distanceToBorder(mask, m.x, m.y) < tuning::kBorderMargin ||
            (m.type == MinutiaType::RidgeEnding &&
             endsAtBackground(mask, m, tuning::kCutReachPeriods * t)))
            mark(i, DropReason::Border);
        // The trace direction must agree with the smoothed flow (modulo pi).
        if (angleDiff(m.angle, blockAt(field.angle, m.x, m.y), kPi) > tuning::kMaxFlowDeviation)
            mark(i, DropReason::AgainstFlow);
        for (int k = 0; k < m.branchCount; ++k) {
            const Branch& b = m.branches[k];
            if (m.type == MinutiaType::RidgeEnding) {
                // A short fragment running with the flow is a short ridge of the skin or a
                // piece of a broken one (left to the gap test below); across the flow its
                // ends already go against the flow.
                if (b.stop == BranchStop::Junction && b.length <= tuning::kSpurPeriods * t &&
                    !alongFlow(b)) {
                    mark(i, DropReason::Spur);  // and the bifurcation it hangs from
                    dropPartner(b, i);
                }
            } else {
                if (b.stop == BranchStop::Junction && b.length <= tuning::kBridgePeriods * t) {
                    mark(i, DropReason::Bridge);  // between ridges, or a lake in one
                    dropPartner(b, i);
                } else if (b.stop == BranchStop::DeadEnd && b.length <= tuning::kSpurPeriods * t &&
                           !alongFlow(b)) {
                    mark(i, DropReason::Spur);
                }
            }
        }
    }

    // Candidates in order of y, so pair tests only scan a band of rows.
    std::vector<std::size_t> byRow(n);
    for (std::size_t i = 0; i < n; ++i)
        byRow[i] = i;
    std::sort(byRow.begin(), byRow.end(), [&](std::size_t a, std::size_t b) {
        return std::make_pair(c[a].y, c[a].x) < std::make_pair(c[b].y, c[b].x);
    });
    const float maxPeriod = *std::max_element(period.pixels.begin(), period.pixels.end());
    const float gapReach = tuning::kGapPeriods * maxPeriod;

    // Broken ridges: two endings close together, facing each other across the gap.
    for (std::size_t a = 0; a < n; ++a) {
        const std::size_t i = byRow[a];
        if (c[i].type != MinutiaType::RidgeEnding)
            continue;
        for (std::size_t b = a + 1; b < n && c[byRow[b]].y - c[i].y <= gapReach; ++b) {
            const std::size_t j = byRow[b];
            if (c[j].type != MinutiaType::RidgeEnding)
                continue;
            const float dx = static_cast<float>(c[j].x - c[i].x);
            const float dy = static_cast<float>(c[j].y - c[i].y);
            const float reach = tuning::kGapPeriods * std::min(localPeriod[i], localPeriod[j]);
            if (dx * dx + dy * dy > reach * reach)
                continue;
            // Each ending points into its own ridge, so the gap lies behind it.
            const float toJ = std::atan2(dy, dx), toI = std::atan2(-dy, -dx);
            // Both ends on one ridge line: ends on neighbouring ridges (a ridge stops, the
            // next one starts) are offset across the flow by a period and are both real.
            const float flow = orientationAt(field, 0.5f * (c[i].x + c[j].x) + 0.5f,
                                             0.5f * (c[i].y + c[j].y) + 0.5f);
            const float across = std::abs(dy * std::cos(flow) - dx * std::sin(flow));
            if (across < tuning::kGapMaxOffsetPeriods * std::min(localPeriod[i], localPeriod[j]) &&
                angleDiff(c[i].angle + kPi, toJ, 2 * kPi) < tuning::kGapMaxAngle &&
                angleDiff(c[j].angle + kPi, toI, 2 * kPi) < tuning::kGapMaxAngle) {
                mark(i, DropReason::BrokenRidge);
                mark(j, DropReason::BrokenRidge);
            }
        }
    }

    // Clusters among what is left: many minutiae in a small area mean noise.
    std::vector<std::size_t> kept;
    for (std::size_t i : byRow)
        if (drop[i] == DropReason::Kept)
            kept.push_back(i);
    const float clusterReach = tuning::kClusterPeriods * maxPeriod;
    std::vector<int> neighbours(kept.size(), 0);
    for (std::size_t a = 0; a < kept.size(); ++a)
        for (std::size_t b = a + 1; b < kept.size() && c[kept[b]].y - c[kept[a]].y <= clusterReach;
             ++b) {
            const std::size_t i = kept[a], j = kept[b];
            const float dx = static_cast<float>(c[j].x - c[i].x);
            const float dy = static_cast<float>(c[j].y - c[i].y);
            const float d2 = dx * dx + dy * dy;
            const float ri = tuning::kClusterPeriods * localPeriod[i];
            const float rj = tuning::kClusterPeriods * localPeriod[j];
            if (d2 <= ri * ri)
                ++neighbours[a];
            if (d2 <= rj * rj)
                ++neighbours[b];
        }
    // Survivors go back in detection order so the output does not depend on sorting.
    std::vector<bool> keep(n, false);
    for (std::size_t a = 0; a < kept.size(); ++a) {
        keep[kept[a]] = neighbours[a] < tuning::kClusterMaxNeighbours;
        if (!keep[kept[a]])
            drop[kept[a]] = DropReason::Cluster;
    }
    if (reasons)
        *reasons = drop;
    std::vector<Candidate> out;
    std::vector<float> outPeriod;
    for (std::size_t i = 0; i < n; ++i)
        if (keep[i]) {
            out.push_back(c[i]);
            outPeriod.push_back(localPeriod[i]);
        }
    countDoubts(out, outPeriod);
    return out;
}

}  // namespace zarn
