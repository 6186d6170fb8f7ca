// Bounds on what one image file may cost to decode, whatever its header
// claims. The engine accepts at most 4000x4000 pixels, so these leave room
// for other engines while keeping one decode well under 512 MB.
#pragma once

#include <cstdint>

namespace zarn {

// Largest side and pixel count we decode. 32 megapixels at 4 components is
// 128 MB of decoder output plus the decoder's own working copy.
constexpr std::int64_t kMaxDecodeSide = 16384;
constexpr std::int64_t kMaxDecodePixels = 32LL * 1024 * 1024;
// Address space of the decoding child process and its wall-clock deadline.
constexpr std::int64_t kDecodeAddressSpaceBytes = 768LL * 1024 * 1024;
constexpr int kDecodeDeadlineMs = 3000;

}  // namespace zarn
