// Decodes an image file in a child process with a memory limit, a CPU limit
// per image and a deadline, so that a decoder crash, hang or runaway
// allocation on a hostile file costs only that child: the caller just sees an
// unreadable file. One child serves all the images of a process until one
// fails (the next image then starts another).
#pragma once

#include <optional>
#include <string>

#include "gray_image.h"

namespace zarn {

std::optional<GrayImage> decodeGrayImageIsolated(const std::string& fileName);

// Ends the decoding child, if any, and waits for it; the next decode starts
// another. Also done at exit.
void endIsolatedDecoding();

}  // namespace zarn
