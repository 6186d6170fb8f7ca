// PaddedPlane: a float image with a zero margin on every side, so fixed-reach
// filters can read around any pixel without bounds checks.
#pragma once

#include <cstddef>
#include <vector>

#include "block_map.h"

namespace zarn {

struct PaddedPlane {
    int width = 0;  // the image area, in pixels
    int height = 0;
    int margin = 0;  // zero rows and columns around it
    int stride = 0;  // floats per row, including margins and rounding to whole blocks
    std::vector<float> data;

    PaddedPlane() = default;
    PaddedPlane(int w, int h, int m)
        : width(w),
          height(h),
          margin(m),
          stride(blocksFor(w) * tuning::kBlockSize + 2 * m),
          data(static_cast<std::size_t>(stride) * (blocksFor(h) * tuning::kBlockSize + 2 * m),
               0.0f) {}

    // Pointer to pixel (0, y) of the image area; negative x and y up to -margin are valid.
    float* row(int y) {
        return data.data() + static_cast<std::size_t>(y + margin) * stride + margin;
    }
    const float* row(int y) const {
        return data.data() + static_cast<std::size_t>(y + margin) * stride + margin;
    }
    float at(int x, int y) const { return row(y)[x]; }
};

}  // namespace zarn
