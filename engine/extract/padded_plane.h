// PaddedPlane: a float image with a zero margin on every side, so fixed-reach
// filters can read around any pixel without bounds checks.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "block_map.h"
#include "plane_storage.h"

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
          data(takePlaneStorage(static_cast<std::size_t>(stride) *
                                (blocksFor(h) * tuning::kBlockSize + 2 * m))) {}
    PaddedPlane(const PaddedPlane&) = default;
    PaddedPlane(PaddedPlane&&) = default;
    PaddedPlane& operator=(const PaddedPlane&) = default;
    PaddedPlane& operator=(PaddedPlane&& other) {
        if (this != &other) {
            givePlaneStorage(std::move(data));
            width = other.width;
            height = other.height;
            margin = other.margin;
            stride = other.stride;
            data = std::move(other.data);
        }
        return *this;
    }
    ~PaddedPlane() { givePlaneStorage(std::move(data)); }

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
