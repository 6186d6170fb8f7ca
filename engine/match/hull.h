// The area a view's minutiae cover: convex hulls and whether a point lies
// in one.
#pragma once

#include <vector>

#include "minutia.h"
#include "transform.h"

namespace zarn {

// The convex hull of a set of points, counter-clockwise as seen on the image;
// the area a view's minutiae cover.
std::vector<PointF> convexHull(std::vector<PointF> points);

// Whether p lies inside the hull or within `margin` pixels of it (a negative
// margin asks for that far inside). Fewer than three hull points: within
// margin of the points' bounding box.
bool insideHull(const std::vector<PointF>& hull, PointF p, float margin);

// A hull's edges with their outward unit normals, worked out once for the
// many points tested against one hull.
struct HullEdges {
    std::vector<float> x, y, nx, ny;
    std::vector<PointF> fewPoints;  // a hull of fewer than three points, as is
};
HullEdges hullEdges(const std::vector<PointF>& hull);
bool insideEdges(const HullEdges& edges, PointF p, float margin);

// Of a hull of three or more points, the edges that may leave a point within
// `reach` of `centre` outside the margin (the others leave none: a point
// that far from their line is not near), into `near`, reused. Testing
// against them alone gives insideEdges' answer for such points; with none,
// every such point is inside.
void edgesNear(const HullEdges& edges, PointF centre, float reach, float margin, HullEdges& near);

// The hull of the minutiae's positions.
std::vector<PointF> hullOf(const std::vector<Minutia>& minutiae);

}  // namespace zarn
