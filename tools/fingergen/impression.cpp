#include "fingergen/impression.h"

#include <algorithm>
#include <cmath>

#include "fingergen/fields.h"

namespace zarn::gen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDegree = kPi / 180.0f;

struct Range {
    float lo;
    float hi;
};

float draw(Rng& rng, Range r) {
    return static_cast<float>(uniform(rng, r.lo, r.hi));
}
float drawSigned(Rng& rng, Range r) {
    return uniform01(rng) < 0.5 ? -draw(rng, r) : draw(rng, r);
}

Point contactCentre(const Master& master, const ImpressionParams& p) {
    const Silhouette& s = master.pattern.silhouette;
    return {s.cx + p.contactOffsetX * s.halfWidth, s.cy + p.contactOffsetY * s.halfHeight};
}

float toRecordAngle(float dx, float dy) {
    float a = std::atan2(-dy, dx);
    if (a < 0) {
        a += 2 * kPi;
    }
    return a >= 2 * kPi ? 0.0f : a;
}

}  // namespace

const char* difficultyName(Difficulty d) {
    switch (d) {
        case Difficulty::Easy:
            return "easy";
        case Difficulty::Medium:
            return "medium";
        case Difficulty::Hard:
            return "hard";
    }
    return "?";
}

ImpressionParams drawImpressionParams(Difficulty d, Rng& rng) {
    const int level = static_cast<int>(d);  // 0, 1, 2
    auto pick = [&](Range easy, Range medium, Range hard) {
        const Range r = level == 0 ? easy : level == 1 ? medium : hard;
        return draw(rng, r);
    };
    ImpressionParams p;
    p.rotation = kDegree * pick({-8, 8}, {-18, 18}, {-30, 30});
    p.shiftX = pick({-15, 15}, {-30, 30}, {-45, 45});
    p.shiftY = pick({-15, 15}, {-30, 30}, {-45, 45});
    p.distortRotation = kDegree * pick({-1, 1}, {-2.5f, 2.5f}, {-4, 4});
    const float shift = pick({0, 3}, {2, 7}, {5, 11});
    const float shiftAngle = draw(rng, {0, 2 * kPi});
    p.distortShiftX = shift * std::cos(shiftAngle);
    p.distortShiftY = shift * std::sin(shiftAngle);
    p.closeRadius = pick({50, 80}, {40, 70}, {30, 60});
    p.brake = pick({50, 70}, {40, 60}, {30, 50});
    p.contactOffsetX = pick({-0.05f, 0.05f}, {-0.1f, 0.1f}, {-0.15f, 0.15f});
    p.contactOffsetY = pick({-0.05f, 0.05f}, {-0.1f, 0.1f}, {-0.15f, 0.15f});
    p.contactScaleX = pick({0.85f, 1.0f}, {0.7f, 0.9f}, {0.55f, 0.8f});
    p.contactScaleY = pick({0.85f, 1.0f}, {0.7f, 0.9f}, {0.55f, 0.8f});
    p.edgeRoughness = pick({0.03f, 0.06f}, {0.05f, 0.1f}, {0.08f, 0.14f});
    p.dryness = level == 0 ? draw(rng, {-0.1f, 0.1f})
                           : drawSigned(rng, level == 1 ? Range{0.1f, 0.3f} : Range{0.3f, 0.45f});
    p.blotchiness = pick({0.05f, 0.15f}, {0.25f, 0.45f}, {0.45f, 0.7f});
    p.pressureVariation = pick({0.1f, 0.2f}, {0.2f, 0.4f}, {0.4f, 0.6f});
    p.poreVisibility = pick({0.1f, 0.3f}, {0.2f, 0.45f}, {0.3f, 0.6f});
    p.creaseVisibility = pick({0, 0}, {0, 0.6f}, {0.5f, 1.0f});
    p.contrast = pick({170, 210}, {130, 180}, {100, 160});
    // Optical sensors often saturate where nothing touches; above 255 clips to flat white.
    p.background = pick({240, 262}, {220, 255}, {175, 235});
    p.backgroundVariation = pick({2, 8}, {8, 18}, {15, 30});
    p.blur = pick({0.4f, 0.7f}, {0.7f, 1.0f}, {1.0f, 1.4f});
    p.noise = pick({2, 5}, {6, 12}, {12, 20});
    p.dust = pick({0, 0.0005f}, {0.0005f, 0.002f}, {0.001f, 0.003f});
    p.wetPatches = level == 2 ? uniformInt(rng, 3) : 0;
    p.dryPatches = level == 0 ? 0 : uniformInt(rng, level + 1);
    p.texture = pick({0.1f, 0.3f}, {0.25f, 0.5f}, {0.4f, 0.65f});
    return p;
}

