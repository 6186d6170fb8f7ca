// Decoding an image file into 8-bit single-channel pixels for the engine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace zarn {

struct GrayImage {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::vector<std::uint8_t> pixels;  // width*height, row-major, top row first
};

// Decodes any format the image library reads. Each pixel becomes its first
// component: grey for grey images, red for colour ones, with no weighting.
GrayImage readGrayImage(const std::filesystem::path& path);

}  // namespace zarn
