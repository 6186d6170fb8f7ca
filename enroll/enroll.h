// The two ways to build a template through the engine: from one image, or by
// a multi-image enrollment that the engine merges.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "template_bytes.h"

namespace zarn {

TemplateBytes enrollSingle(const std::filesystem::path& path);

// paths holds two or more images of one finger; position is 0-10.
TemplateBytes enrollMultiple(const std::vector<std::filesystem::path>& paths,
                             std::uint32_t position);

}  // namespace zarn
