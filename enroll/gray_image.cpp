#include "gray_image.h"

#include <stdexcept>

#include "isolated_decode.h"
#include "narrow_path.h"

namespace zarn {

GrayImage readGrayImage(const std::filesystem::path& path) {
    const std::string name = narrowPath(path);
    auto image = decodeGrayImageIsolated(name);
    if (!image) {
        throw std::runtime_error("Failed to read an image from file: " + name);
    }
    return std::move(*image);
}

}  // namespace zarn
