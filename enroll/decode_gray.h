// In-process decoding of one image file into grey pixels, refusing files whose
// header claims more pixels than the decode bounds allow.
#pragma once

#include <optional>
#include <string>

#include "gray_image.h"

namespace zarn {

// Returns nothing when the file cannot be read, decoded, or is too large.
std::optional<GrayImage> decodeGrayImage(const std::string& fileName);

}  // namespace zarn
