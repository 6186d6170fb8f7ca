#include "gray_image.h"

#include <stdexcept>

#include "isolated_decode.h"

namespace zarn {

GrayImage readGrayImage(const std::filesystem::path& path) {
    const std::string name = path.string();
    auto image = decodeGrayImageIsolated(name);
    if (!image) {
        throw std::runtime_error("Failed to read an image from file: " + name);
    }
    return std::move(*image);
}

}  // namespace zarn
