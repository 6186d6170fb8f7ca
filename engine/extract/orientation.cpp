#include "orientation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "block_map.h"

namespace zarn {

namespace {

struct Tensor {
    Image<float> c2;      // sum of gx^2 - gy^2
    Image<float> s2;      // sum of 2 gx gy
    Image<float> energy;  // sum of gx^2 + gy^2
};

// Sobel gradients summed per block as the structure tensor.
Tensor blockTensor(const std::uint8_t* pixels, int width, int height) {
    const int bs = tuning::kBlockSize;
    const int bw = blocksFor(width), bh = blocksFor(height);
    Tensor t{Image<float>(bw, bh), Image<float>(bw, bh), Image<float>(bw, bh)};
    std::vector<float> c2(bw), s2(bw), en(bw);
    // Sobel responses are whole numbers of at most 4 * 255, so every product below and
    // each row's sum over one block (8 of them, under 2^24) is exact in integers and in
    // floats alike: integer lanes give the very values float arithmetic did.
    std::vector<std::int16_t> gxRow(width), gyRow(width);
    std::vector<std::int32_t> cosRow(width), sinRow(width), energyRow(width);
    for (int y = 0; y < height; ++y) {
        if (y % bs == 0) {
            std::fill(c2.begin(), c2.end(), 0.0f);
            std::fill(s2.begin(), s2.end(), 0.0f);
            std::fill(en.begin(), en.end(), 0.0f);
        }
        const std::uint8_t* up = pixels + static_cast<std::size_t>(std::max(0, y - 1)) * width;
        const std::uint8_t* mid = pixels + static_cast<std::size_t>(y) * width;
        const std::uint8_t* down =
            pixels + static_cast<std::size_t>(std::min(height - 1, y + 1)) * width;
        // Sobel responses for the row first (a loop the compiler vectorises), the two
        // edge columns with clamped neighbours, then sums per block.
        auto sobel = [&](int x, int xl, int xr) {
            gxRow[x] = static_cast<std::int16_t>(up[xr] + 2 * mid[xr] + down[xr] - up[xl] -
                                                 2 * mid[xl] - down[xl]);
            gyRow[x] = static_cast<std::int16_t>(down[xl] + 2 * down[x] + down[xr] - up[xl] -
                                                 2 * up[x] - up[xr]);
        };
        for (int x = 1; x + 1 < width; ++x)
            sobel(x, x - 1, x + 1);
        sobel(0, 0, std::min(1, width - 1));
        sobel(width - 1, std::max(0, width - 2), width - 1);
        for (int x = 0; x < width; ++x) {
            const std::int32_t gx = gxRow[x], gy = gyRow[x];
            cosRow[x] = gx * gx - gy * gy;
            sinRow[x] = 2 * gx * gy;
            energyRow[x] = gx * gx + gy * gy;
        }
        auto addBlock = [&](int bx, int count) {
            std::int32_t a = 0, b = 0, e = 0;
            for (int x = bx * bs; x < bx * bs + count; ++x) {
                a += cosRow[x];
                b += sinRow[x];
                e += energyRow[x];
            }
            c2[bx] += static_cast<float>(a);
            s2[bx] += static_cast<float>(b);
            en[bx] += static_cast<float>(e);
        };
        // Whole blocks with a fixed count, which unrolls into vector sums.
        const int wholeBlocks = width / bs;
        for (int bx = 0; bx < wholeBlocks; ++bx)
            addBlock(bx, bs);
        if (wholeBlocks < bw)
            addBlock(wholeBlocks, width - wholeBlocks * bs);
        if (y % bs == bs - 1 || y == height - 1) {
            for (int bx = 0; bx < bw; ++bx) {
                t.c2.at(bx, y / bs) = c2[bx];
                t.s2.at(bx, y / bs) = s2[bx];
                t.energy.at(bx, y / bs) = en[bx];
            }
        }
    }
    return t;
}

Tensor smoothed(const Tensor& raw, float sigma) {
    Tensor t = raw;
    smoothBlockMap(t.c2, sigma);
    smoothBlockMap(t.s2, sigma);
    smoothBlockMap(t.energy, sigma);
    return t;
}

float coherenceOf(const Tensor& t, std::size_t i) {
    const float e = t.energy.pixels[i];
    return e > 0 ? std::hypot(t.c2.pixels[i], t.s2.pixels[i]) / e : 0.0f;
}

}  // namespace

OrientationField computeOrientation(const std::uint8_t* pixels, int width, int height) {
    const Tensor raw = blockTensor(pixels, width, height);
    const Tensor fine = smoothed(raw, tuning::kOrientSmoothSigmaBlocks);
    const Tensor wide = smoothed(raw, tuning::kOrientWideSigmaBlocks);
    const int bw = raw.c2.width, bh = raw.c2.height;
    OrientationField field{Image<float>(bw, bh), Image<float>(bw, bh)};
    const float pi = static_cast<float>(M_PI);
    for (std::size_t i = 0; i < field.angle.pixels.size(); ++i) {
        // Where the local estimate is unclear (scars, creases, the core) the wider
        // window usually still sees the flow. The coherence stays the local one: the
        // wide window borrows clarity from strong neighbours, which must not turn
        // background next to the print into foreground.
        const float coh = coherenceOf(fine, i);
        const Tensor* use = &fine;
        if (coh < tuning::kOrientLowCoherence && coherenceOf(wide, i) > coh)
            use = &wide;
        // Dominant gradient direction, turned 90 degrees to lie along the ridges.
        float a = 0.5f * std::atan2(use->s2.pixels[i], use->c2.pixels[i]) + 0.5f * pi;
        if (a >= pi)
            a -= pi;
        if (a < 0)
            a += pi;
        field.angle.pixels[i] = a;
        field.coherence.pixels[i] = coh;
    }
    return field;
}

}  // namespace zarn

namespace zarn {

float orientationAt(const OrientationField& field, float x, float y) {
    const Image<float>& a = field.angle;
    const float bx = x / tuning::kBlockSize - 0.5f, by = y / tuning::kBlockSize - 0.5f;
    const int x0 = std::clamp(static_cast<int>(std::floor(bx)), 0, a.width - 1);
    const int y0 = std::clamp(static_cast<int>(std::floor(by)), 0, a.height - 1);
    const int x1 = std::min(x0 + 1, a.width - 1), y1 = std::min(y0 + 1, a.height - 1);
    const float fx = std::clamp(bx - x0, 0.0f, 1.0f), fy = std::clamp(by - y0, 0.0f, 1.0f);
    float c = 0, s = 0;
    auto add = [&](int px, int py, float w) {
        c += w * std::cos(2 * a.at(px, py));
        s += w * std::sin(2 * a.at(px, py));
    };
    add(x0, y0, (1 - fx) * (1 - fy));
    add(x1, y0, fx * (1 - fy));
    add(x0, y1, (1 - fx) * fy);
    add(x1, y1, fx * fy);
    float angle = 0.5f * std::atan2(s, c);
    if (angle < 0)
        angle += static_cast<float>(M_PI);
    return angle;
}

}  // namespace zarn
