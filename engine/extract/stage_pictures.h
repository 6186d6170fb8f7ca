// 8-bit pictures of intermediate planes, for the debug view of the pipeline.
#pragma once

#include <cstdint>

#include "extract_debug.h"
#include "orientation.h"
#include "padded_plane.h"
#include "segmentation.h"

namespace zarn {

// Signed plane: 128 + value * gain, clamped.
GrayPlane pictureOf(const PaddedPlane& plane, float gain);
// Block map stretched to the image size: value * gain, clamped.
GrayPlane pictureOf(const Image<float>& blocks, int width, int height, float gain);
// 0/1 image to 0/255.
GrayPlane pictureOf(const Image<std::uint8_t>& binary);
void drawMaskAndFlow(ExtractStages& stages, const ForegroundMask& mask,
                     const OrientationField& field, int width, int height);

}  // namespace zarn
