#include "normalization.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "vec4.h"

namespace zarn {

BlockStats computeBlockStats(const std::uint8_t* pixels, int width, int height) {
    const int bs = tuning::kBlockSize;
    const int bw = blocksFor(width), bh = blocksFor(height);
    // Sums of grey levels and their squares are whole numbers, so integers give the
    // exact values in any order: per-column sums over a block row (a loop the
    // compiler vectorises), then per block, then window sums from a summed-area table.
    const std::size_t cells = static_cast<std::size_t>(bw + 1) * (bh + 1);
    std::vector<std::int64_t> areaSum(cells, 0), areaSq(cells, 0), areaCount(cells, 0);
    std::vector<std::uint32_t> columnSum(width), columnSq(width);
    for (int by = 0; by < bh; ++by) {
        const int y0 = by * bs, y1 = std::min(height, y0 + bs);
        std::fill(columnSum.begin(), columnSum.end(), 0u);
        std::fill(columnSq.begin(), columnSq.end(), 0u);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const std::uint16_t v = row[x];
                columnSum[x] += v;
                columnSq[x] += static_cast<std::uint16_t>(v * v);
            }
        }
        // Row by + 1 of the table holds the sums over block rows 0..by.
        const std::size_t above = static_cast<std::size_t>(by) * (bw + 1);
        const std::size_t here = above + bw + 1;
        std::int64_t rowSum = 0, rowSq = 0, rowCount = 0;
        for (int bx = 0; bx < bw; ++bx) {
            const int x0 = bx * bs, x1 = std::min(width, x0 + bs);
            for (int x = x0; x < x1; ++x) {
                rowSum += columnSum[x];
                rowSq += columnSq[x];
            }
            rowCount += static_cast<std::int64_t>(x1 - x0) * (y1 - y0);
            areaSum[here + bx + 1] = areaSum[above + bx + 1] + rowSum;
            areaSq[here + bx + 1] = areaSq[above + bx + 1] + rowSq;
            areaCount[here + bx + 1] = areaCount[above + bx + 1] + rowCount;
        }
    }
    BlockStats stats{Image<float>(bw, bh), Image<float>(bw, bh), Image<float>(bw, bh)};
    auto window = [&](int bx, int by, int r, double& mean, double& deviation) {
        const std::size_t x0 = std::max(0, bx - r), x1 = std::min(bw, bx + r + 1);
        const std::size_t y0 = std::max(0, by - r), y1 = std::min(bh, by + r + 1);
        const std::size_t stride = bw + 1;
        auto total = [&](const std::vector<std::int64_t>& a) {
            return a[y1 * stride + x1] - a[y0 * stride + x1] - a[y1 * stride + x0] +
                   a[y0 * stride + x0];
        };
        const double s = static_cast<double>(total(areaSum));
        const double s2 = static_cast<double>(total(areaSq));
        const long n = static_cast<long>(total(areaCount));
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

static_assert(tuning::kBlockSize % 4 == 0, "a block row is whole vectors of four");

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
    std::vector<int> runEnd(width);
    for (int x = width - 1; x >= 0; --x)
        runEnd[x] = x + 1 < width && left[x + 1] == left[x] ? runEnd[x + 1] : x + 1;
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
        const std::uint8_t* __restrict src = pixels + static_cast<std::size_t>(y) * width;
        float* __restrict dst = out.row(y);
        const float* __restrict fracs = frac.data();
        // Within a run of one pair of blocks the differences are fixed; inside the image
        // a run is one block wide, two vectors of four.
        for (int x = 0; x < width; x = runEnd[x]) {
            const int l = left[x], r = right[x], end = runEnd[x];
            const float m0 = meanRow[l], dm = meanRow[r] - meanRow[l];
            const float k0 = scaleRow[l], dk = scaleRow[r] - scaleRow[l];
            if (end - x == bs) {
                for (int i = x; i < end; i += 4) {
                    const Vec4 f = load4(fracs + i);
                    const Vec4 grey = {static_cast<float>(src[i]), static_cast<float>(src[i + 1]),
                                       static_cast<float>(src[i + 2]),
                                       static_cast<float>(src[i + 3])};
                    const Vec4 v = (m0 + dm * f - grey) * (k0 + dk * f);
                    std::memcpy(dst + i, &v, sizeof v);
                }
            } else {
                for (int i = x; i < end; ++i)
                    dst[i] = (m0 + dm * fracs[i] - src[i]) * (k0 + dk * fracs[i]);
            }
        }
    }
    return out;
}

}  // namespace zarn
