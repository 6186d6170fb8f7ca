#include "hull.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zarn {

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

HullEdges hullEdges(const std::vector<PointF>& hull) {
    HullEdges edges;
    if (hull.size() < 3) {
        edges.fewPoints = hull;
        return edges;
    }
    // Counter-clockwise as seen means the inside lies where the cross product
    // of an edge with the point is negative: outward is (-ey, ex).
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const PointF& a = hull[i];
        const PointF& b = hull[(i + 1) % hull.size()];
        const float ex = b.x - a.x, ey = b.y - a.y;
        const float length = std::hypot(ex, ey);
        if (length == 0) {
            continue;
        }
        edges.x.push_back(a.x);
        edges.y.push_back(a.y);
        edges.nx.push_back(-ey / length);
        edges.ny.push_back(ex / length);
    }
    return edges;
}

bool insideEdges(const HullEdges& edges, PointF p, float margin) {
    if (edges.x.empty()) {
        const std::vector<PointF>& points = edges.fewPoints;
        if (points.empty()) {
            return false;
        }
        float x0 = points[0].x, x1 = points[0].x, y0 = points[0].y, y1 = points[0].y;
        for (const PointF& q : points) {
            x0 = std::min(x0, q.x);
            x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y);
            y1 = std::max(y1, q.y);
        }
        return p.x >= x0 - margin && p.x <= x1 + margin && p.y >= y0 - margin && p.y <= y1 + margin;
    }
    for (std::size_t i = 0; i < edges.x.size(); ++i) {
        if ((p.x - edges.x[i]) * edges.nx[i] + (p.y - edges.y[i]) * edges.ny[i] > margin) {
            return false;
        }
    }
    return true;
}

bool insideHull(const std::vector<PointF>& hull, PointF p, float margin) {
    return insideEdges(hullEdges(hull), p, margin);
}

void edgesNear(const HullEdges& edges, PointF centre, float reach, float margin, HullEdges& near) {
    near.x.clear();
    near.y.clear();
    near.nx.clear();
    near.ny.clear();
    // A pixel more, far above the rounding of the tests themselves.
    constexpr float kSlack = 1;
    for (std::size_t i = 0; i < edges.x.size(); ++i) {
        const float out =
            (centre.x - edges.x[i]) * edges.nx[i] + (centre.y - edges.y[i]) * edges.ny[i];
        if (out + reach + kSlack > margin) {
            near.x.push_back(edges.x[i]);
            near.y.push_back(edges.y[i]);
            near.nx.push_back(edges.nx[i]);
            near.ny.push_back(edges.ny[i]);
        }
    }
}

std::vector<PointF> hullOf(const std::vector<Minutia>& minutiae) {
    std::vector<PointF> points;
    points.reserve(minutiae.size());
    for (const Minutia& m : minutiae) {
        points.push_back({m.x, m.y});
    }
    return convexHull(std::move(points));
}

}  // namespace zarn
