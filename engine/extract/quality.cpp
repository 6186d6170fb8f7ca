#include "quality.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "block_map.h"
#include "minutiae_filter.h"

namespace zarn {

Image<float> ridgeClarity(const ForegroundMask& mask, const OrientationField& field,
                          const BlockStats& stats, const Image<float>& response) {
    Image<float> clarity(mask.blocks.width, mask.blocks.height, 0.0f);
    for (std::size_t i = 0; i < clarity.pixels.size(); ++i) {
        if (!mask.blocks.pixels[i])
            continue;
        // Each term rises from its floor and saturates at values typical of good ridges.
        auto ramp = [](float v, float floor, float full) {
            return std::clamp((v - floor) / (full - floor), 0.0f, 1.0f);
        };
        const float coherence = ramp(field.coherence.pixels[i], tuning::kClarityCoherenceFloor,
                                     tuning::kClarityCoherenceFull);
        const float contrast = ramp(stats.localContrast.pixels[i], 0.0f,
                                    tuning::kClarityContrastFull * mask.referenceContrast);
        const float filtered =
            ramp(response.pixels[i], tuning::kClarityResponseFloor, tuning::kClarityResponseFull);
        clarity.pixels[i] = tuning::kClarityWeightCoherence * coherence +
                            tuning::kClarityWeightContrast * contrast +
                            tuning::kClarityWeightResponse * filtered;
    }
    return clarity;
}

std::uint8_t minutiaQuality(const Candidate& m, const ForegroundMask& mask,
                            const Image<float>& clarity) {
    const float local = sampleBlockMap(clarity, m.x + 0.5f, m.y + 0.5f);
    const float border =
        std::clamp(distanceToBorder(mask, m.x, m.y) / tuning::kBorderFullQuality, 0.0f, 1.0f);
    const float clear = 100.0f * local * (1 - tuning::kBorderQualityPenalty * (1 - border));
    float q = clear * std::pow(1 - tuning::kDoubtQualityPenalty, static_cast<float>(m.doubts));
    // Doubts rank a minutia behind clear ones; whether the view has enough reliable minutiae
    // is a matter of clarity alone, so a doubt never takes a clear one below that line.
    if (clear >= tuning::kReliableQuality)
        q = std::max(q, static_cast<float>(tuning::kReliableQuality));
    return static_cast<std::uint8_t>(std::clamp(std::lround(q), 1L, 100L));
}

std::vector<Minutia> rateMinutiae(const std::vector<Candidate>& candidates,
                                  const ForegroundMask& mask, const Image<float>& clarity) {
    const float twoPi = static_cast<float>(2 * M_PI);
    std::vector<Minutia> out;
    for (const Candidate& c : candidates) {
        Minutia m;
        m.x = static_cast<float>(c.x) + c.shiftX;
        m.y = static_cast<float>(c.y) + c.shiftY;
        // Pixel axes run y down; the record's angles run counter-clockwise as seen.
        m.direction = c.angle > 0 ? twoPi - c.angle : 0.0f;
        if (m.direction >= twoPi)
            m.direction -= twoPi;
        m.type = c.type;
        m.quality = minutiaQuality(c, mask, clarity);
        out.push_back(m);
    }
    return out;
}

int countReliable(const std::vector<Minutia>& minutiae) {
    return static_cast<int>(std::count_if(minutiae.begin(), minutiae.end(), [](const Minutia& m) {
        return m.quality >= tuning::kReliableQuality;
    }));
}

std::uint8_t fingerQuality(const ForegroundMask& mask, const Image<float>& clarity) {
    if (mask.foregroundBlocks == 0)
        return 0;
    float sum = 0;
    for (float c : clarity.pixels)
        sum += c;
    const float bs = static_cast<float>(tuning::kBlockSize);
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
