// TemplateBytes: one template exactly as the engine wrote it.
#pragma once

#include <cstdint>
#include <vector>

namespace zarn {

using TemplateBytes = std::vector<std::uint8_t>;

}  // namespace zarn
