#include "fingergen/pattern.h"

#include <algorithm>
#include <cmath>

#include "fingergen/fields.h"

namespace zarn::gen {

namespace {

constexpr float kPi = 3.14159265358979f;

float jitter(Rng& rng, float amount) {
    return static_cast<float>(uniform(rng, -amount, amount));
}

}  // namespace

PatternClass drawClass(Rng& rng) {
    const double u = uniform01(rng);
    if (u < 0.32) {
        return PatternClass::RightLoop;
    }
    if (u < 0.64) {
        return PatternClass::LeftLoop;
    }
    if (u < 0.90) {
        return PatternClass::Whorl;
    }
    return PatternClass::Arch;
}

Pattern drawPattern(PatternClass cls, int width, int height, Rng& rng) {
    Pattern p;
    p.cls = cls;
    Silhouette& s = p.silhouette;
    s.cx = width * (0.5f + jitter(rng, 0.03f));
    s.cy = height * (0.55f + jitter(rng, 0.03f));
    s.halfWidth = width * static_cast<float>(uniform(rng, 0.33, 0.38));
    s.halfHeight = height * static_cast<float>(uniform(rng, 0.50, 0.56));
    const float a = s.halfWidth;
    const float b = s.halfHeight;
    p.baseAngle = jitter(rng, 0.12f);
    p.basePeriod = static_cast<float>(uniform(rng, 8.0, 9.6));
    switch (cls) {
        case PatternClass::Arch:
            p.archStrength = static_cast<float>(uniform(rng, 0.9, 1.5));
            break;
        case PatternClass::LeftLoop:
        case PatternClass::RightLoop: {
            // A right loop opens to the right, so its delta lies on the left (as seen).
            const float side = cls == PatternClass::RightLoop ? 1.0f : -1.0f;
            p.cores.push_back({s.cx + side * a * (0.08f + jitter(rng, 0.08f)),
                               s.cy - b * (0.22f + jitter(rng, 0.08f))});
            p.deltas.push_back({s.cx - side * a * (0.55f + jitter(rng, 0.12f)),
                                s.cy + b * (0.30f + jitter(rng, 0.08f))});
            p.archStrength = static_cast<float>(uniform(rng, 0.6, 1.0));
            break;
        }
        case PatternClass::Whorl: {
            const float gap =
                std::min(width, height) * static_cast<float>(uniform(rng, 0.05, 0.09));
            const float tilt = jitter(rng, 0.8f);
            const float ccx = s.cx + jitter(rng, 0.06f) * a;
            const float ccy = s.cy - b * (0.18f + jitter(rng, 0.06f));
            p.cores.push_back({ccx - gap * std::cos(tilt), ccy - gap * std::sin(tilt)});
            p.cores.push_back({ccx + gap * std::cos(tilt), ccy + gap * std::sin(tilt)});
            p.deltas.push_back(
                {s.cx - a * (0.62f + jitter(rng, 0.1f)), s.cy + b * (0.30f + jitter(rng, 0.08f))});
            p.deltas.push_back(
                {s.cx + a * (0.62f + jitter(rng, 0.1f)), s.cy + b * (0.30f + jitter(rng, 0.08f))});
            p.archStrength = static_cast<float>(uniform(rng, 0.6, 1.0));
            break;
        }
    }
    return p;
}

float silhouetteValue(const Silhouette& s, float x, float y) {
    const float u = std::fabs(x - s.cx) / s.halfWidth;
    const float v = (y - s.cy) / s.halfHeight;
    const float pv = v < 0 ? 2.0f : 3.5f;
    return 1.0f - std::pow(u, 2.2f) - std::pow(std::fabs(v), pv);
}

FloatPlane orientationField(const Pattern& p, int width, int height, Rng& rng) {
    FloatPlane theta(width, height);
    const FloatPlane wobble = smoothNoise(width, height, 90.0f, rng);
    const Silhouette& s = p.silhouette;
    // Above this line ridges arch over the pattern following the fingertip.
    float topY = s.cy;
    for (const Point& c : p.cores) {
        topY = std::min(topY, c.y);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Zero-pole model: each core turns the orientation by +pi around it, each delta by -pi.
            float t = p.baseAngle;
            for (const Point& c : p.cores) {
                t += 0.5f * std::atan2(y - c.y, x - c.x);
            }
            for (const Point& d : p.deltas) {
                t -= 0.5f * std::atan2(y - d.y, x - d.x);
            }
            // Arch term: slopes the ridges down towards the sides, strongest near the tip. It is
            // continuous, so it bends ridges without adding or removing singular points.
            const float u = (x - s.cx) / (0.6f * s.halfWidth);
            float k;
            if (p.cls == PatternClass::Arch) {
                const float v = (y - s.cy) / s.halfHeight;  // -1 at the tip, +1 at the bottom
                k = p.archStrength * std::clamp(0.55f - 0.75f * v, 0.08f, 1.3f);
                t += std::atan(k * u * std::exp(-0.18f * u * u));
            } else {
                const float above = std::clamp((topY - y) / (0.6f * s.halfHeight), 0.0f, 1.0f);
                k = p.archStrength * above;
                t += std::atan(k * u * std::exp(-0.12f * u * u));
            }
            t += 0.10f * wobble.at(x, y);
            t = std::fmod(t, kPi);
            if (t < 0) {
                t += kPi;
            }
            theta.at(x, y) = t;
        }
    }
    return theta;
}

FloatPlane periodField(const Pattern& p, int width, int height, Rng& rng) {
    FloatPlane period(width, height);
    const FloatPlane wander = smoothNoise(width, height, 110.0f, rng);
    const Silhouette& s = p.silhouette;
    for (int y = 0; y < height; ++y) {
        const float v = std::clamp((y - s.cy) / s.halfHeight, -1.0f, 1.0f);
        for (int x = 0; x < width; ++x) {
            const float value = p.basePeriod + 0.7f * v + 0.8f * wander.at(x, y);
            period.at(x, y) = std::clamp(value, 6.5f, 11.5f);
        }
    }
    return period;
}

}  // namespace zarn::gen
