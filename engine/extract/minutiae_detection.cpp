#include "minutiae_detection.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "block_map.h"
#include "thinning.h"
#include "tuning.h"

namespace zarn {

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words below are read byte 0 first");

// Ring order matching neighbourCode: N NE E SE S SW W NW.
constexpr int kRingX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kRingY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

struct Point {
    int x, y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// Pixels a trace may not enter: its own path and the minutia's other branches.
struct Visited {
    std::array<Point, 96> points;
    int count = 0;
    void add(Point p) {
        if (count < static_cast<int>(points.size()))
            points[count++] = p;
    }
    bool has(Point p) const {
        for (int i = count - 1; i >= 0; --i)
            if (points[i] == p)
                return true;
        return false;
    }
};

// Follows the skeleton from `origin` through `first`, never revisiting `visited`.
Branch trace(const Image<std::uint8_t>& sk, Point origin, Point first, Visited visited,
             int directionSteps, int maxSteps) {
    Branch b;
    Point cur = first;
    visited.add(first);
    auto record = [&] {
        b.dx = static_cast<float>(cur.x - origin.x);
        b.dy = static_cast<float>(cur.y - origin.y);
    };
    for (int step = 1;; ++step) {
        b.length = step;
        if (step <= directionSteps)
            record();
        b.endX = cur.x;
        b.endY = cur.y;
        const int code = neighbourCode(sk, cur.x, cur.y);
        if (crossingNumber(code) >= 3) {
            b.stop = BranchStop::Junction;
            return b;
        }
        if (step >= maxSteps)
            return b;
        // Next pixel: an unvisited neighbour, edge neighbours first (they are nearer).
        bool moved = false;
        for (int pass = 0; pass < 2 && !moved; ++pass)
            for (int i = pass; i < 8; i += 2) {
                if (!((code >> i) & 1))
                    continue;
                const Point next{cur.x + kRingX[i], cur.y + kRingY[i]};
                if (visited.has(next))
                    continue;
                cur = next;
                visited.add(next);
                moved = true;
                break;
            }
        if (!moved) {
            b.stop = BranchStop::DeadEnd;
            return b;
        }
    }
}

float angleOf(float dx, float dy) {
    float a = std::atan2(dy, dx);
    if (a < 0)
        a += static_cast<float>(2 * M_PI);
    return a;
}

float angleBetween(const Branch& a, const Branch& b) {
    const float dot = a.dx * b.dx + a.dy * b.dy;
    const float norm = std::hypot(a.dx, a.dy) * std::hypot(b.dx, b.dy);
    return norm > 0 ? std::acos(std::clamp(dot / norm, -1.0f, 1.0f)) : 0.0f;
}

// The bifurcation points between its two closest branches, away from the stem.
float bifurcationAngle(const std::array<Branch, 3>& br) {
    int stem = 0;
    float best = 1e9f;
    for (int s = 0; s < 3; ++s) {
        const float between = angleBetween(br[(s + 1) % 3], br[(s + 2) % 3]);
        if (between < best) {
            best = between;
            stem = s;
        }
    }
    float sx = 0, sy = 0;
    for (int i = 0; i < 3; ++i) {
        const float n = std::hypot(br[i].dx, br[i].dy);
        if (n <= 0)
            continue;
        const float sign = i == stem ? -1.0f : 1.0f;
        sx += sign * br[i].dx / n;
        sy += sign * br[i].dy / n;
    }
    return angleOf(sx, sy);
}

}  // namespace

std::vector<Candidate> detectMinutiae(const Image<std::uint8_t>& skeleton,
                                      const Image<std::uint8_t>& usable, int directionSteps,
                                      int maxSteps) {
    std::vector<Candidate> out;
    const int w = skeleton.width, h = skeleton.height;
    for (int y = 1; y < h - 1; ++y) {
        const std::uint8_t* row = &skeleton.at(0, y);
        auto visit = [&](int x) {
            if (!blockAt(usable, x, y))
                return;
            const int code = neighbourCode(skeleton, x, y);
            const int cn = crossingNumber(code);
            if (cn != 1 && cn != 3)
                return;
            Candidate c;
            c.x = x;
            c.y = y;
            const Point origin{x, y};
            if (cn == 1) {
                // The ending's neighbours form one run; start from its first edge pixel.
                Point first{0, 0};
                bool found = false;
                for (int pass = 0; pass < 2 && !found; ++pass)
                    for (int i = pass; i < 8 && !found; i += 2)
                        if ((code >> i) & 1) {
                            first = {x + kRingX[i], y + kRingY[i]};
                            found = true;
                        }
                Visited visited;
                visited.add(origin);
                c.type = MinutiaType::RidgeEnding;
                c.branchCount = 1;
                c.branches[0] = trace(skeleton, origin, first, visited, directionSteps, maxSteps);
                c.angle = angleOf(c.branches[0].dx, c.branches[0].dy);
            } else {
                // One start pixel per run of set ring pixels, preferring edge neighbours;
                // a branch may not wander into the pixels of the other runs.
                // The crossing number guarantees exactly three runs.
                std::array<Visited, 3> runs;
                std::array<Point, 3> starts{};
                int nRuns = 0;
                for (int i = 0; i < 8 && nRuns < 3; ++i) {
                    if (!((code >> i) & 1) || ((code >> ((i + 7) % 8)) & 1))
                        continue;
                    int pick = -1;
                    for (int j = i; j < i + 8 && ((code >> (j % 8)) & 1); ++j) {
                        runs[nRuns].add({x + kRingX[j % 8], y + kRingY[j % 8]});
                        if (pick < 0 && j % 2 == 0)
                            pick = j % 8;
                    }
                    if (pick < 0)
                        pick = i;
                    starts[nRuns++] = {x + kRingX[pick], y + kRingY[pick]};
                }
                c.type = MinutiaType::Bifurcation;
                c.branchCount = 3;
                for (int i = 0; i < 3; ++i) {
                    Visited visited;
                    visited.add(origin);
                    for (int r = 0; r < 3; ++r)
                        if (r != i)
                            for (int k = 0; k < runs[r].count; ++k)
                                visited.add(runs[r].points[k]);
                    c.branches[i] =
                        trace(skeleton, origin, starts[i], visited, directionSteps, maxSteps);
                }
                c.angle = bifurcationAngle(c.branches);
            }
            out.push_back(c);
        };
        // The skeleton is sparse: eight pixels are read as one word and zero words
        // skipped; the set bytes are visited in raster order, as a plain scan would.
        int x = 1;
        for (; x + 8 <= w - 1; x += 8) {
            std::uint64_t word;
            std::memcpy(&word, row + x, sizeof word);
            while (word) {
                const int byte = __builtin_ctzll(word) / 8;
                word &= ~(std::uint64_t{0xff} << (8 * byte));
                visit(x + byte);
            }
        }
        for (; x < w - 1; ++x)
            if (row[x])
                visit(x);
    }
    return out;
}

}  // namespace zarn

