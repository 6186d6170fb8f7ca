// Image<T>: a plain, contiguous, row-major plane of pixels (top row first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn {

template <typename T>
struct Image {
    int width = 0;
    int height = 0;
    std::vector<T> pixels;

    Image() = default;
    Image(int w, int h, T fill = T{})
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

    T& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const T& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

using GrayPlane = Image<std::uint8_t>;
using FloatPlane = Image<float>;

}  // namespace zarn
