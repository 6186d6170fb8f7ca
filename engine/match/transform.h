// Rigid transforms between two views' frames: applying, composing,
// inverting, and fitting one to paired minutiae.
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

// The transform that puts `from` on `to`: turn by the difference of their
// directions, then shift.
RigidTransform transformFromPair(const Minutia& from, const Minutia& to);

// The rigid transform that best maps the paired `from` points onto `to` in
// the least-squares sense.
RigidTransform fitTransform(const std::vector<Minutia>& from, const std::vector<Minutia>& to,
                            const std::vector<std::pair<std::size_t, std::size_t>>& pairs);

// Every minutia moved by the transform.
std::vector<Minutia> moveAll(const std::vector<Minutia>& minutiae, const RigidTransform& t);
// The same into `moved`, whose storage is reused.
void moveAllInto(const std::vector<Minutia>& minutiae, const RigidTransform& t,
                 std::vector<Minutia>& moved);

}  // namespace zarn
