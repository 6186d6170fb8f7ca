// Template creation: the engine's lifetime around the path checks, the
// enrollment and the printing of the result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace zarn {

// paths: one or more image paths in command-line order. position: 0-10,
// always 0 for a single path. Prints the template; throws on any failure.
void createTemplate(const std::vector<std::filesystem::path>& paths, std::uint32_t position);

}  // namespace zarn
