#include "quality.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "block_map.h"
#include "minutiae_filter.h"

namespace zarn {

namespace {

// Clarity of one block: coherence and contrast, each saturating at typical good values.
float blockClarity(const ForegroundMask& mask, const OrientationField& field,
                   const BlockStats& stats, float x, float y) {
    const float coherence =
        std::clamp((sampleBlockMap(field.coherence, x, y) - 0.15f) / 0.55f, 0.0f, 1.0f);
    const float contrast = std::clamp(
        sampleBlockMap(stats.contrast, x, y) / (0.8f * mask.referenceContrast), 0.0f, 1.0f);
    return 0.6f * coherence + 0.4f * contrast;
}

}  // namespace

std::uint8_t minutiaQuality(const Candidate& m, const ForegroundMask& mask,
                            const OrientationField& field, const BlockStats& stats) {
    const float clarity = blockClarity(mask, field, stats, m.x + 0.5f, m.y + 0.5f);
    const float border =
        std::clamp(distanceToBorder(mask, m.x, m.y) / tuning::kBorderFullQuality, 0.0f, 1.0f);
    const float q = 100.0f * clarity * (0.5f + 0.5f * border);
    return static_cast<std::uint8_t>(std::clamp(std::lround(q), 1L, 100L));
}

std::uint8_t fingerQuality(const ForegroundMask& mask, const OrientationField& field,
                           const BlockStats& stats) {
    if (mask.foregroundBlocks == 0)
        return 0;
    const int bs = tuning::kBlockSize;
    float sum = 0;
    for (int y = 0; y < mask.blocks.height; ++y)
        for (int x = 0; x < mask.blocks.width; ++x)
            if (mask.blocks.at(x, y))
                sum += blockClarity(mask, field, stats, (x + 0.5f) * bs, (y + 0.5f) * bs);
    const float area = static_cast<float>(mask.foregroundBlocks) * bs * bs;
    const float q = 100.0f * sum / mask.foregroundBlocks *
                    std::min(1.0f, std::sqrt(area / tuning::kFullQualityArea));
    return static_cast<std::uint8_t>(std::clamp(std::lround(q), 0L, 100L));
}

std::vector<Minutia> keepBest(std::vector<Minutia> minutiae, int limit) {
    auto rank = [](const Minutia& m) {
        return std::make_tuple(-static_cast<int>(m.quality), m.y, m.x, static_cast<int>(m.type),
                               m.direction);
    };
    std::sort(minutiae.begin(), minutiae.end(),
              [&](const Minutia& a, const Minutia& b) { return rank(a) < rank(b); });
    if (static_cast<int>(minutiae.size()) > limit)
        minutiae.resize(limit);
    return minutiae;
}

}  // namespace zarn