namespace zarn {

void refineDirections(std::vector<Candidate>& candidates, const OrientationField& field) {
    const float pi = static_cast<float>(M_PI);
    for (Candidate& c : candidates) {
        float flow = orientationAt(field, c.x + 0.5f, c.y + 0.5f);
        // Of the two senses of the flow, the one nearer the trace.
        float d = std::remainder(flow - c.angle, 2 * pi);
        if (std::abs(d) > pi / 2) {
            flow += pi;
            d = std::remainder(flow - c.angle, 2 * pi);
        }
        float a = c.angle + tuning::kFlowDirectionWeight * d;
        a = std::fmod(a, 2 * pi);
        if (a < 0)
            a += 2 * pi;
        c.angle = a;
    }
}

void placeMinutiae(std::vector<Candidate>& candidates, const Image<float>& period) {
    for (Candidate& c : candidates) {
        const float t = sampleBlockMap(period, c.x + 0.5f, c.y + 0.5f);
        // An ending points into its ridge, so its tip lies behind; a fork points into
        // its crotch, which lies ahead.
        const float reach = c.type == MinutiaType::RidgeEnding ? -tuning::kEndingTipPeriods * t
                                                               : tuning::kForkCrotchPeriods * t;
        c.shiftX = reach * std::cos(c.angle);
        c.shiftY = reach * std::sin(c.angle);
    }
}

}  // namespace zarn
