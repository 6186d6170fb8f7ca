#include "binarization.h"

#include "block_map.h"

namespace zarn {

Image<std::uint8_t> binarizeRidges(const PaddedPlane& enhanced, const ForegroundMask& mask) {
    const int w = enhanced.width, h = enhanced.height, bs = tuning::kBlockSize;
    Image<std::uint8_t> out(w, h, 0);
    for (int y = 1; y < h - 1; ++y) {
        const float* src = enhanced.row(y);
        std::uint8_t* dst = &out.at(0, y);
        const std::uint8_t* blockRow = &mask.blocks.at(0, y / bs);
        for (int x = 1; x < w - 1; ++x)
            dst[x] = blockRow[x / bs] && src[x] > 0.0f;
    }
    return out;
}

}  // namespace zarn
