#include "segmentation.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "block_map.h"

namespace zarn {

namespace {

using Mask = Image<std::uint8_t>;

void majoritySmooth(Mask& mask) {
    Mask out = mask;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            int on = 0, total = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!mask.contains(x + dx, y + dy))
                        continue;
                    on += mask.at(x + dx, y + dy);
                    ++total;
                }
            out.at(x, y) = 2 * on > total ? 1 : 0;
        }
    mask = std::move(out);
}

// Labels 4-connected regions of `value`; returns the size of each label (index 0 unused).
std::vector<int> labelRegions(const Mask& mask, std::uint8_t value, Image<int>& labels,
                              std::vector<bool>* touchesEdge) {
    labels = Image<int>(mask.width, mask.height, 0);
    std::vector<int> sizes{0};
    if (touchesEdge)
        touchesEdge->assign(1, false);
    std::vector<int> stack;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            if (mask.at(x, y) != value || labels.at(x, y))
                continue;
            const int label = static_cast<int>(sizes.size());
            int size = 0;
            bool edge = false;
            stack.assign(1, y * mask.width + x);
            labels.at(x, y) = label;
            while (!stack.empty()) {
                const int p = stack.back();
                stack.pop_back();
                const int px = p % mask.width, py = p / mask.width;
                ++size;
                edge = edge || px == 0 || py == 0 || px == mask.width - 1 || py == mask.height - 1;
                const int nx[4] = {px - 1, px + 1, px, px};
                const int ny[4] = {py, py, py - 1, py + 1};
                for (int k = 0; k < 4; ++k) {
                    if (!mask.contains(nx[k], ny[k]) || mask.at(nx[k], ny[k]) != value ||
                        labels.at(nx[k], ny[k]))
                        continue;
                    labels.at(nx[k], ny[k]) = label;
                    stack.push_back(ny[k] * mask.width + nx[k]);
                }
            }
            sizes.push_back(size);
            if (touchesEdge)
                touchesEdge->push_back(edge);
        }
    return sizes;
}

void removeSmallBlobs(Mask& mask) {
    Image<int> labels;
    const std::vector<int> sizes = labelRegions(mask, 1, labels, nullptr);
    const int largest = sizes.size() > 1 ? *std::max_element(sizes.begin() + 1, sizes.end()) : 0;
    const int keep = std::max(tuning::kSegMinBlobBlocks,
                              static_cast<int>(tuning::kSegMinBlobFraction * largest));
    for (std::size_t i = 0; i < mask.pixels.size(); ++i)
        if (mask.pixels[i] && sizes[labels.pixels[i]] < keep)
            mask.pixels[i] = 0;
}

// Background enclosed by the print (a scar, a very dry patch, the core) is foreground.
void fillHoles(Mask& mask) {
    Image<int> labels;
    std::vector<bool> edge;
    labelRegions(mask, 0, labels, &edge);
    for (std::size_t i = 0; i < mask.pixels.size(); ++i)
        if (!mask.pixels[i] && !edge[labels.pixels[i]])
            mask.pixels[i] = 1;
}

// Two-pass chamfer distance, in pixels, from each block centre to the nearest
// background block or the image edge, less half a block so it approximates the
// distance to the boundary itself.
Image<float> borderDistance(const Mask& mask) {
    const int w = mask.width + 2, h = mask.height + 2;
    const float big = 1e9f, diag = std::sqrt(2.0f);
    std::vector<float> d(static_cast<std::size_t>(w) * h, 0.0f);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            d[static_cast<std::size_t>(y + 1) * w + x + 1] = mask.at(x, y) ? big : 0.0f;
    auto at = [&](int x, int y) -> float& { return d[static_cast<std::size_t>(y) * w + x]; };
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            float& v = at(x, y);
            v = std::min({v, at(x - 1, y) + 1, at(x, y - 1) + 1, at(x - 1, y - 1) + diag,
                          at(x + 1, y - 1) + diag});
        }
    for (int y = h - 2; y >= 1; --y)
        for (int x = w - 2; x >= 1; --x) {
            float& v = at(x, y);
            v = std::min({v, at(x + 1, y) + 1, at(x, y + 1) + 1, at(x + 1, y + 1) + diag,
                          at(x - 1, y + 1) + diag});
        }
    Image<float> out(mask.width, mask.height);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            out.at(x, y) = std::max(0.0f, (at(x + 1, y + 1) - 0.5f) * tuning::kBlockSize);
    return out;
}

}  // namespace

ForegroundMask segmentForeground(const BlockStats& stats, const OrientationField& field) {
    const int bw = stats.localContrast.width, bh = stats.localContrast.height;
    ForegroundMask result;
    result.blocks = Mask(bw, bh, 0);

    // Reference contrast: a high percentile over blocks that look like ridges at all.
    std::vector<float> candidates;
    for (std::size_t i = 0; i < stats.localContrast.pixels.size(); ++i)
        if (field.coherence.pixels[i] >= tuning::kSegMinCoherence &&
            stats.localContrast.pixels[i] >= tuning::kSegMinContrast)
            candidates.push_back(stats.localContrast.pixels[i]);
    if (candidates.empty()) {
        result.borderDistance = Image<float>(bw, bh, 0.0f);
        result.interior = Mask(bw, bh, 0);
        return result;
    }
    const std::size_t nth = static_cast<std::size_t>(tuning::kSegReferencePercentile *
                                                     static_cast<float>(candidates.size() - 1));
    std::nth_element(candidates.begin(), candidates.begin() + nth, candidates.end());
    result.referenceContrast = candidates[nth];
    const float threshold =
        std::max(tuning::kSegMinContrast, tuning::kSegRelContrast * result.referenceContrast);

    for (std::size_t i = 0; i < result.blocks.pixels.size(); ++i)
        result.blocks.pixels[i] = stats.localContrast.pixels[i] >= threshold &&
                                  field.coherence.pixels[i] >= tuning::kSegMinCoherence;
    for (int pass = 0; pass < tuning::kSegSmoothPasses; ++pass)
        majoritySmooth(result.blocks);
    removeSmallBlobs(result.blocks);
    fillHoles(result.blocks);

    result.foregroundBlocks =
        static_cast<int>(std::count(result.blocks.pixels.begin(), result.blocks.pixels.end(), 1));
    result.borderDistance = borderDistance(result.blocks);
    result.interior = Mask(bw, bh, 0);
    for (std::size_t i = 0; i < result.interior.pixels.size(); ++i)
        result.interior.pixels[i] =
            result.borderDistance.pixels[i] >= tuning::kBorderMargin - tuning::kBlockSize;
    return result;
}

}  // namespace zarn
