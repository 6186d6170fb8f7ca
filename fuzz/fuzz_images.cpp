#include "fuzz_images.h"

namespace zarn::fuzz {

namespace {

std::int32_t side(std::uint16_t raw) {
    // Most inputs land in 40..423 so extraction stays fast; the top bit picks
    // raw values, which reach the size checks at both ends.
    if (raw & 0x8000) {
        return static_cast<std::int32_t>(raw & 0x7fff) - 16;
    }
    return 40 + raw % 384;
}

}  // namespace

FuzzImage takeImage(const std::uint8_t*& data, std::size_t& size) {
    FuzzImage image;
    if (size < 4) {
        size = 0;
        return image;
    }
    image.width = side(static_cast<std::uint16_t>(data[0] << 8 | data[1]));
    image.height = side(static_cast<std::uint16_t>(data[2] << 8 | data[3]));
    data += 4;
    size -= 4;
    if (image.width <= 0 || image.height <= 0 || image.width > 4100 || image.height > 4100) {
        return image;
    }
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    image.pixels.resize(count);
    const std::size_t used = size < count ? size : count;
    for (std::size_t i = 0; i < count; ++i) {
        image.pixels[i] = used == 0 ? 0 : data[i % used];
    }
    data += used;
    size -= used;
    return image;
}

}  // namespace zarn::fuzz
