// Minutia matching: aligns two finger views by their local minutia structures
// and scores how well they agree once aligned.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "minutia.h"

namespace zarn {

// A rotation about the origin followed by a shift, in image coordinates
// (y down). A direction turns by `angle` (counter-clockwise as seen).
struct RigidTransform {
    float angle = 0;
    float tx = 0;
    float ty = 0;
};

struct PointF {
    float x = 0;
    float y = 0;
};

PointF applyTransform(const RigidTransform& t, PointF p);
Minutia applyTransform(const RigidTransform& t, const Minutia& m);
// outer after inner.
RigidTransform composeTransforms(const RigidTransform& outer, const RigidTransform& inner);
RigidTransform invertTransform(const RigidTransform& t);

// Where two views agree: the transform taking `from` into `to`'s frame and
// the minutiae paired under it (index into from, index into to).
struct ViewAlignment {
    bool aligned = false;
    RigidTransform transform;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    float score = 0;  // 0-1, see matchScore
};

// Finds the rigid transform most minutiae agree on, with a tolerance that
// grows away from the paired area for elastic skin distortion. `aligned` when
// enough minutiae pair up, and the score is high enough, to rule out a
// chance agreement between different fingers.
ViewAlignment alignViews(const FingerView& from, const FingerView& to);

// Similarity of two views, 0 (nothing in common) to 1: the paired minutiae,
// each weighted by how well their neighbourhoods agree, relative to the
// minutiae each view has where the other one also sees the finger, so a
// template covering more skin is not penalised for its extra area.
float matchScore(const FingerView& a, const FingerView& b);

// The convex hull of a set of points, counter-clockwise as seen on the image;
// the area a view's minutiae cover.
std::vector<PointF> convexHull(std::vector<PointF> points);

// Whether p lies inside the hull or within `margin` pixels of it (a negative
// margin asks for that far inside). Fewer than three hull points: within
// margin of the points' bounding box.
bool insideHull(const std::vector<PointF>& hull, PointF p, float margin);

}  // namespace zarn
