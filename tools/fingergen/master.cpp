#include "fingergen/master.h"

#include <algorithm>
#include <cmath>

#include "fingergen/fields.h"
#include "fingergen/skeleton.h"

namespace zarn::gen {

namespace {

// Small round dots near ridge centres, about one per ridge period along each ridge.
FloatPlane drawPores(const FloatPlane& ridges, Rng& rng) {
    const int w = ridges.width;
    const int h = ridges.height;
    FloatPlane pores(w, h);
    const int count = w * h / 140;
    for (int i = 0; i < count; ++i) {
        const float px = static_cast<float>(uniform(rng, 2, w - 3));
        const float py = static_cast<float>(uniform(rng, 2, h - 3));
        const float r = static_cast<float>(uniform(rng, 0.8, 1.4));
        if (ridges.at(static_cast<int>(px), static_cast<int>(py)) < 0.6f) {
            continue;
        }
        for (int y = static_cast<int>(py) - 2; y <= static_cast<int>(py) + 3; ++y) {
            for (int x = static_cast<int>(px) - 2; x <= static_cast<int>(px) + 3; ++x) {
                const float d2 = (x - px) * (x - px) + (y - py) * (y - py);
                const float v = std::exp(-0.5f * d2 / (r * r));
                pores.at(x, y) = std::max(pores.at(x, y), v);
            }
        }
    }
    return pores;
}

// A few gently curved thin lines across the print, as flexion creases and small scars are.
FloatPlane drawCreases(const Silhouette& s, int w, int h, Rng& rng) {
    FloatPlane creases(w, h);
    const int count = 1 + uniformInt(rng, 3);
    for (int i = 0; i < count; ++i) {
        const float cx = s.cx + static_cast<float>(uniform(rng, -0.6, 0.6)) * s.halfWidth;
        const float cy = s.cy + static_cast<float>(uniform(rng, -0.5, 0.7)) * s.halfHeight;
        const float angle =
            static_cast<float>(uniform(rng, -0.7, 0.7) + (uniform01(rng) < 0.3 ? 1.57 : 0.0));
        const float half = static_cast<float>(uniform(rng, 25, 80));
        const float bend = static_cast<float>(uniform(rng, -0.004, 0.004));
        const float width = static_cast<float>(uniform(rng, 0.8, 1.4));
        const float c = std::cos(angle);
        const float sn = std::sin(angle);
        const int reach = static_cast<int>(half) + 4;
        for (int y = std::max(0, static_cast<int>(cy) - reach);
             y < std::min(h, static_cast<int>(cy) + reach); ++y) {
            for (int x = std::max(0, static_cast<int>(cx) - reach);
                 x < std::min(w, static_cast<int>(cx) + reach); ++x) {
                const float along = (x - cx) * c + (y - cy) * sn;
                const float across = -(x - cx) * sn + (y - cy) * c - bend * along * along;
                if (std::fabs(along) > half) {
                    continue;
                }
                const float taper = 1.0f - std::pow(std::fabs(along) / half, 4.0f);
                const float v = taper * std::exp(-0.5f * across * across / (width * width));
                creases.at(x, y) = std::max(creases.at(x, y), v);
            }
        }
    }
    return creases;
}

// A minutia is solid if thinner and thicker ridges both still show a minutia at about the same
// place (of either type: a thickened ending often touches its neighbour and turns into a
// bifurcation, with the same direction).
void markFragile(Master& m) {
    const float shift = 0.3f;
    std::vector<std::vector<Minutia>> variants;
    for (float t : {-shift, shift}) {
        FloatPlane shifted = m.ridges;
        for (float& v : shifted.pixels) {
            v -= t;
        }
        variants.push_back(findMinutiae(shifted, m.inside, kSilhouetteMargin));
    }
    for (Minutia& a : m.minutiae) {
        bool solid = true;
        for (const std::vector<Minutia>& variant : variants) {
            bool seen = false;
            for (const Minutia& b : variant) {
                seen = seen || std::hypot(a.x - b.x, a.y - b.y) < 9.0f;
            }
            solid = solid && seen;
        }
        a.quality = solid ? kSolidQuality : kFragileQuality;
    }
}

}  // namespace

Master makeMaster(const MasterOptions& options, std::uint64_t seed) {
    Rng rng = deriveRng(seed, 0x6d61737465ULL);
    Master m;
    const int w = std::max(options.width, 16);
    const int h = std::max(options.height, 16);
    m.pattern = drawPattern(options.cls, w, h, rng);
    const FloatPlane orientation = orientationField(m.pattern, w, h, rng);
    m.period = periodField(m.pattern, w, h, rng);
    m.ridges = growRidges(orientation, m.period, options.growth, rng);

    GrayPlane mask(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            mask.at(x, y) = silhouetteValue(m.pattern.silhouette, x, y) > 0 ? 1 : 0;
        }
    }
    m.inside = distanceToOutside(mask);
    m.pores = drawPores(m.ridges, rng);
    m.creases = drawCreases(m.pattern.silhouette, w, h, rng);
    m.minutiae = findMinutiae(m.ridges, m.inside, kSilhouetteMargin);
    markFragile(m);
    return m;
}

GrayPlane renderMaster(const Master& master) {
    GrayPlane out(master.ridges.width, master.ridges.height, 255);
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        if (master.inside.pixels[i] > 0) {
            const float ink = 0.5f + 0.5f * master.ridges.pixels[i];
            out.pixels[i] = static_cast<std::uint8_t>(std::lround(255.0f * (1.0f - ink)));
        }
    }
    return out;
}

}  // namespace zarn::gen
