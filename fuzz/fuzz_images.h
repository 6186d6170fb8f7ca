// Turns fuzzer bytes into grey images of fuzzer-chosen sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn::fuzz {

struct FuzzImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads a 4-byte size header and fills the pixels by repeating what follows.
// Sizes are mostly kept small enough to extract quickly, but values outside
// the engine's accepted range are produced too.
FuzzImage takeImage(const std::uint8_t*& data, std::size_t& size);

}  // namespace zarn::fuzz
