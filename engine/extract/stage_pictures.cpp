#include "stage_pictures.h"

#include <algorithm>
#include <cmath>

#include "block_map.h"

namespace zarn {

namespace {

std::uint8_t toByte(float v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
}

}  // namespace

GrayPlane pictureOf(const PaddedPlane& plane, float gain) {
    GrayPlane out(plane.width, plane.height);
    for (int y = 0; y < plane.height; ++y)
        for (int x = 0; x < plane.width; ++x)
            out.at(x, y) = toByte(128.0f + gain * plane.at(x, y));
    return out;
}

GrayPlane pictureOf(const Image<float>& blocks, int width, int height, float gain) {
    GrayPlane out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at(x, y) = toByte(gain * blockAt(blocks, x, y));
    return out;
}

GrayPlane pictureOf(const Image<std::uint8_t>& binary) {
    GrayPlane out(binary.width, binary.height);
    for (std::size_t i = 0; i < binary.pixels.size(); ++i)
        out.pixels[i] = binary.pixels[i] ? 255 : 0;
    return out;
}

void drawMaskAndFlow(ExtractStages& stages, const ForegroundMask& mask,
                     const OrientationField& field, int width, int height) {
    stages.mask = GrayPlane(width, height);
    stages.orientation = GrayPlane(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            stages.mask.at(x, y) = blockAt(mask.blocks, x, y) ? 255 : 0;
            stages.orientation.at(x, y) =
                toByte(blockAt(field.angle, x, y) / static_cast<float>(M_PI) * 255.0f);
        }
}

}  // namespace zarn
