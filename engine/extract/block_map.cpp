#include "block_map.h"

#include <algorithm>
#include <vector>

namespace zarn {

void smoothBlockMap(Image<float>& map, float sigmaBlocks) {
    const int radius = std::max(1, static_cast<int>(std::ceil(2.5f * sigmaBlocks)));
    std::vector<float> kernel(2 * radius + 1);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[i + radius] = std::exp(-0.5f * i * i / (sigmaBlocks * sigmaBlocks));
        sum += kernel[i + radius];
    }
    for (float& k : kernel)
        k /= sum;

    // Rows are copied into a buffer with repeated ends, so the convolution needs no
    // bounds checks; columns are done a whole row at a time from a copy of the map, the
    // top and bottom rows repeated. Either way each acc runs tap by tap across a row,
    // which the compiler vectorises, and adds the taps of every value in kernel order.
    const int w = map.width, h = map.height;
    std::vector<float> line(static_cast<std::size_t>(w) + 2 * radius), acc(w);
    for (int y = 0; y < h; ++y) {
        float* row = &map.at(0, y);
        for (int i = 0; i < w + 2 * radius; ++i)
            line[i] = row[std::clamp(i - radius, 0, w - 1)];
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int k = 0; k <= 2 * radius; ++k)
            for (int x = 0; x < w; ++x)
                acc[x] += kernel[k] * line[x + k];
        std::copy(acc.begin(), acc.end(), row);
    }
    const Image<float> across = map;
    for (int y = 0; y < h; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int k = 0; k <= 2 * radius; ++k) {
            const float* row = &across.at(0, std::clamp(y + k - radius, 0, h - 1));
            for (int x = 0; x < w; ++x)
                acc[x] += kernel[k] * row[x];
        }
        std::copy(acc.begin(), acc.end(), &map.at(0, y));
    }
}

}  // namespace zarn
