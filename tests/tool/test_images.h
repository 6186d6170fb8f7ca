// Small image files for the tests, written in the formats the tool decodes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zarn::test {

enum class ImageFormat { Png, Bmp, Tga, Jpeg, Pnm };

struct TestImage {
    int width = 0;
    int height = 0;
    int components = 1;                // 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    std::vector<std::uint8_t> pixels;  // interleaved, top row first
};

// First component varies with x and y (so rows are told apart); the other
// components hold values that must never reach the engine.
TestImage makeTestImage(int width, int height, int components);

// PNM takes one (P5) or three (P6) components.
void writeImage(const std::filesystem::path& path, ImageFormat format, const TestImage& image);

std::string formatName(ImageFormat format);

}  // namespace zarn::test
