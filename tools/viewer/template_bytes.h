// Reads a template given on the command line: hex text or a file of hex text
// or of raw record bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn_viewer {

// Hex digits with any whitespace between them; nothing for anything else.
std::optional<std::vector<std::uint8_t>> parseHex(const std::string& text);

// If argument names a readable file: its contents as hex when they are hex
// text, else as raw bytes. Otherwise the argument itself as hex.
std::optional<std::vector<std::uint8_t>> loadTemplateBytes(const std::string& argument);

}  // namespace zarn_viewer
