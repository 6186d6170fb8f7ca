#include "gray_image.h"

#include <stb_image.h>

#include <memory>
#include <stdexcept>

namespace zarn {

GrayImage readGrayImage(const std::filesystem::path& path) {
    const std::string name = path.string();
    int width = 0;
    int height = 0;
    int components = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
        stbi_load(name.c_str(), &width, &height, &components, 0), stbi_image_free);
    if (!decoded) {
        throw std::runtime_error("Failed to read an image from file: " + name);
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
