// Decodes an image file in a short-lived child process with a memory limit and
// a deadline, so that a decoder crash, hang or runaway allocation on a hostile
// file costs only that child: the caller just sees an unreadable file.
#pragma once

#include <optional>
#include <string>

#include "gray_image.h"

namespace zarn {

std::optional<GrayImage> decodeGrayImageIsolated(const std::string& fileName);

}  // namespace zarn
