#include "normalization.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zarn {

BlockStats computeBlockStats(const std::uint8_t* pixels, int width, int height) {
    const int bs = tuning::kBlockSize;
    const int bw = blocksFor(width), bh = blocksFor(height);
    // Per-block sums, then window sums over neighbouring blocks.
    std::vector<double> sum(static_cast<std::size_t>(bw) * bh, 0.0);
    std::vector<double> sumSq(sum.size(), 0.0);
    std::vector<int> count(sum.size(), 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * width;
        const std::size_t base = static_cast<std::size_t>(y / bs) * bw;
        for (int bx = 0; bx < bw; ++bx) {
            const int x0 = bx * bs, x1 = std::min(width, x0 + bs);
            unsigned s = 0, s2 = 0;
            for (int x = x0; x < x1; ++x) {
                s += row[x];
                s2 += static_cast<unsigned>(row[x]) * row[x];
            }
            sum[base + bx] += s;
            sumSq[base + bx] += s2;
            count[base + bx] += x1 - x0;
        }
    }
    BlockStats stats{Image<float>(bw, bh), Image<float>(bw, bh), Image<float>(bw, bh)};
    auto window = [&](int bx, int by, int r, double& mean, double& deviation) {
        double s = 0, s2 = 0;
        long n = 0;
        for (int y = std::max(0, by - r); y <= std::min(bh - 1, by + r); ++y)
            for (int x = std::max(0, bx - r); x <= std::min(bw - 1, bx + r); ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * bw + x;
                s += sum[i];
                s2 += sumSq[i];
                n += count[i];
            }
        mean = s / n;
        deviation = std::sqrt(std::max(0.0, s2 / n - mean * mean));
    };
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            double mean = 0, deviation = 0;
            window(bx, by, tuning::kNormWindowBlocks, mean, deviation);
            stats.mean.at(bx, by) = static_cast<float>(mean);
            stats.contrast.at(bx, by) = static_cast<float>(deviation);
            window(bx, by, tuning::kSegWindowBlocks, mean, deviation);
            stats.localContrast.at(bx, by) = static_cast<float>(deviation);
        }
    return stats;
}

PaddedPlane normalizeImage(const std::uint8_t* pixels, int width, int height,
                           const BlockStats& stats) {
    PaddedPlane out(width, height, tuning::kPadMargin);
    const int bs = tuning::kBlockSize;
    const int bw = stats.mean.width;
    // Per-block 1/std so the inner loop multiplies; mean and scale are interpolated
    // bilinearly between block centres to avoid block seams.
    Image<float> scale(bw, stats.mean.height);
    for (std::size_t i = 0; i < scale.pixels.size(); ++i)
        scale.pixels[i] = 1.0f / std::max(tuning::kNormMinStd, stats.contrast.pixels[i]);
    // Horizontal interpolation positions are the same on every row.
    std::vector<int> left(width), right(width);
    std::vector<float> frac(width);
    for (int x = 0; x < width; ++x) {
        const float fx = (x + 0.5f) / bs - 0.5f;
        left[x] = std::clamp(static_cast<int>(std::floor(fx)), 0, bw - 1);
        right[x] = std::min(left[x] + 1, bw - 1);
        frac[x] = std::clamp(fx - left[x], 0.0f, 1.0f);
    }
    std::vector<float> meanRow(bw), scaleRow(bw);
    for (int y = 0; y < height; ++y) {
        const float fy = (y + 0.5f) / bs - 0.5f;
        const int y0 = std::clamp(static_cast<int>(std::floor(fy)), 0, stats.mean.height - 1);
        const int y1 = std::min(y0 + 1, stats.mean.height - 1);
        const float wy = std::clamp(fy - y0, 0.0f, 1.0f);
        for (int bx = 0; bx < bw; ++bx) {
            meanRow[bx] =
                stats.mean.at(bx, y0) + (stats.mean.at(bx, y1) - stats.mean.at(bx, y0)) * wy;
            scaleRow[bx] = scale.at(bx, y0) + (scale.at(bx, y1) - scale.at(bx, y0)) * wy;
        }
        const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * width;
        float* dst = out.row(y);
        for (int x = 0; x < width; ++x) {
            const float m = meanRow[left[x]] + (meanRow[right[x]] - meanRow[left[x]]) * frac[x];
            const float k = scaleRow[left[x]] + (scaleRow[right[x]] - scaleRow[left[x]]) * frac[x];
            dst[x] = (m - src[x]) * k;
        }
    }
    return out;
}

}  // namespace zarn
