#include "fingergen/fields.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zarn::gen {

namespace {

float smoothstep01(float t) {
    return t * t * (3.0f - 2.0f * t);
}

}  // namespace

FloatPlane smoothNoise(int width, int height, float cell, Rng& rng) {
    FloatPlane out(width, height);
    if (width <= 0 || height <= 0) {
        return out;
    }
    cell = std::max(cell, 1.0f);
    const int gw = static_cast<int>(std::ceil(width / cell)) + 2;
    const int gh = static_cast<int>(std::ceil(height / cell)) + 2;
    std::vector<float> grid(static_cast<std::size_t>(gw) * gh);
    for (float& g : grid) {
        g = static_cast<float>(uniform(rng, -1.0, 1.0));
    }
    for (int y = 0; y < height; ++y) {
        const float gy = y / cell;
        const int iy = static_cast<int>(gy);
        const float ty = smoothstep01(gy - iy);
        for (int x = 0; x < width; ++x) {
            const float gx = x / cell;
            const int ix = static_cast<int>(gx);
            const float tx = smoothstep01(gx - ix);
            const float* r0 = &grid[static_cast<std::size_t>(iy) * gw + ix];
            const float* r1 = r0 + gw;
            const float top = r0[0] + (r0[1] - r0[0]) * tx;
            const float bottom = r1[0] + (r1[1] - r1[0]) * tx;
            out.at(x, y) = top + (bottom - top) * ty;
        }
    }
    return out;
}

FloatPlane gaussianBlur(const FloatPlane& in, float sigma) {
    if (sigma <= 0.0f || in.width == 0 || in.height == 0) {
        return in;
    }
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0f * sigma)));
    std::vector<float> k(2 * radius + 1);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        k[i + radius] = std::exp(-0.5f * i * i / (sigma * sigma));
        sum += k[i + radius];
    }
    for (float& v : k) {
        v /= sum;
    }
    const int w = in.width;
    const int h = in.height;
    FloatPlane tmp(w, h);
    FloatPlane out(w, h);
    // Borders clamp to the edge pixel so a blur never darkens or lightens the frame.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -radius; i <= radius; ++i) {
                acc += k[i + radius] * in.at(std::clamp(x + i, 0, w - 1), y);
            }
            tmp.at(x, y) = acc;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -radius; i <= radius; ++i) {
                acc += k[i + radius] * tmp.at(x, std::clamp(y + i, 0, h - 1));
            }
            out.at(x, y) = acc;
        }
    }
    return out;
}

float sampleBilinear(const FloatPlane& plane, float x, float y, float outside) {
    if (!(x >= 0.0f && y >= 0.0f && x <= plane.width - 1.0f && y <= plane.height - 1.0f)) {
        return outside;
    }
    const int ix = std::min(static_cast<int>(x), plane.width - 2 < 0 ? 0 : plane.width - 2);
    const int iy = std::min(static_cast<int>(y), plane.height - 2 < 0 ? 0 : plane.height - 2);
    const float tx = x - ix;
    const float ty = y - iy;
    const int ix1 = std::min(ix + 1, plane.width - 1);
    const int iy1 = std::min(iy + 1, plane.height - 1);
    const float a = plane.at(ix, iy) + (plane.at(ix1, iy) - plane.at(ix, iy)) * tx;
    const float b = plane.at(ix, iy1) + (plane.at(ix1, iy1) - plane.at(ix, iy1)) * tx;
    return a + (b - a) * ty;
}

FloatPlane distanceToOutside(const GrayPlane& mask) {
    const int w = mask.width;
    const int h = mask.height;
    const float big = 1e9f;
    FloatPlane d(w, h, big);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (mask.at(x, y) == 0) {
                d.at(x, y) = 0;
            }
        }
    }
    // Two-pass 3-4 style chamfer with weights 1 and sqrt(2); the frame counts as outside.
    const float diag = 1.41421356f;
    auto get = [&](int x, int y) { return d.contains(x, y) ? d.at(x, y) : 0.0f; };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float v = d.at(x, y);
            v = std::min(v, get(x - 1, y) + 1);
            v = std::min(v, get(x, y - 1) + 1);
            v = std::min(v, get(x - 1, y - 1) + diag);
            v = std::min(v, get(x + 1, y - 1) + diag);
            d.at(x, y) = v;
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = w - 1; x >= 0; --x) {
            float v = d.at(x, y);
            v = std::min(v, get(x + 1, y) + 1);
            v = std::min(v, get(x, y + 1) + 1);
            v = std::min(v, get(x + 1, y + 1) + diag);
            v = std::min(v, get(x - 1, y + 1) + diag);
            d.at(x, y) = v;
        }
    }
    return d;
}

}  // namespace zarn::gen
