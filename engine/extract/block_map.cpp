#include "block_map.h"

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

    // Each row and column is copied into a buffer with repeated ends, so the
    // convolution needs no bounds checks.
    const int w = map.width, h = map.height;
    std::vector<float> line(static_cast<std::size_t>(std::max(w, h)) + 2 * radius);
    auto convolve = [&](int n, auto&& get, auto&& set) {
        for (int i = 0; i < n + 2 * radius; ++i)
            line[i] = get(std::clamp(i - radius, 0, n - 1));
        for (int i = 0; i < n; ++i) {
            float acc = 0;
            for (int k = 0; k <= 2 * radius; ++k)
                acc += kernel[k] * line[i + k];
            set(i, acc);
        }
    };
    for (int y = 0; y < h; ++y)
        convolve(
            w, [&](int x) { return map.at(x, y); }, [&](int x, float v) { map.at(x, y) = v; });
    for (int x = 0; x < w; ++x)
        convolve(
            h, [&](int y) { return map.at(x, y); }, [&](int y, float v) { map.at(x, y) = v; });
}

}  // namespace zarn