Point impressionToMaster(const Master& master, const ImpressionParams& p, Point q) {
    const Point c = contactCentre(master, p);
    // Undo the rigid placement.
    const float dx = q.x - c.x - p.shiftX;
    const float dy = q.y - c.y - p.shiftY;
    const float cr = std::cos(p.rotation);
    const float sr = std::sin(p.rotation);
    const float vx = cr * dx + sr * dy;
    const float vy = -sr * dx + cr * dy;
    // Elastic part: no displacement in the close-contact disc, full displacement far out.
    const float dist = std::max(0.0f, std::hypot(vx, vy) - p.closeRadius);
    const float weight = 1.0f - std::exp(-0.5f * dist * dist / (p.brake * p.brake));
    const float cd = std::cos(p.distortRotation);
    const float sd = std::sin(p.distortRotation);
    const float ox = cd * vx - sd * vy + p.distortShiftX - vx;
    const float oy = sd * vx + cd * vy + p.distortShiftY - vy;
    return {c.x + vx + weight * ox, c.y + vy + weight * oy};
}

Point masterToImpression(const Master& master, const ImpressionParams& p, Point m) {
    // Newton-like iteration with the rigid part's Jacobian; the elastic part is gentle enough
    // (its displacement gradient stays well below one) for this to converge quickly.
    const Point c = contactCentre(master, p);
    const float cr = std::cos(p.rotation);
    const float sr = std::sin(p.rotation);
    Point q{cr * (m.x - c.x) - sr * (m.y - c.y) + c.x + p.shiftX,
            sr * (m.x - c.x) + cr * (m.y - c.y) + c.y + p.shiftY};
    for (int i = 0; i < 40; ++i) {
        const Point f = impressionToMaster(master, p, q);
        const float ex = m.x - f.x;
        const float ey = m.y - f.y;
        q.x += cr * ex - sr * ey;
        q.y += sr * ex + cr * ey;
        if (ex * ex + ey * ey < 1e-6f) {
            break;
        }
    }
    return q;
}

