// Block maps: one value per kBlockSize square of the image, plus the helpers that
// read them back at pixel positions.
#pragma once

#include <algorithm>
#include <cmath>

#include "image.h"
#include "tuning.h"

namespace zarn {

inline int blocksFor(int pixels) {
    return (pixels + tuning::kBlockSize - 1) / tuning::kBlockSize;
}

// Bilinear read of a block map at pixel (x, y); block values sit at block centres.
template <typename T>
float sampleBlockMap(const Image<T>& map, float x, float y) {
    const float bx = x / tuning::kBlockSize - 0.5f;
    const float by = y / tuning::kBlockSize - 0.5f;
    const int x0 = std::clamp(static_cast<int>(std::floor(bx)), 0, map.width - 1);
    const int y0 = std::clamp(static_cast<int>(std::floor(by)), 0, map.height - 1);
    const int x1 = std::min(x0 + 1, map.width - 1);
    const int y1 = std::min(y0 + 1, map.height - 1);
    const float fx = std::clamp(bx - x0, 0.0f, 1.0f);
    const float fy = std::clamp(by - y0, 0.0f, 1.0f);
    const float top = map.at(x0, y0) * (1 - fx) + map.at(x1, y0) * fx;
    const float bottom = map.at(x0, y1) * (1 - fx) + map.at(x1, y1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// The block holding pixel (x, y), clamped into the map.
template <typename T>
const T& blockAt(const Image<T>& map, int x, int y) {
    return map.at(std::clamp(x / tuning::kBlockSize, 0, map.width - 1),
                  std::clamp(y / tuning::kBlockSize, 0, map.height - 1));
}

// Separable Gaussian smoothing of a block map; edges repeat the border value.
void smoothBlockMap(Image<float>& map, float sigmaBlocks);

}  // namespace zarn
