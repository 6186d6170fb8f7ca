#include "transform.h"

#include <cmath>

#include "angles.h"

namespace zarn {

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

RigidTransform transformFromPair(const Minutia& from, const Minutia& to) {
    RigidTransform t;
    t.angle = wrapAngle(to.direction - from.direction);
    const PointF rotated = applyTransform(t, PointF{from.x, from.y});
    t.tx = to.x - rotated.x;
    t.ty = to.y - rotated.y;
    return t;
}

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

std::vector<Minutia> moveAll(const std::vector<Minutia>& minutiae, const RigidTransform& t) {
    std::vector<Minutia> moved;
    moveAllInto(minutiae, t, moved);
    return moved;
}

void moveAllInto(const std::vector<Minutia>& minutiae, const RigidTransform& t,
                 std::vector<Minutia>& moved) {
    // The same arithmetic as applyTransform, with the rotation computed once.
    const float c = std::cos(t.angle);
    const float s = std::sin(t.angle);
    moved.assign(minutiae.begin(), minutiae.end());
    for (Minutia& m : moved) {
        const float x = m.x, y = m.y;
        m.x = c * x + s * y + t.tx;
        m.y = -s * x + c * y + t.ty;
        m.direction = wrapAngle(m.direction + t.angle);
    }
}

}  // namespace zarn
