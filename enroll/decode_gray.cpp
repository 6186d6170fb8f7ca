#include "decode_gray.h"

#include <stb_image.h>

#include <memory>

#include "decode_limits.h"

namespace zarn {

namespace {

bool withinBounds(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxDecodeSide && height <= kMaxDecodeSide &&
           width * height <= kMaxDecodePixels;
}

}  // namespace

std::optional<GrayImage> decodeGrayImage(const std::string& fileName) {
    // The header check comes first so that a file claiming 30000x30000 is
    // refused before the decoder allocates for it.
    int width = 0;
    int height = 0;
    int components = 0;
    if (!stbi_info(fileName.c_str(), &width, &height, &components) ||
        !withinBounds(width, height)) {
        return std::nullopt;
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
        stbi_load(fileName.c_str(), &width, &height, &components, 0), stbi_image_free);
    if (!decoded || !withinBounds(width, height) || components < 1 || components > 4) {
        return std::nullopt;
    }

    GrayImage image;
    image.width = width;
    image.height = height;
    const std::size_t pixelCount = static_cast<std::size_t>(width) * height;
    image.pixels.resize(pixelCount);
    const stbi_uc* source = decoded.get();
    for (std::size_t i = 0; i < pixelCount; ++i) {
        image.pixels[i] = source[i * components];
    }
    return image;
}

}  // namespace zarn