Impression makeImpression(const Master& master, const ImpressionParams& p, std::uint64_t seed) {
    Rng rng = deriveRng(seed, 0x696d70ULL);
    const int w = master.ridges.width;
    const int h = master.ridges.height;
    const Silhouette& sil = master.pattern.silhouette;
    const Point c = contactCentre(master, p);
    const float ca = std::max(8.0f, p.contactScaleX * sil.halfWidth);
    const float cb = std::max(8.0f, p.contactScaleY * sil.halfHeight);

    const FloatPlane ragged = smoothNoise(w, h, 24.0f, rng);
    FloatPlane blotch = smoothNoise(w, h, 3.0f, rng);
    const FloatPlane blotchMid = smoothNoise(w, h, 9.0f, rng);
    for (std::size_t i = 0; i < blotch.pixels.size(); ++i) {
        blotch.pixels[i] = 0.6f * blotch.pixels[i] + 0.6f * blotchMid.pixels[i];
    }
    const FloatPlane pressure = smoothNoise(w, h, 70.0f, rng);
    const FloatPlane mottle = smoothNoise(w, h, 2.5f, rng);
    const FloatPlane shade = smoothNoise(w, h, 120.0f, rng);
    const FloatPlane darkness = smoothNoise(w, h, 60.0f, rng);
    const float gradAngle = static_cast<float>(uniform(rng, 0, 2 * kPi));
    const float gradX = std::cos(gradAngle) / w;
    const float gradY = std::sin(gradAngle) / h;

    // Smudges and dry spots: soft round patches in which the ridge threshold swings far down
    // (ink fills the valleys) or up (no ink at all). A separate stream keeps the other noise
    // fields unchanged when patches are added.
    Rng patchRng = deriveRng(seed, 0x7061746368ULL);
    FloatPlane patches(w, h);
    for (int i = 0; i < p.wetPatches + p.dryPatches; ++i) {
        const float sign = i < p.wetPatches ? -1.0f : 1.0f;
        const float angle = static_cast<float>(uniform(patchRng, 0, 2 * kPi));
        const float reach = static_cast<float>(std::sqrt(uniform01(patchRng))) * 0.6f;
        const Point centre = masterToImpression(
            master, p, {c.x + reach * ca * std::cos(angle), c.y + reach * cb * std::sin(angle)});
        const float radius = static_cast<float>(uniform(patchRng, 14, 32));
        for (int y = std::max(0, static_cast<int>(centre.y - radius));
             y < std::min(h, static_cast<int>(centre.y + radius) + 1); ++y) {
            for (int x = std::max(0, static_cast<int>(centre.x - radius));
                 x < std::min(w, static_cast<int>(centre.x + radius) + 1); ++x) {
                const float r = std::hypot(x - centre.x, y - centre.y) / radius;
                if (r < 1.0f) {
                    patches.at(x, y) += sign * 1.6f * (1 - r * r) * (1 - r * r);
                }
            }
        }
    }

    Impression out;
    out.contact = GrayPlane(w, h);
    FloatPlane clarity(w, h);
    FloatPlane grey(w, h);
    FloatPlane contactSoft(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Point m =
                impressionToMaster(master, p, {static_cast<float>(x), static_cast<float>(y)});
            // Contact: inside both the finger outline and the pressed ellipse, ragged at the edge.
            const float u = (m.x - c.x) / ca;
            const float v = (m.y - c.y) / cb;
            const float ellipse = 1.0f - (u * u + v * v) + p.edgeRoughness * ragged.at(x, y);
            const float outline = silhouetteValue(sil, m.x, m.y);
            const float soft = std::clamp(std::min(ellipse / 0.12f, outline / 0.06f), 0.0f, 1.0f);
            contactSoft.at(x, y) = soft;
            out.contact.at(x, y) = soft >= 0.5f ? 255 : 0;

            // Skin: the threshold on the ridge profile sets ridge width; its small-scale noise
            // breaks thin ridges (dry) or bridges valleys (wet); light pressure near the edge.
            const float ridge = sampleBilinear(master.ridges, m.x, m.y, -1.0f);
            const float t = p.dryness + p.blotchiness * blotch.at(x, y) +
                            0.25f * p.pressureVariation * pressure.at(x, y) +
                            0.25f * (1.0f - soft) + patches.at(x, y);
            // Pores and creases are skin, so they are looked up on the master.
            const float skin = 1.0f -
                               p.poreVisibility * sampleBilinear(master.pores, m.x, m.y, 0.0f) -
                               p.creaseVisibility * sampleBilinear(master.creases, m.x, m.y, 0.0f);
            // Skin never prints evenly along the ridges, dry skin least: a fine mottle of weak ink.
            const float uneven = p.texture + 1.5f * std::max(0.0f, p.dryness);
            const float mottled =
                std::clamp(1.0f - uneven * std::max(0.0f, mottle.at(x, y) + 0.3f), 0.0f, 1.0f);
            const float ink = std::clamp(0.5f + 2.2f * (ridge - t), 0.0f, 1.0f) * soft *
                              std::max(0.0f, skin) * mottled;

            const float bg = p.background + p.backgroundVariation *
                                                (shade.at(x, y) + 1.5f * (gradX * x + gradY * y));
            const float con = p.contrast * (1.0f + 0.5f * p.pressureVariation * darkness.at(x, y));
            grey.at(x, y) = bg - con * ink;
            // How far apart ridge and valley grey would be here: the contrast one can read.
            const float ridgeInk = std::clamp(0.5f + 2.2f * (1.0f - t), 0.0f, 1.0f);
            const float valleyInk = std::clamp(0.5f + 2.2f * (-1.0f - t), 0.0f, 1.0f);
            clarity.at(x, y) = (ridgeInk - valleyInk) * soft * mottled * con;
        }
    }

    grey = gaussianBlur(grey, p.blur);
    out.image = GrayPlane(w, h);
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        // Sensor noise is strongest in the dark (inked) parts of the image.
        const float level = std::clamp((255.0f - grey.pixels[i]) / 128.0f, 0.0f, 1.0f);
        float g =
            grey.pixels[i] + p.noise * (0.5f + 0.5f * level) * static_cast<float>(normal(rng));
        if (p.dust > 0 && uniform01(rng) < p.dust) {
            g = static_cast<float>(uniform(rng, 0, 255));
        }
        out.image.pixels[i] = static_cast<std::uint8_t>(std::lround(std::clamp(g, 0.0f, 255.0f)));
    }

    // Readable: ridge-valley contrast well above the noise, averaged over about a ridge period.
    clarity = gaussianBlur(clarity, 3.0f);
    const float readable = std::max(40.0f, 3.0f * p.noise);

    // Ground truth follows the same mapping; minutiae off the contact area or the frame go.
    for (const Minutia& mm : master.minutiae) {
        const Point q = masterToImpression(master, p, {mm.x, mm.y});
        const int qx = static_cast<int>(std::lround(q.x));
        const int qy = static_cast<int>(std::lround(q.y));
        if (!out.contact.contains(qx, qy) || contactSoft.at(qx, qy) < 0.5f) {
            continue;
        }
        const float step = 4.0f;
        const Point tip = masterToImpression(
            master, p,
            {mm.x + step * std::cos(mm.direction), mm.y - step * std::sin(mm.direction)});
        Minutia moved = mm;
        moved.x = q.x;
        moved.y = q.y;
        moved.direction = toRecordAngle(tip.x - q.x, tip.y - q.y);
        if (clarity.at(qx, qy) < readable) {
            moved.quality = std::min(moved.quality, kUnclearQuality);
        }
        out.minutiae.push_back(moved);
    }
    return out;
}

}  // namespace zarn::gen
